// Region growing (mode 6) as a user meets it: the program started with a 16-bit TIFF on its
// command line, the window under Xvfb driven by synthetic mouse and key events.  Enters the mode
// from the menu picking the target region in the chooser, places a seed by Shift-click on the XY
// plane, thresholds, grows, is refused with more than 100 seeds, and stores the region with
// "Finish"; mode 3 then shows it, with the main window active again (also after "cancel").
// Screenshots in the build folder's artefacts/rgrow_e2e.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
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
#include "modes/region/StateSegRGrow.h"
#include "modes/region/TDlgSegRGrow.h"
#include "view/CKestrinView.h"
#include "view/TOGL.h"
#include "view/VolRendManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {

const int kW = 48, kH = 40, kD = 32;

// Ball A (3000) cut by the XY plane at its entry position (z = 0.2 x D), ball B (3000) apart from
// it, both in a dim box (400); zero outside the box.
bool ballA(int x, int y, int z) { return (x - 24) * (x - 24) + (y - 20) * (y - 20) + (z - 6) * (z - 6) <= 25; }
bool ballB(int x, int y, int z) { return (x - 10) * (x - 10) + (y - 10) * (y - 10) + (z - 22) * (z - 22) <= 16; }
bool inBox(int x, int y, int z) { return x >= 2 && x < 46 && y >= 2 && y < 38 && z >= 1 && z < 30; }
int sample(int x, int y, int z) { return ballA(x, y, z) || ballB(x, y, z) ? 3000 : inBox(x, y, z) ? 400 : 0; }

// The two balls as the program loaded them (whatever order the reader gives the rows): the
// bright voxels of the lower and of the upper half of the stack.
std::vector<char> g_a, g_b;
bool inBallA(int x, int y, int z) { return g_a[x + kW * (y + kH * z)] != 0; }
bool inBallB(int x, int y, int z) { return g_b[x + kW * (y + kH * z)] != 0; }

using namespace e2e;

Shots shot("rgrow_e2e/");

int countVoxels(bool (*in)(int, int, int)) {
  int n = 0;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) n += in(x, y, z);
  return n;
}

bool flaggedExactly(bool (*in)(int, int, int)) {
  const TOGL3DImage& f = TextureManager::getInst().volFlag;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if ((f.data[x + kW * (y + kH * z)] == 255) != in(x, y, z)) return false;
  return true;
}

bool inEitherBall(int x, int y, int z) { return inBallA(x, y, z) || inBallB(x, y, z); }

}  // namespace

std::string g_tiff;

TEST(RGrowEndToEnd, SeedThresholdGrowRefuseAndFinish) {
  TCore& core = TCore::getInst();
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = shownFrame();
  ASSERT_NE(frame, nullptr);
  // A small window keeps the software renderer's frames short.
  frame->resize(720, 540);
  QApplication::processEvents();
  ASSERT_EQ(TextureManager::getInst().getW(), kW);
  ASSERT_EQ(TextureManager::getInst().getD(), kD);
  const float* val = TextureManager::getInst().val1;
  ASSERT_NE(val, nullptr);
  g_a.assign(kW * kH * kD, 0);
  g_b.assign(kW * kH * kD, 0);
  double centre[3] = {0, 0, 0};
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const int i = x + kW * (y + kH * z);
        if (val[i] != 3000.f) continue;
        (z < kD / 2 ? g_a : g_b)[i] = 1;
        if (z < kD / 2) centre[0] += x, centre[1] += y, centre[2] += z;
      }
  const int nA = countVoxels(inBallA);
  ASSERT_GT(nA, 400);
  ASSERT_GT(countVoxels(inBallB), 200);
  for (double& c : centre) c /= nA;
  const int cx = int(std::lround(centre[0])), cy = int(std::lround(centre[1]));
  ASSERT_NEAR(centre[2], 6, 0.5);

  // Mode 3 with the empty mask, for comparison with the stored region at the end.
  core.setMode(3);
  const QImage emptyMask = v->grabFramebuffer();
  core.setMode(0);  // front camera

  // Mode 6 from the menu; the target question picks the background (id 0).
  QAction* cmd = frame->findChild<QAction*>(QStringLiteral("cmd_32792"));
  ASSERT_NE(cmd, nullptr);
  whenModal([](QWidget* w) { chooseIds(w, {0}); });
  cmd->trigger();
  ASSERT_EQ(core.modeId, 6);
  StateSegRGrow* mode = StateSegRGrow::getInst();
  auto* panel = dynamic_cast<TDlgSegRGrow*>(mode->panel());
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->isVisible());
  EXPECT_EQ(countFlags(1), kW * kH * kD);
  // Data range 0..3000: the ch1 spins span -0.1 .. 3000.1, r starts at 10.0.
  EXPECT_EQ(panel->edit(TDlgSegRGrowIf::kCh1Min)->text(), "-0.1");
  EXPECT_EQ(panel->edit(TDlgSegRGrowIf::kCh1Max)->text(), "3000.1");
  EXPECT_EQ(panel->edit(TDlgSegRGrowIf::kRadius)->text(), "10.0");
  EXPECT_EQ(panel->edit(TDlgSegRGrowIf::kShapeCoef)->text(), "15");
  v->grabFramebuffer();  // matrices of a frame for the projections below
  shot(frame, panel, "01_entered");

  // A seed by Shift-click on the XY plane at ball A's centre.
  VolRendManager& vr = VolRendManager::getInst();
  const double* e = vr.extent;
  const double px = e[0] / kW, py = e[1] / kH;
  const double zPlane = e[2] * vr.slicePos[2];
  ASSERT_EQ(int(zPlane / (e[2] / kD)), 6);
  auto onPlane = [&](double vx, double vy) { return project(v->togl, (vx + 0.5) * px, (vy + 0.5) * py, zPlane); };
  QTest::mouseClick(v, Qt::LeftButton, Qt::ShiftModifier, onPlane(cx, cy));
  ASSERT_EQ(mode->controlPoints().size(), 1u);
  EXPECT_NEAR(mode->controlPoints()[0][0], (cx + 0.5) * px, px);
  EXPECT_EQ(panel->readout()->text(), "intensity:3000.00");
  shot(frame, panel, "02_seed");

  // Thresholds 1000 .. 4000 typed into the edits: "Run Threshold" takes both balls.
  QLineEdit* minEdit = panel->edit(TDlgSegRGrowIf::kCh1Min);
  QLineEdit* maxEdit = panel->edit(TDlgSegRGrowIf::kCh1Max);
  minEdit->selectAll();
  QTest::keyClicks(minEdit, "1000");
  EXPECT_EQ(panel->spin(TDlgSegRGrowIf::kCh1Min)->value(), 10000);
  maxEdit->selectAll();
  QTest::keyClicks(maxEdit, "4000");  // beyond the range: the end shows when editing ends
  QTest::keyClick(maxEdit, Qt::Key_Return);
  EXPECT_EQ(maxEdit->text(), "3000.1");
  QTest::mouseClick(panel->button("Run Threshold"), Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return !mode->isBusy(); }));
  EXPECT_EQ(countFlags(255), countVoxels(inEitherBall));
  EXPECT_TRUE(flaggedExactly(inEitherBall));
  shot(frame, panel, "03_threshold");

  // "Region Grow 26" from the seed with r = 10: ball A only.
  QTest::mouseClick(panel->button("Region Grow 26"), Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return !mode->isBusy(); }));
  EXPECT_EQ(countFlags(255), countVoxels(inBallA));
  EXPECT_TRUE(flaggedExactly(inBallA));
  const QImage grown = v->grabFramebuffer();
  shot(frame, panel, "04_grown");

  // 99 more seeds from a control-point file through "Import CP info (.txt)" and its dialog, one
  // more by Shift-click: with 101 seeds "Region Grow 26" is refused with the message and the
  // flags stay.
  const std::string cpFile = tempPath("rgrow_e2e", "_cps.txt");
  {
    FILE* fp = std::fopen(cpFile.c_str(), "w");
    ASSERT_NE(fp, nullptr);
    for (int i = 0; i < 99; ++i) std::fprintf(fp, "%f, %f, %f,\n", 12.5 + (i % 11) * 3, 2.5 + (i / 11) * 3, 20.5);
    std::fclose(fp);
  }
  whenModal([&cpFile](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromStdString(cpFile));
    static_cast<QDialog*>(dlg)->accept();  // QFileDialog takes the typed name
  });
  QTest::mouseClick(panel->button("Import CP info (.txt)"), Qt::LeftButton);
  std::remove(cpFile.c_str());
  ASSERT_EQ(mode->controlPoints().size(), 100u);
  EXPECT_NEAR(mode->controlPoints()[1][0], 12.5 * px, 1e-5);
  QTest::mouseClick(v, Qt::LeftButton, Qt::ShiftModifier, onPlane(44, 37));
  ASSERT_EQ(mode->controlPoints().size(), 101u);
  QString refusal;
  whenModal([&refusal](QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) refusal = box->text();
    w->close();
  });
  QTest::mouseClick(panel->button("Region Grow 26"), Qt::LeftButton);
  EXPECT_EQ(refusal.toStdString(), StateSegRGrow::kTooManySeedsMessage);
  EXPECT_FALSE(mode->isBusy());
  EXPECT_TRUE(flaggedExactly(inBallA));
  shot(frame, panel, "05_101_seeds_refused");

  // "Export CP info (.txt)" writes them all; ".txt" is added to a name without it.
  const std::string outBase = tempPath("rgrow_e2e", "_out");
  whenModal([&outBase](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dlg, nullptr);
    dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QString::fromStdString(outBase));
    static_cast<QDialog*>(dlg)->accept();  // QFileDialog takes the typed name
  });
  QTest::mouseClick(panel->button("Export CP info (.txt)"), Qt::LeftButton);
  {
    FILE* fp = std::fopen((outBase + ".txt").c_str(), "r");
    ASSERT_NE(fp, nullptr);
    int lines = 0;
    for (int c; (c = std::fgetc(fp)) != EOF;) lines += c == '\n';
    std::fclose(fp);
    EXPECT_EQ(lines, 101);
    std::remove((outBase + ".txt").c_str());
  }

  // Alt-click takes one seed away: 100 seeds are accepted (the others grow the dim box).
  QTest::mouseClick(v, Qt::LeftButton, Qt::AltModifier, onPlane(44, 37));
  ASSERT_EQ(mode->controlPoints().size(), 100u);
  // Back to the one seed: "Clear All CPs", a new Shift-click, "Region Grow 26".
  QTest::mouseClick(panel->button("Clear All CPs"), Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return !mode->isBusy(); }));
  EXPECT_TRUE(mode->controlPoints().empty());
  EXPECT_EQ(countFlags(255), 0);
  QTest::mouseClick(v, Qt::LeftButton, Qt::ShiftModifier, onPlane(cx, cy));
  QTest::mouseClick(panel->button("Region Grow 26"), Qt::LeftButton);
  ASSERT_TRUE(waitUntil([&] { return !mode->isBusy(); }));
  EXPECT_TRUE(flaggedExactly(inBallA));

  // "Finish" in the active panel: region id 1 picked in the chooser; mode 3 shows the region with
  // its surface, and the keys are the main window's again (the chooser and the panel have gone):
  // Alt+F through the X server opens its File menu.
  panel->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(panel));
  whenModal([](QWidget* w) { chooseIds(w, {1}); });
  QTest::mouseClick(panel->button("Finish"), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
  EXPECT_TRUE(mainWindowTakesKeys());
  const TOGL3DImage& mask = TextureManager::getInst().volMask;
  int inRegion = 0;
  bool exact = true;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const bool in = mask.data[x + kW * (y + kH * z)] == 1;
        inRegion += in;
        exact &= in == inBallA(x, y, z);
      }
  EXPECT_EQ(inRegion, countVoxels(inBallA));
  EXPECT_TRUE(exact);
  const TMaskIdInfo& rec = TMaskIdTable::getInst().records[1];
  EXPECT_EQ(rec.used, 1);
  EXPECT_EQ(rec.alpha, 200);
  EXPECT_GT(rec.surface.polyCount, 50);
  EXPECT_FALSE(panel->isVisible());
  const QImage stored = v->grabFramebuffer();
  EXPECT_GT(changedPixels(emptyMask, stored), 200);
  shot(frame, nullptr, "06_mode3_region");
  (void)grown;

  // The same after "cancel" and its question (a message box of no window).
  whenModal([](QWidget* w) { chooseIds(w, {0}); });
  cmd->trigger();
  ASSERT_EQ(core.modeId, 6);
  panel->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(panel));
  whenModal([](QWidget* w) {
    if (auto* box = qobject_cast<QMessageBox*>(w)) box->button(QMessageBox::Ok)->click();
  });
  QTest::mouseClick(panel->button("cancel"), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
  EXPECT_TRUE(mainWindowTakesKeys());
}

int main(int argc, char** argv) {
  return runOnVolume(argc, argv, "rgrow_e2e", kW, kH, kD, sample, g_tiff);
}
