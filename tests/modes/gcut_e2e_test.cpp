// Graph cut (mode 8) as a user meets it: the program started with a 16-bit TIFF of a noisy
// sphere on its command line, the window under Xvfb driven by synthetic mouse events.  Enters the
// mode from the menu picking the target region, tries to load another volume while the watershed
// runs (refused with the busy text: nothing is freed, no stale labels), places one foreground and
// one background stroke with Shift + left and Shift + right drags on the XY plane, runs "Graph
// Cut" and "Graph Cut Voxel Level", and stores the sphere with "Finish".  Screenshots in the build
// folder's artefacts (gcut_*.png).
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>
#include <unistd.h>

#include "core/TCore.h"
#include "e2e_program.h"
#include "modes/region/StateSegGCut.h"
#include "modes/region/TDlgSegGCut.h"
#include "modes/region/kernels/gcut_cache.h"
#include "view/CKestrinView.h"
#include "view/TOGL.h"
#include "view/VolRendManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {

const int kW = 64, kH = 64, kD = 40;

// A sphere of radius 10 (about 3000) around (32, 32, 10), cut by the XY plane at its entry
// position (z = 0.2 x D = 8), in a dim volume (about 1000); both with noise of +-300.
bool inSphere(int x, int y, int z) {
  return (x - 32) * (x - 32) + (y - 32) * (y - 32) + (z - 10) * (z - 10) <= 100;
}
int sample(int x, int y, int z) {
  unsigned h = unsigned(x) * 73856093u ^ unsigned(y) * 19349663u ^ unsigned(z) * 83492791u;
  h = h * 2654435761u;
  const int noise = int((h >> 16) % 601) - 300;
  return (inSphere(x, y, z) ? 3000 : 1000) + noise;
}
// The other volume, loaded while the watershed runs.
int otherSample(int x, int y, int z) { return (x + y + z) % 7 * 100; }

using namespace e2e;

Shots shot("gcut_");

// Flagged voxels inside and outside the sphere.
void score(int& inside, int& outside) {
  const TOGL3DImage& f = TextureManager::getInst().volFlag;
  inside = outside = 0;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (f.data[x + kW * (y + kH * z)] == 255) (inSphere(x, y, z) ? inside : outside)++;
}

int sphereVoxels() {
  int n = 0;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) n += inSphere(x, y, z);
  return n;
}

}  // namespace

std::string g_tiff, g_other;

TEST(GCutEndToEnd, NoisySphereCutOutWithOneForegroundAndOneBackgroundStroke) {
  TCore& core = TCore::getInst();
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = shownFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(TextureManager::getInst().getW(), kW);
  ASSERT_EQ(TextureManager::getInst().getD(), kD);
  // The rows may come in the other order: the sphere is symmetric in y, and the test checks it
  // against the loaded values.
  core.setMode(0);  // front camera
  // The watershed runs on entry only without a saved one: an earlier run of this case left its
  // file beside the volume (whose offer to use it would wait for an answer).
  std::remove(t_precompFilePath(g_tiff).c_str());

  // Mode 8 from the menu; the target question picks the background (id 0).
  QAction* cmd = frame->findChild<QAction*>(QStringLiteral("cmd_32785"));
  ASSERT_NE(cmd, nullptr);
  whenModal([](QWidget* w) { chooseIds(w, {0}); });
  cmd->trigger();
  ASSERT_EQ(core.modeId, 8);
  StateSegGCut* mode = t_buildStateSegGCut();
  auto* panel = dynamic_cast<TDlgSegGCut*>(mode->panel());
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->valueEdit()->text(), "1000");
  EXPECT_TRUE(panel->seamRadio(1)->isChecked());
  EXPECT_EQ(countFlags(1), kW * kH * kD);
  const bool running = mode->isPrecomputing();

  // Another volume through the main frame's load while the watershed runs (its result has not
  // been taken back yet: no event has been processed since the entry): refused with the busy
  // text, the loaded volume stays.
  ASSERT_TRUE(running);
  QString refusal;
  whenModal([&refusal](QWidget* box) {
    if (auto* b = qobject_cast<QMessageBox*>(box)) refusal = b->text();
    box->close();
  });
  EXPECT_FALSE(core.loadVolume(g_other));
  EXPECT_EQ(refusal.toStdString(), StateSegGCut::kBusyMessage);
  shot(frame, panel, "01_watershed_running");
  EXPECT_EQ(TextureManager::getInst().getW(), kW);
  ASSERT_TRUE(waitUntil([&] { return !mode->isPrecomputing(); }));
  ASSERT_TRUE(mode->isPrecomputeReady());
  EXPECT_EQ(mode->precomp().labels.size(), std::size_t(kW) * kH * kD);
  EXPECT_TRUE(t_precompFileMatches(t_precompFilePath(g_tiff), kW, kH, kD));
  // Where the loaded values put the sphere (rows in either order).
  const float* val = TextureManager::getInst().val1;
  double cy = 0;
  int n = 0;
  for (int y = 0; y < kH; ++y)
    if (val[32 + kW * (y + kH * 10)] > 2000) cy += y, ++n;
  ASSERT_GT(n, 8);
  cy /= n;
  ASSERT_NEAR(cy, 32, 1.5);

  // A foreground stroke (Shift + left) across the sphere's section on the XY plane and a
  // background stroke (Shift + right) in the dim corner.
  v->grabFramebuffer();  // matrices of a frame for the projections below
  VolRendManager& vr = VolRendManager::getInst();
  const double* e = vr.extent;
  const double px = e[0] / kW, py = e[1] / kH;
  const double zPlane = e[2] * vr.slicePos[2];
  auto onPlane = [&](double vx, double vy) { return project(v->togl, (vx + 0.5) * px, (vy + 0.5) * py, zPlane); };
  std::vector<QPoint> fore, back;
  for (int i = 0; i <= 10; ++i) fore.push_back(onPlane(27 + i, 32));
  for (int i = 0; i <= 10; ++i) back.push_back(onPlane(5 + i, 6 + i));
  drag(v, Qt::LeftButton, Qt::ShiftModifier, fore);
  drag(v, Qt::RightButton, Qt::ShiftModifier, back);
  int nFore = 0, nBack = 0;
  for (const TGCutCtrlPoint& c : mode->controlPoints()) (c.fore ? nFore : nBack)++;
  EXPECT_GE(nFore, 2);
  EXPECT_GE(nBack, 2);
  shot(frame, panel, "02_strokes");

  const int sphere = sphereVoxels();
  int inside = 0, outside = 0;
  QTest::mouseClick(panel->button("Graph Cut"), Qt::LeftButton);
  score(inside, outside);
  EXPECT_GE(inside, sphere * 9 / 10);
  EXPECT_LE(outside, sphere / 10);
  shot(frame, panel, "03_graph_cut");

  panel->seamRadio(2)->click();
  EXPECT_FALSE(panel->seamRadio(1)->isChecked());
  QTest::mouseClick(panel->button("Graph Cut Voxel Level"), Qt::LeftButton);
  score(inside, outside);
  EXPECT_GE(inside, sphere * 9 / 10);
  EXPECT_LE(outside, sphere / 10);
  shot(frame, panel, "04_voxel_level");

  // "Finish": region id 1; mode 3 shows the sphere with its surface.
  whenModal([](QWidget* w) { chooseIds(w, {1}); });
  ASSERT_TRUE(activated(panel));
  QTest::mouseClick(panel->button("Finish"), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
  EXPECT_TRUE(mainWindowTakesKeys());
  const TOGL3DImage& mask = TextureManager::getInst().volMask;
  int stored = 0, strays = 0;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (mask.data[x + kW * (y + kH * z)] == 1) (inSphere(x, y, z) ? stored : strays)++;
  EXPECT_GE(stored, sphere * 9 / 10);
  EXPECT_LE(strays, sphere / 10);
  EXPECT_GT(TMaskIdTable::getInst().records[1].surface.polyCount, 50);
  EXPECT_FALSE(panel->isVisible());
  shot(frame, nullptr, "05_mode3_region");
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  g_tiff = tempPath("gcut_e2e", ".tif");
  g_other = tempPath("gcut_e2e", "_other.tif");
  if (!writeTiff16(g_tiff, kW, kH, kD, sample) || !writeTiff16(g_other, 20, 20, 20, otherSample)) return 2;
  const int rc = runProgram(argc, argv, {g_tiff});
  std::remove(t_precompFilePath(g_tiff).c_str());
  std::remove(g_tiff.c_str());
  std::remove(g_other.c_str());
  return rc;
}
