// The main view under Xvfb with Mesa: the default volume rendered in mode 0, the projection
// switch, a camera drag and the picking numbers of a real context.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QWheelEvent>
#include <QSlider>
#include <QMouseEvent>
#include <QTest>
#include <cmath>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "core/lifetime.h"
#include "modes/vis/register_modes.h"
#include "core/TModeState.h"
#include "platform/ScriptedPrompts.h"
#include "view/CKestrinView.h"
#include "view_test_env.h"
#include "view/GLSetup.h"
#include "modes/vis/StateVisOrgCrs.h"
#include "modes/vis/StateVisStd.h"
#include "view/TDlgVisParam.h"
#include "modes/vis/TDlgVisStd.h"
#include "view/VolRendManager.h"
#include "view/drop_dispatch.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"
#include "volume/volume_values.h"

namespace {

class ViewEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app = viewtest::startApplication("render_view_test");
    view = new CKestrinView();
    view->resize(400, 400);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    TCore::getInst().setMode(0);
  }
  void TearDown() override {
    delete view;
    view = nullptr;
    TDlgVisParam::destroyInst();
    // The shown panels must go while the application exists.  The application itself stays
    // (deleting it makes the GL driver drop blocks that the leak checker cannot attribute).
    t_runAtExit();
  }
  QApplication* app = nullptr;
  CKestrinView* view = nullptr;
};

ViewEnvironment* g_env = static_cast<ViewEnvironment*>(
    ::testing::AddGlobalTestEnvironment(new ViewEnvironment));

int grey(const QImage& img, int x, int y) { return qGray(img.pixel(x, y)); }

using viewtest::isBackground;
bool isYellow(QRgb p) { return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) < 80; }
int colourDistance(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

void placeCamera(CKestrinView& v, const double eye[3], const double c[3]) {
  for (int i = 0; i < 3; ++i) {
    v.togl.eye[i] = eye[i];
    v.togl.center[i] = c[i];
    v.togl.up[i] = i == 1 ? 1 : 0;
  }
}

// Distance along the view direction, from the eye, of the point under the view's centre at a
// window depth (matrices of the last frame).
double depthAlongView(CKestrinView& v, float depth) {
  double p[3];
  v.togl.unProject(v.width() / 2.0, v.height() / 2.0, depth, p);
  double f[3], len = 0;
  for (int i = 0; i < 3; ++i) f[i] = v.togl.center[i] - v.togl.eye[i], len += f[i] * f[i];
  len = std::sqrt(len);
  double s = 0;
  for (int i = 0; i < 3; ++i) s += (p[i] - v.togl.eye[i]) * f[i] / len;
  return s;
}

}  // namespace

TEST(RenderView, ContextAndDefaults) {
  CKestrinView& v = *g_env->view;
  ASSERT_TRUE(v.glReady());
  EXPECT_EQ(CKestrinView::s_theView, &v);
  EXPECT_EQ(t_mainGLContext(), &v.togl);
  // Entering mode 0 puts the camera in front of the box (10 x 10 x 10 for the 64^3 volume),
  // whatever another test did to it.
  TCore::getInst().setMode(0);
  EXPECT_DOUBLE_EQ(VolRendManager::getInst().extent[2], 10);
  EXPECT_DOUBLE_EQ(v.togl.eye[0], 5);
  EXPECT_DOUBLE_EQ(v.togl.eye[2], 20);
  EXPECT_DOUBLE_EQ(v.togl.center[2], 5);
  EXPECT_EQ(TCore::getInst().modeId, 0);
}

TEST(RenderView, DefaultVolumeShowsTheShellOnBackground) {
  CKestrinView& v = *g_env->view;
  // Shell values (peak at radius 3, non-zero out to about 5.07 of the box's 10) seen from 25
  // units: the rim of the non-zero values projects about 100 pixels from the centre, the box's
  // front face 121 and its back face 80.
  const double eye[3] = {5, 5, 30}, c[3] = {5, 5, 5};
  placeCamera(v, eye, c);
  QSlider* tp = TDlgVisParam::getInst().transparencySlider();
  const int tp0 = tp->value();
  const QImage img = v.grabFramebuffer();
  if (getenv("RENDER_DUMP")) img.save("/tmp/render_shell.png");
  ASSERT_EQ(img.width(), 400);
  // Background grey 0.2 outside the box's projection.
  for (QPoint p : {QPoint(200, 40), QPoint(40, 200), QPoint(360, 200), QPoint(200, 360)})
    EXPECT_TRUE(isBackground(img.pixel(p))) << p.x() << "," << p.y();
  // Walking out from the centre in the four axis directions: volume colour up to the rim of the
  // shell, background from there to the front face's outline.
  const QPoint dirs[4] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  for (QPoint d : dirs) {
    int edge = -1;
    for (int r = 0; r < 118; ++r) {
      if (isBackground(img.pixel(QPoint(200, 200) + d * r))) {
        edge = r;
        break;
      }
    }
    EXPECT_GT(edge, 90) << d.x() << "," << d.y();
    EXPECT_LT(edge, 110) << d.x() << "," << d.y();
    for (int r = 0; r < 85; r += 5)
      EXPECT_FALSE(isBackground(img.pixel(QPoint(200, 200) + d * r))) << r;
    // The box's yellow outline: front face about 121 pixels out.
    bool yellow = false;
    for (int r = 112; r <= 130 && !yellow; ++r) yellow = isYellow(img.pixel(QPoint(200, 200) + d * r));
    EXPECT_TRUE(yellow) << d.x() << "," << d.y();
  }
  // More transparent, the shell shows as a ring: its rim (low values) in another colour than its
  // inside (the peak at radius 3 seen through), symmetric about the centre.
  tp->setValue(20);
  const QImage thin = v.grabFramebuffer();
  if (getenv("RENDER_DUMP")) thin.save("/tmp/render_shell_thin.png");
  tp->setValue(tp0);
  const QRgb rimL = thin.pixel(106, 200), rimR = thin.pixel(294, 200);
  const QRgb inner = thin.pixel(200 + 40, 200);
  EXPECT_FALSE(isBackground(rimL));
  EXPECT_FALSE(isBackground(rimR));
  EXPECT_GT(colourDistance(rimL, inner), 60);
  EXPECT_LT(colourDistance(rimL, rimR), 20);
  EXPECT_TRUE(isBackground(thin.pixel(200, 40)));
}

TEST(RenderView, ParallelProjectionUsesItsPlanes) {
  CKestrinView& v = *g_env->view;
  const double eye[3] = {5, 5, 25}, c[3] = {5, 5, 5};
  placeCamera(v, eye, c);
  QCheckBox* par = TDlgVisParam::getInst().parallelProjCheck();
  par->setChecked(false);
  const QImage persp = v.grabFramebuffer();
  EXPECT_NEAR(depthAlongView(v, 0.0f), 0.02, 1e-4);
  EXPECT_NEAR(depthAlongView(v, 1.0f), 300, 0.5);  // float matrices: far depth is coarse

  par->setChecked(true);
  const QImage ortho = v.grabFramebuffer();
  EXPECT_NEAR(depthAlongView(v, 0.0f), -30, 1e-4);
  EXPECT_NEAR(depthAlongView(v, 1.0f), 100, 1e-4);
  // The parallel view spans 0.35 x 20 = 7 world units on each side of the centre.
  double left[3], right[3];
  v.togl.unProject(0, 200, 0.5f, left);
  v.togl.unProject(400, 200, 0.5f, right);
  EXPECT_NEAR(left[0], 5 - 7, 1e-4);
  EXPECT_NEAR(right[0], 5 + 7, 1e-4);
  EXPECT_NE(persp, ortho);
  par->setChecked(false);
}

TEST(RenderView, CameraDragRotatesTheView) {
  CKestrinView& v = *g_env->view;
  TCore::getInst().setMode(0);
  const QImage before = v.grabFramebuffer();
  const double eye0[3] = {v.togl.eye[0], v.togl.eye[1], v.togl.eye[2]};
  auto send = [&](QEvent::Type t, QPoint p, Qt::MouseButton b, Qt::MouseButtons bs) {
    QMouseEvent e(t, QPointF(p), QPointF(v.mapToGlobal(p)), b, bs, Qt::NoModifier);
    QApplication::sendEvent(&v, &e);
  };
  send(QEvent::MouseButtonPress, QPoint(200, 200), Qt::RightButton, Qt::RightButton);
  EXPECT_EQ(v.togl.dragMode, TOGL::DragRotate);
  EXPECT_TRUE(VolRendManager::getInst().buttonHeld);
  send(QEvent::MouseMove, QPoint(260, 220), Qt::NoButton, Qt::RightButton);
  send(QEvent::MouseButtonRelease, QPoint(260, 220), Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(v.togl.dragMode, TOGL::DragNone);
  EXPECT_FALSE(VolRendManager::getInst().buttonHeld);
  EXPECT_EQ(TOGL::captureWindow(), nullptr);
  // Orbit about the centre: the distance stays, the eye moved.
  double d0 = 0, d1 = 0, moved = 0;
  for (int i = 0; i < 3; ++i) {
    d0 += std::pow(eye0[i] - v.togl.center[i], 2);
    d1 += std::pow(v.togl.eye[i] - v.togl.center[i], 2);
    moved += std::pow(v.togl.eye[i] - eye0[i], 2);
  }
  EXPECT_NEAR(std::sqrt(d0), std::sqrt(d1), 1e-9);
  EXPECT_GT(std::sqrt(moved), 1.0);
  const QImage after = v.grabFramebuffer();
  int changed = 0;
  for (int y = 0; y < 400; y += 4)
    for (int x = 0; x < 400; x += 4)
      if (std::abs(grey(before, x, y) - grey(after, x, y)) > 8) ++changed;
  EXPECT_GT(changed, 100);
}

TEST(RenderView, PixelExactProjectionAndPicking) {
  CKestrinView& v = *g_env->view;
  v.makeCurrent();
  TOGL& o = v.togl;
  const double eye[3] = {0, 0, 10}, c[3] = {0, 0, 0};
  placeCamera(v, eye, c);
  o.resize(301, 200);
  const double off[3] = {0, 0, 0};
  o.setOrtho2D(off, 1.0, -100, 100);
  o.endFrame();
  double p[3];
  // A 301-pixel-wide pane uses +-150 (integer halves): one unit per pixel from -150.
  o.unProject(0, 100, 0.5f, p);
  EXPECT_NEAR(p[0], -150, 1e-4);
  o.unProject(301, 100, 0.5f, p);
  EXPECT_NEAR(p[0], 150, 1e-4);
  // Window y is the viewport height minus the client y.
  o.unProject(0, 0, 0.5f, p);
  EXPECT_NEAR(p[1], 100, 1e-4);
  // Scale and offset: world p lands at scale * p + offset.
  const double off2[3] = {10, 0, 0};
  o.setOrtho2D(off2, 2.0, -100, 100);
  o.endFrame();
  std::vector<TOGL::Vec3> w;
  TOGL::projectPoint({{5, 0, 0}}, w, o);
  ASSERT_EQ(w.size(), 1u);
  // Look-at x 20 lies 170 of the 300 units from the left edge, spread over 301 pixels.
  EXPECT_NEAR(w[0][0], 170.0 * 301 / 300, 1e-4);
  EXPECT_NEAR(w[0][1], 100, 1e-4);

  // Perspective: the cursor ray at the centre runs along the view direction.
  o.resize(v.width(), v.height());
  o.setPerspective(0.02, 300);
  o.endFrame();
  double org[3], dir[3];
  o.getCursorRay(v.width() / 2, v.height() / 2, org, dir);
  EXPECT_NEAR(dir[0], 0, 1e-6);
  EXPECT_NEAR(dir[1], 0, 1e-6);
  EXPECT_NEAR(dir[2], -1, 1e-6);
  EXPECT_NEAR(org[2], 10 - 0.02, 1e-4);
  EXPECT_NEAR(o.unProjectIdentity(), 0.02, 1e-4);
  v.doneCurrent();
}

TEST(RenderView, IntensityAndGradientModesDraw) {
  CKestrinView& v = *g_env->view;
  for (int m : {1, 0}) {
    TCore::getInst().setMode(m);
    EXPECT_EQ(TDlgVisParam::getInst().getVolumeMode(), StateVisStd::volumeModeFor(m));
    const QImage img = v.grabFramebuffer();
    int lit = 0;
    for (int x = 100; x < 300; x += 2)
      if (grey(img, x, 200) > 51 + 20) ++lit;
    EXPECT_GT(lit, 5) << "mode " << m;
  }
}

TEST(RenderView, BoxRefusesZeroSizesAndKeepsItsExtent) {
  VolRendManager& vr = VolRendManager::getInst();
  const double pitch[3] = {0.5, 0.5, 2.0};
  ASSERT_TRUE(vr.setVolumeExtent(pitch, 512, 512, 100));
  EXPECT_NEAR(vr.extent[2], 7.8125, 1e-12);  // 200 mm of 256 mm
  EXPECT_DOUBLE_EQ(vr.corners[6][0], 10);
  EXPECT_NEAR(vr.corners[6][2], 7.8125, 1e-12);
  const double zero[3] = {0.5, 0, 2.0};
  EXPECT_FALSE(vr.setVolumeExtent(zero, 512, 512, 100));
  EXPECT_FALSE(vr.setVolumeExtent(pitch, 0, 512, 100));
  EXPECT_NEAR(vr.extent[2], 7.8125, 1e-12);
  EXPECT_NEAR(vr.corners[4][2], 7.8125, 1e-12);
  // Back to the default volume's box.
  const double one[3] = {1, 1, 1};
  ASSERT_TRUE(vr.setVolumeExtent(one, 64, 64, 64));
}

namespace {
// A mode that records what the view hands it.
class RecordingMode : public TModeState {
 public:
  int draws = 0, keyDowns = 0, keyUps = 0;
  TPoint2i wheelPoint{-1, -1};
  int wheelDelta = 0;
  void OnSwitched(int) override {}
  void OnMouseWheel(unsigned, int delta, const TPoint2i& p) override {
    wheelDelta = delta;
    wheelPoint = p;
  }
  void OnKeyDown(int, int, unsigned) override { ++keyDowns; }
  void OnKeyUp(int, int, unsigned) override { ++keyUps; }
  void OnDraw() override { ++draws; }
  int zone = 0;
  TPoint2i cursorPoint{-1, -1};
  int OnSetCursor(const TPoint2i& p) override {
    cursorPoint = p;
    return zone;
  }
};
}  // namespace

TEST(RenderView, KeysRedrawOnceAndWheelGetsViewPoint) {
  CKestrinView& v = *g_env->view;
  RecordingMode mode;
  TModeState* const saved = TCore::getInst().state;
  TCore::getInst().state = &mode;
  auto key = [&](QEvent::Type t, bool autoRepeat) {
    QKeyEvent e(t, Qt::Key_A, Qt::NoModifier, "a", autoRepeat);
    QApplication::sendEvent(&v, &e);
  };
  // A redraw paints now, or at the latest when the pending repaint is delivered.
  auto settle = [] {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  };
  key(QEvent::KeyPress, false);
  settle();
  EXPECT_EQ(mode.draws, 1);
  // Repeats of a held key reach the mode but do not redraw (X sends release/press pairs).
  key(QEvent::KeyRelease, true);
  key(QEvent::KeyPress, true);
  key(QEvent::KeyRelease, true);
  key(QEvent::KeyPress, true);
  settle();
  EXPECT_EQ(mode.keyDowns, 3);
  EXPECT_EQ(mode.keyUps, 0);
  EXPECT_EQ(mode.draws, 1);
  key(QEvent::KeyRelease, false);
  settle();
  EXPECT_EQ(mode.keyUps, 1);
  EXPECT_EQ(mode.draws, 2);

  const QPoint local(120, 80);
  QWheelEvent we(QPointF(local), QPointF(v.mapToGlobal(local)), QPoint(), QPoint(0, -120),
                 Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&v, &we);
  EXPECT_EQ(mode.wheelDelta, -120);
  EXPECT_EQ(mode.wheelPoint, TPoint2i(120, 80));
  TCore::getInst().state = saved;
}

TEST(RenderView, CameraAnimationOrbitsAndStops) {
  CKestrinView& v = *g_env->view;
  VolRendManager& vr = VolRendManager::getInst();
  const double pitch[3] = {1, 1, 1};
  ASSERT_TRUE(vr.setVolumeExtent(pitch, 40, 20, 10));  // box (10, 5, 2.5)
  v.hide();  // redraws are only scheduled while hidden
  v.startAnimation(2);
  for (int tick = 0; tick < 360; ++tick) {
    v.stepRotation();
    // Orbit about y: the eye stays at y = 2 * 5 + 2.5 on a circle of radius 0.8 * 17.5 = 14
    // around the box centre (5, 2.5, 1.25).
    ASSERT_NEAR(v.togl.eye[1], 12.5, 1e-12);
    ASSERT_NEAR(std::hypot(v.togl.eye[0] - 5, v.togl.eye[2] - 1.25), 14, 1e-9);
    ASSERT_DOUBLE_EQ(v.togl.center[1], 2.5);
    // up is y made perpendicular to the view direction.
    double d[3], dl = 0, ud = 0;
    for (int i = 0; i < 3; ++i) d[i] = v.togl.eye[i] - v.togl.center[i], dl += d[i] * d[i];
    for (int i = 0; i < 3; ++i) ud += v.togl.up[i] * d[i] / std::sqrt(dl);
    ASSERT_NEAR(ud, 0, 1e-9);
    ASSERT_GT(v.togl.up[1], 0);
  }
  EXPECT_EQ(v.animCounter, 0);
  // The last moving tick is at angle 0: eye at centre + (14, 10, 0).
  EXPECT_NEAR(v.togl.eye[0], 19, 1e-9);
  EXPECT_NEAR(v.togl.eye[2], 1.25, 1e-9);
  const double eyeX = v.togl.eye[0];
  v.stepRotation();  // the 361st tick only stops
  EXPECT_EQ(v.animCounter, -1);
  EXPECT_DOUBLE_EQ(v.togl.eye[0], eyeX);

  // The z sweep moves the z slice by 1/360 per tick and stays half a voxel inside the box.
  vr.slicePos[2] = 0.99;
  v.startAnimation(4);
  for (int tick = 0; tick < 10; ++tick) v.stepRotation();
  EXPECT_LT(vr.slicePos[2], 1.0);
  EXPECT_GE(vr.slicePos[2], 1 - 0.5 / 64);
  v.startAnimation(4);
  v.animCounter = 0;
  v.stepRotation();

  const double one[3] = {1, 1, 1};
  ASSERT_TRUE(vr.setVolumeExtent(one, 64, 64, 64));
  v.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
  TCore::getInst().setMode(0);
}

TEST(RenderView, PitchTypedInThePanelReshapesTheBox) {
  CKestrinView& v = *g_env->view;
  TDlgVisParam& panel = TDlgVisParam::getInst();
  StateVisStd::getInst().rulers = {{0, 0, 0, 1, 0, 0}};
  QLineEdit* x = panel.pitchEdit(0);
  x->selectAll();
  QTest::keyClicks(x, "2.5");
  // 64 x 2.5 = 160 mm wide against 64 mm: the box becomes (10, 4, 4), the camera faces it.
  VolRendManager& vr = VolRendManager::getInst();
  EXPECT_DOUBLE_EQ(vr.extent[0], 10);
  EXPECT_DOUBLE_EQ(vr.extent[1], 4);
  EXPECT_DOUBLE_EQ(vr.extent[2], 4);
  EXPECT_DOUBLE_EQ(v.togl.eye[0], 5);
  EXPECT_DOUBLE_EQ(v.togl.eye[1], 2);
  EXPECT_DOUBLE_EQ(v.togl.eye[2], 8);
  // The ruler list follows the pitch: the x ruler spans 160 mm now.
  QListWidget* list = StateVisStd::getInst().rulerPanel()->rulerList();
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text().toStdString(), "ruler 0  : 160.000000");
  x->selectAll();
  QTest::keyClicks(x, "1");
  EXPECT_DOUBLE_EQ(vr.extent[1], 10);
  StateVisStd::getInst().rulers.clear();
  TCore::getInst().setMode(0);
}

TEST(RenderView, FrameCheckBoxHidesTheOutline) {
  CKestrinView& v = *g_env->view;
  const double eye[3] = {5, 5, 30}, c[3] = {5, 5, 5};
  auto yellowPixels = [&] {
    placeCamera(v, eye, c);
    const QImage img = v.grabFramebuffer();
    int n = 0;
    for (int y = 0; y < img.height(); y += 2)
      for (int x = 0; x < img.width(); x += 2) n += isYellow(img.pixel(x, y));
    return n;
  };
  EXPECT_GT(yellowPixels(), 50);
  TDlgVisParam::getInst().frameCheck()->setChecked(false);
  EXPECT_EQ(yellowPixels(), 0);
  TDlgVisParam::getInst().frameCheck()->setChecked(true);
  EXPECT_GT(yellowPixels(), 50);
}

TEST(RenderView, MaskModeDrawsRegionSurfacesAndRulersShow) {
  CKestrinView& v = *g_env->view;
  TCore::getInst().setMode(3);
  const double eye[3] = {5, 5, 30}, c[3] = {5, 5, 5};
  // Region 7 shown by its surface: a red sphere of radius 0.1 of the unit cube at its centre.
  TMaskIdTable& table = TMaskIdTable::getInst();
  TMaskIdInfo& rec = table.records[7];
  rec.surface.initSphere(0.1);
  for (TVec3& p : rec.surface.verts) p = TVec3(p[0] + 0.5, p[1] + 0.5, p[2] + 0.5);
  rec.color = 0x0000ff;  // red
  rec.alpha = 255;
  rec.polygonRendering = 1;
  rec.used = 1;
  auto centre = [&] {
    placeCamera(v, eye, c);
    return v.grabFramebuffer().pixel(200, 200);
  };
  // A fully transparent volume without its slice planes leaves the surfaces alone on the
  // background.
  QSlider* tp = TDlgVisParam::getInst().transparencySlider();
  const int tp0 = tp->value();
  tp->setValue(0);
  for (int plane = 0; plane < 3; ++plane) TDlgVisParam::getInst().planeCheck(plane)->setChecked(false);
  const QRgb with = centre();
  EXPECT_GT(qRed(with), 100);
  EXPECT_LT(qGreen(with), qRed(with) / 3);
  EXPECT_LT(qBlue(with), qRed(with) / 3);
  rec.polygonRendering = 0;
  const QRgb without = centre();
  EXPECT_TRUE(isBackground(without));
  // Id 255 is drawn like every other id.
  table.records[255] = table.records[7];
  table.records[255].polygonRendering = 1;
  EXPECT_GT(qRed(centre()), 100);
  table.records[255].polygonRendering = 0;
  table.records[255].surface.clear();
  rec.surface.clear();
  tp->setValue(tp0);
  for (int plane = 0; plane < 3; ++plane) TDlgVisParam::getInst().planeCheck(plane)->setChecked(true);

  // A ruler across the front face (x from 0.1 to 0.9 at y 0.95, z 1), above the shell's
  // projection and below the box outline: a green line there, hidden while the space bar is held.
  TCore::getInst().setMode(0);
  StateVisStd& mode = StateVisStd::getInst();
  mode.rulers = {{0.1, 0.95, 1.0, 0.9, 0.95, 1.0}};
  auto greenPixels = [&] {
    placeCamera(v, eye, c);
    const QImage im = v.grabFramebuffer();
    int n = 0;
    for (int y = 84; y < 99; ++y)
      for (int x = 150; x < 250; ++x) {
        const QRgb p = im.pixel(x, y);
        n += qGreen(p) > 150 && qRed(p) < 100 && qBlue(p) < 100;
      }
    return n;
  };
  EXPECT_GT(greenPixels(), 40);
  QKeyEvent spaceDown(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QApplication::sendEvent(&v, &spaceDown);
  EXPECT_EQ(greenPixels(), 0);
  QKeyEvent spaceUp(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
  QApplication::sendEvent(&v, &spaceUp);
  EXPECT_GT(greenPixels(), 40);
  mode.rulers.clear();
}

// The cursor follows the zone the mode reports at the last mouse point; zones outside 0..9 give
// the default cursor back.  The keyboard's menu key opens the "Edit" popup with its three items.
TEST(RenderView, CursorZonesAndEditPopup) {
  CKestrinView& v = *g_env->view;
  RecordingMode mode;
  TModeState* const saved = TCore::getInst().state;
  TCore::getInst().state = &mode;
  auto moveTo = [&](QPoint p) {
    QMouseEvent e(QEvent::MouseMove, QPointF(p), QPointF(v.mapToGlobal(p)), Qt::NoButton,
                  Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&v, &e);
  };
  mode.zone = 1;
  moveTo(QPoint(200, 10));
  EXPECT_EQ(mode.cursorPoint, TPoint2i(200, 10));
  EXPECT_EQ(v.cursor().shape(), Qt::SizeHorCursor);  // roll band: horizontal motion
  mode.zone = 2;
  moveTo(QPoint(5, 200));
  EXPECT_EQ(v.cursor().shape(), Qt::SizeVerCursor);  // dolly band: vertical motion
  mode.zone = 0;
  moveTo(QPoint(200, 200));
  EXPECT_EQ(v.cursor().shape(), Qt::CrossCursor);
  mode.zone = 6;
  moveTo(QPoint(201, 200));
  EXPECT_EQ(v.cursor().shape(), Qt::BitmapCursor);
  for (int z : {10, -1}) {
    mode.zone = 2;
    moveTo(QPoint(5, 200));
    ASSERT_EQ(v.cursor().shape(), Qt::SizeVerCursor);
    mode.zone = z;
    moveTo(QPoint(6, 200));
    EXPECT_EQ(v.cursor().shape(), Qt::ArrowCursor) << z;
  }

  QStringList items;
  auto closePopup = [&items] {
    if (auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      for (QAction* a : m->actions()) items << a->text();
      m->close();
    }
  };
  QTimer::singleShot(0, closePopup);
  QTimer::singleShot(3000, closePopup);  // never hang on a menu that did not show at once
  const QPoint at(100, 100);
  QContextMenuEvent key(QContextMenuEvent::Keyboard, at, v.mapToGlobal(at));
  QApplication::sendEvent(&v, &key);
  EXPECT_EQ(items, QStringList({"Cut", "Copy", "Paste"}));
  // The right button drives the camera: its menu request opens nothing.
  items.clear();
  QTimer::singleShot(0, closePopup);
  QContextMenuEvent mouse(QContextMenuEvent::Mouse, at, v.mapToGlobal(at));
  QApplication::sendEvent(&v, &mouse);
  QApplication::processEvents();
  EXPECT_TRUE(items.isEmpty());
  v.unsetCursor();
  TCore::getInst().state = saved;
}

// Files dropped on the view are loaded once the drop is over (the program they came from waits
// for its end), and everything is redrawn; a refused drop shows its message then too.
TEST(RenderView, DroppedFilesLoadAfterTheDrop) {
  CKestrinView& v = *g_env->view;
  RecordingMode mode;
  TModeState* const saved = TCore::getInst().state;
  TCore::getInst().state = &mode;
  std::vector<std::string> loaded;
  TDropLoaders loaders;
  loaders.loadVolume = [&loaded](const std::string& p) { loaded.push_back(p); };
  t_setDropLoaders(loaders);
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  auto drop = [&](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&v, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent e(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&v, &e);
  };
  auto settle = [] {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
  };

  drop({QUrl::fromLocalFile("/data/vol.TIF")});
  EXPECT_TRUE(loaded.empty());
  const int draws = mode.draws;
  settle();
  EXPECT_EQ(loaded, std::vector<std::string>{"/data/vol.TIF"});
  EXPECT_GT(mode.draws, draws);

  drop({QUrl::fromLocalFile("/data/a.tif"), QUrl::fromLocalFile("/data/b.tif")});
  EXPECT_TRUE(prompts.texts().empty());
  settle();
  ASSERT_EQ(prompts.texts().size(), 1u);
  EXPECT_EQ(prompts.texts()[0], kDropRefusalText);
  EXPECT_EQ(loaded.size(), 1u);

  t_setDropLoaders(TDropLoaders());
  TCore::getInst().state = saved;
}
