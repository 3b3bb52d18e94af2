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
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>
#include <unistd.h>

#include "app/CKestrinApp.h"
#include "core/TCore.h"
#include "modes/region/StateSegGCut.h"
#include "modes/region/TDlgSegGCut.h"
#include "modes/region/kernels/gcut_cache.h"
#include "ui/TDlgMaskManip.h"
#include "view/CKestrinView.h"
#include "view/GLSetup.h"
#include "view/TOGL.h"
#include "view/VolRendManager.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"
#include "volume/app_paths.h"

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

// A little-endian multi-page TIFF of unsigned 16-bit samples, one strip per page.
bool writeTiff16(const std::string& path, int kW, int kH, int kD, int (*sample)(int, int, int)) {
  std::vector<uint8_t> f;
  auto put16 = [&f](uint32_t v) { f.push_back(v & 0xff), f.push_back((v >> 8) & 0xff); };
  auto put32 = [&f](uint32_t v) { for (int i = 0; i < 4; ++i) f.push_back((v >> (8 * i)) & 0xff); };
  auto set32 = [&f](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) f[at + i] = (v >> (8 * i)) & 0xff; };
  f.insert(f.end(), {'I', 'I', 42, 0});
  size_t prevLink = f.size();
  put32(0);
  const uint32_t strip = kW * kH * 2;
  for (int z = 0; z < kD; ++z) {
    const uint32_t data = uint32_t(f.size());
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) put16(uint32_t(sample(x, y, z)));
    if (f.size() % 2) f.push_back(0);
    set32(prevLink, uint32_t(f.size()));
    const uint16_t tags[][3] = {{256, 3, uint16_t(kW)}, {257, 3, uint16_t(kH)}, {258, 3, 16}, {259, 3, 1}, {262, 3, 1}, {273, 4, 0},
                                {277, 3, 1},  {278, 3, uint16_t(kH)}, {279, 4, 0},  {284, 3, 1}, {339, 3, 1}};
    put16(11);
    for (const auto& t : tags) {
      put16(t[0]);
      put16(t[1]);
      put32(1);
      if (t[0] == 273)
        put32(data);
      else if (t[0] == 279)
        put32(strip);
      else if (t[1] == 3)
        put16(t[2]), put16(0);
      else
        put32(t[2]);
    }
    prevLink = f.size();
    put32(0);
  }
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return false;
  const bool ok = std::fwrite(f.data(), 1, f.size(), fp) == f.size();
  return std::fclose(fp) == 0 && ok;
}

QString artefactDir() {
  const QString dir = QStringLiteral(KESTRIN_ARTEFACTS);
  QDir().mkpath(dir);
  return dir;
}

void shot(QWidget* frame, QWidget* panel, const char* name) {
  QApplication::processEvents();
  frame->grab().toImage().save(artefactDir() + "/gcut_" + name + ".png");
  if (panel) panel->grab().toImage().save(artefactDir() + "/gcut_" + name + "_panel.png");
}

QPoint project(TOGL& ogl, double x, double y, double z) {
  std::vector<TOGL::Vec3> out;
  TOGL::projectPoint({{x, y, z}}, out, ogl);
  return QPoint(int(std::lround(out[0][0])), int(std::lround(out[0][1])));
}

bool waitUntil(const std::function<bool()>& done, int ms = 120000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Answers the next modal window with fn (from the event loop the modal window runs).
void whenModal(std::function<void(QWidget*)> fn) {
  auto* timer = new QTimer();
  timer->setInterval(30);
  QObject::connect(timer, &QTimer::timeout, [timer, fn] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      fn(w);
    }
  });
  timer->start();
}

void chooseIds(QWidget* w, std::vector<int> ids) {
  auto* dlg = qobject_cast<TDlgMaskManip*>(w);
  ASSERT_NE(dlg, nullptr) << w->metaObject()->className();
  for (int id : ids) dlg->cell(id)->click();
  w->findChild<QAbstractButton*>("okButton")->click();
}

// A drag of the main view with a button and modifiers held, through the points in order.
void drag(QWidget* v, Qt::MouseButton b, Qt::KeyboardModifiers mods, const std::vector<QPoint>& pts) {
  auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(p), v->mapToGlobal(QPointF(p)), b, held, mods);
    QApplication::sendEvent(v, &e);
  };
  send(QEvent::MouseButtonPress, pts.front(), b);
  for (const QPoint& p : pts) send(QEvent::MouseMove, p, b);
  send(QEvent::MouseButtonRelease, pts.back(), Qt::NoButton);
  QApplication::processEvents();
}

int countFlags(std::uint8_t v) {
  const TOGL3DImage& f = TextureManager::getInst().volFlag;
  int n = 0;
  for (int64_t i = 0; i < f.size(); ++i) n += f.data[i] == v;
  return n;
}

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
  ASSERT_NE(v, nullptr);
  QMainWindow* frame = qobject_cast<QMainWindow*>(v->window());
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
  ASSERT_EQ(TextureManager::getInst().getW(), kW);
  ASSERT_EQ(TextureManager::getInst().getD(), kD);
  // The rows may come in the other order: the sphere is symmetric in y, and the test checks it
  // against the loaded values.
  core.setMode(0);  // front camera

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
  QTest::mouseClick(panel->button("Finish"), Qt::LeftButton);
  ASSERT_EQ(core.modeId, 3);
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
  g_tiff = QDir::temp().filePath(QStringLiteral("kestrin_gcut_e2e_%1.tif").arg(getpid())).toStdString();
  g_other = QDir::temp().filePath(QStringLiteral("kestrin_gcut_e2e_%1_other.tif").arg(getpid())).toStdString();
  if (!writeTiff16(g_tiff, kW, kH, kD, sample) || !writeTiff16(g_other, 20, 20, 20, otherSample)) return 2;
  t_setupGLDefaults();
  std::vector<char*> args = {argv[0], const_cast<char*>(g_tiff.c_str()), nullptr};
  int n = 2;
  int rc = 3;
  {
    CKestrinApp app(n, args.data());
    // The shader programs sit beside the program, not beside the test.
    g_appDir = KESTRIN_BIN_DIR "/";
    if (app.InitInstance()) rc = RUN_ALL_TESTS();
    app.ExitInstance();
  }
  std::remove(t_precompFilePath(g_tiff).c_str());
  std::remove(g_tiff.c_str());
  std::remove(g_other.c_str());
  return rc;
}
