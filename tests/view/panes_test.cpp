// The three slice panes docked beside the main view under Xvfb: their slices and cross lines,
// the 2-D camera (fit, zoom about the centre, pan), the pane events (wheel, zoom drag, line drag,
// caption strip), floating and docking back; and the standard mode's main-view drags: plane
// handles, the Ctrl cut stroke in both projections, the space bar, Shift rulers in millimetres,
// modes 0-3 and the panes coming back after a mode that hid them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <QMainWindow>
#include <QMouseEvent>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <functional>

#include "core/ModeRegistry.h"
#include "core/ModeViewHost.h"
#include "core/TCore.h"
#include "core/TModeState.h"
#include "core/lifetime.h"
#include "modes/vis/StateVisStd.h"
#include "modes/vis/TDlgVisStd.h"
#include "modes/vis/register_modes.h"
#include "view/CKestrinView.h"
#include "view_test_env.h"
#include "view/GLSetup.h"
#include "view/SubPaneManager.h"
#include "view/TDlgVisParam.h"
#include "view/TSubPane.h"
#include "view/VolRendManager.h"
#include "view/key_state.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"
#include "volume/volume_values.h"

namespace {

class PaneEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app = viewtest::startApplication("panes_test");
    // Few view-aligned slices: every frame is drawn by a software rasteriser.
    TDlgVisParam::getInst().sliceNumSlider()->setValue(0);
    view = new CKestrinView();
    frame = new QMainWindow();
    frame->setCentralWidget(view);
    SubPaneManager::getInst().createDockWidgets(frame);
    frame->resize(900, 640);
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    frame->activateWindow();
    (void)QTest::qWaitForWindowActive(frame);
    TCore::getInst().setMode(0);
    QApplication::processEvents();
    for (int i = 0; i < 3; ++i) firstZoom[i] = SubPaneManager::getInst().getPane(i)->zoom;
  }
  void TearDown() override {
    delete frame;
    frame = nullptr;
    view = nullptr;
    TDlgVisParam::destroyInst();
    t_runAtExit();
  }
  QApplication* app = nullptr;
  QMainWindow* frame = nullptr;
  CKestrinView* view = nullptr;
  double firstZoom[3] = {0, 0, 0};
};

PaneEnvironment* g_env =
    static_cast<PaneEnvironment*>(::testing::AddGlobalTestEnvironment(new PaneEnvironment));

TSubPane* pane(int plane) { return SubPaneManager::getInst().getPane(plane); }
VolRendManager& vr() { return VolRendManager::getInst(); }

using viewtest::isBackground;
bool isRed(QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; }
bool isGreen(QRgb p) { return qGreen(p) > 200 && qRed(p) < 60 && qBlue(p) < 60; }
bool isBlue(QRgb p) { return qBlue(p) > 200 && qRed(p) < 60 && qGreen(p) < 60; }

// Pixel of a world point in a context, with the matrices of its last frame.
QPoint project(TOGL& ogl, double x, double y, double z) {
  std::vector<TOGL::Vec3> out;
  TOGL::projectPoint({{x, y, z}}, out, ogl);
  return QPoint(int(std::lround(out[0][0])), int(std::lround(out[0][1])));
}

// Whether a colour test holds within r pixels of p.
bool colourNear(const QImage& img, QPoint p, int r, const std::function<bool(QRgb)>& test) {
  for (int dy = -r; dy <= r; ++dy)
    for (int dx = -r; dx <= r; ++dx) {
      const QPoint q = p + QPoint(dx, dy);
      if (img.rect().contains(q) && test(img.pixel(q))) return true;
    }
  return false;
}

int differingPixels(const QImage& a, const QImage& b, int threshold = 24) {
  if (a.size() != b.size()) return -1;
  int n = 0;
  for (int y = 0; y < a.height(); y += 2)
    for (int x = 0; x < a.width(); x += 2) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      if (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) > threshold) ++n;
    }
  return n;
}

void mouse(QWidget* w, QEvent::Type t, QPoint p, Qt::MouseButton b, Qt::MouseButtons bs,
           Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QMouseEvent e(t, QPointF(p), QPointF(w->mapToGlobal(p)), b, bs, mods);
  QApplication::sendEvent(w, &e);
}

void wheel(QWidget* w, QPoint p, int delta) {
  QWheelEvent e(QPointF(p), QPointF(w->mapToGlobal(p)), QPoint(), QPoint(0, delta), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

void key(QWidget* w, QEvent::Type t, int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent e(t, k, mods, QString(), false);
  QApplication::sendEvent(w, &e);
}

void setSlices(double x, double y, double z) {
  vr().slicePos[0] = x;
  vr().slicePos[1] = y;
  vr().slicePos[2] = z;
}

// Mode 0 with the camera and planes reset, the volume back to the 64^3 shell in a 10^3 box, the
// panes at their first zoom and centred.
void resetScene() {
  TDlgVisParam::getInst().parallelProjCheck()->setChecked(false);
  TDlgVisParam::getInst().setPitch(1, 1, 1);
  for (int i = 0; i < 3; ++i) {
    pane(i)->zoom = g_env->firstZoom[i];
    pane(i)->fitCameraToVolume();
  }
  vr().cutSurface.clear();
  StateVisStd::getInst().rulers.clear();
  t_clearHeldKeys();
  TCore::getInst().setMode(0);
}

}  // namespace

TEST(Panes, DockedWithCaptionsAndOneScale) {
  resetScene();
  const char* captions[3] = {"XY", "YZ", "ZX"};
  for (int i = 0; i < 3; ++i) {
    ASSERT_NE(pane(i), nullptr);
    EXPECT_EQ(pane(i)->windowTitle().toStdString(), captions[i]);
    EXPECT_TRUE(pane(i)->isVisible());
    EXPECT_FALSE(pane(i)->isFloating());
    EXPECT_FALSE(pane(i)->features() & QDockWidget::DockWidgetClosable);
    EXPECT_TRUE(pane(i)->features() & QDockWidget::DockWidgetFloatable);
    EXPECT_TRUE(pane(i)->view()->glReady());
    EXPECT_EQ(g_env->frame->dockWidgetArea(pane(i)), Qt::LeftDockWidgetArea);
  }
  // Arrangement 1: one column, XY above YZ above ZX.
  EXPECT_LT(pane(0)->y(), pane(1)->y());
  EXPECT_LT(pane(1)->y(), pane(2)->y());
  EXPECT_EQ(pane(0)->x(), pane(2)->x());
  SubPaneManager::getInst().arrangePanes2();
  QApplication::processEvents();
  EXPECT_EQ(g_env->frame->dockWidgetArea(pane(2)), Qt::TopDockWidgetArea);
  EXPECT_EQ(g_env->frame->dockWidgetArea(pane(0)), Qt::LeftDockWidgetArea);
  EXPECT_LT(pane(0)->y(), pane(1)->y());
  SubPaneManager::getInst().arrangePanes1();
  QApplication::processEvents();
  EXPECT_EQ(g_env->frame->dockWidgetArea(pane(2)), Qt::LeftDockWidgetArea);
}

TEST(Panes, FitAndZoomKeepTheCentre) {
  resetScene();
  const double pitch[3] = {1, 1, 1};
  ASSERT_TRUE(vr().setVolumeExtent(pitch, 64, 64, 32));  // box (10, 10, 5)
  for (int i = 0; i < 3; ++i) {
    pane(i)->zoom = 20;
    pane(i)->fitCameraToVolume();
  }
  EXPECT_DOUBLE_EQ(pane(0)->panOffset[0], -100);
  EXPECT_DOUBLE_EQ(pane(0)->panOffset[1], -100);
  EXPECT_DOUBLE_EQ(pane(0)->panOffset[2], 0);
  EXPECT_DOUBLE_EQ(pane(1)->panOffset[0], 0);
  EXPECT_DOUBLE_EQ(pane(1)->panOffset[1], -100);
  EXPECT_DOUBLE_EQ(pane(1)->panOffset[2], -50);
  EXPECT_DOUBLE_EQ(pane(2)->panOffset[0], -100);
  EXPECT_DOUBLE_EQ(pane(2)->panOffset[2], -50);

  // The world point under each pane's centre pixel stays there through a zoom (and a pan).
  for (int i = 0; i < 3; ++i) {
    TSubPane* p = pane(i);
    p->panByMouse(TPoint2i(10, 10), TPoint2i(37, -5));
    p->view()->grabFramebuffer();
    const int cx = p->width / 2, cy = p->height / 2;
    double before[3], after[3];
    p->togl.unProject(cx, cy, 0.5f, before);
    p->zoomBy(1.7);
    p->view()->grabFramebuffer();
    p->togl.unProject(cx, cy, 0.5f, after);
    const int a = i == 1 ? 1 : 0, b = i == 0 ? 1 : 2;
    EXPECT_NEAR(before[a], after[a], 1e-6) << i;
    EXPECT_NEAR(before[b], after[b], 1e-6) << i;
    EXPECT_DOUBLE_EQ(p->zoom, 34);
    // A factor of 1 changes nothing.
    const double off[3] = {p->panOffset[0], p->panOffset[1], p->panOffset[2]};
    p->zoomBy(1.0);
    EXPECT_DOUBLE_EQ(p->zoom, 34);
    for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(p->panOffset[k], off[k]);
  }
  // Panning moves the scene with the mouse: a world point follows the cursor by the same pixels.
  TSubPane* xy = pane(0);
  xy->view()->grabFramebuffer();
  const QPoint q0 = project(xy->togl, 5, 5, 2.5);
  xy->panByMouse(TPoint2i(100, 100), TPoint2i(130, 80));
  xy->view()->grabFramebuffer();
  const QPoint q1 = project(xy->togl, 5, 5, 2.5);
  EXPECT_NEAR(q1.x() - q0.x(), 30, 1);
  EXPECT_NEAR(q1.y() - q0.y(), -20, 1);

  // Resizing re-centres the volume and keeps the zoom.
  ASSERT_TRUE(vr().setVolumeExtent(pitch, 64, 64, 64));
  resetScene();
}

TEST(Panes, SlicesShowWithCrossLinesInThePlaneColours) {
  resetScene();
  setSlices(0.3, 0.6, 0.5);
  vr().updateSlices();
  const double* e = vr().extent;
  const double x = e[0] * vr().slicePos[0], y = e[1] * vr().slicePos[1], z = e[2] * vr().slicePos[2];
  for (int i = 0; i < 3; ++i) {
    TSubPane* p = pane(i);
    const QImage img = p->view()->grabFramebuffer();
    if (getenv("RENDER_DUMP")) img.save(QString("/tmp/pane%1.png").arg(i));
    ASSERT_GT(img.width(), 50);
    TOGL& o = p->togl;
    // The slice fills the box rectangle: not background in its middle.
    int lit = 0;
    std::function<bool(QRgb)> red = isRed, green = isGreen, blue = isBlue;
    if (i == 0) {
      EXPECT_TRUE(colourNear(img, project(o, x, 0.25 * e[1], z), 2, green));
      EXPECT_TRUE(colourNear(img, project(o, 0.8 * e[0], y, z), 2, blue));
      EXPECT_FALSE(colourNear(img, project(o, 0.8 * e[0], 0.25 * e[1], z), 2, blue));
      for (double f = 0.05; f < 1; f += 0.1) lit += !isBackground(img.pixel(project(o, f * e[0], 0.5 * e[1], z)));
    } else if (i == 1) {
      EXPECT_TRUE(colourNear(img, project(o, x, y, 0.35 * e[2]), 2, blue));
      EXPECT_TRUE(colourNear(img, project(o, x, 0.9 * e[1], z), 2, red));
      for (double f = 0.05; f < 1; f += 0.1) lit += !isBackground(img.pixel(project(o, x, f * e[1], 0.5 * e[2])));
    } else {
      EXPECT_TRUE(colourNear(img, project(o, 0.1 * e[0], y, z), 2, red));
      EXPECT_TRUE(colourNear(img, project(o, x, y, 0.65 * e[2]), 2, green));
      for (double f = 0.05; f < 1; f += 0.1) lit += !isBackground(img.pixel(project(o, f * e[0], y, 0.5 * e[2])));
    }
    EXPECT_GE(lit, 8) << "pane " << i;
    // Beside the box: the pane's grey.
    const QPoint out = i == 0 ? project(o, -1, 0.5 * e[1], z)
                              : i == 1 ? project(o, x, -1, 0.5 * e[2]) : project(o, -1, y, 0.5 * e[2]);
    ASSERT_TRUE(img.rect().contains(out)) << i;
    EXPECT_TRUE(isBackground(img.pixel(out))) << i;
  }
}

TEST(Panes, WheelStepsThePlaneByOneVoxel) {
  resetScene();
  setSlices(20.5 / 64, 30.5 / 64, 10.5 / 64);
  wheel(pane(0)->view(), QPoint(40, 40), 120);
  EXPECT_NEAR(vr().slicePos[2], 11.5 / 64, 1e-12);
  wheel(pane(1)->view(), QPoint(40, 40), -120);
  EXPECT_NEAR(vr().slicePos[0], 19.5 / 64, 1e-12);
  wheel(pane(2)->view(), QPoint(40, 40), 240);  // one step whatever the delta
  EXPECT_NEAR(vr().slicePos[1], 31.5 / 64, 1e-12);
  // A sweep of notches through the XY pane visits every slice in turn: no slice is skipped.
  setSlices(0.3, 0.6, 0.5 / 64);
  int lastSlice = 0;
  for (int k = 0; k < 6; ++k) {
    wheel(pane(0)->view(), QPoint(40, 40), 120);
    const int slice = int(vr().slicePos[2] * 64);
    ASSERT_EQ(slice, lastSlice + 1);
    lastSlice = slice;
  }
}

TEST(Panes, RightDragZoomsAllThreePanesByOneFactor) {
  resetScene();
  double z0[3];
  for (int i = 0; i < 3; ++i) z0[i] = pane(i)->zoom;
  QWidget* v = pane(1)->view();
  mouse(v, QEvent::MouseButtonPress, QPoint(60, 100), Qt::RightButton, Qt::RightButton);
  mouse(v, QEvent::MouseMove, QPoint(60, 80), Qt::NoButton, Qt::RightButton);
  mouse(v, QEvent::MouseButtonRelease, QPoint(60, 80), Qt::RightButton, Qt::NoButton);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(pane(i)->zoom / z0[i], 1 - 20 * 0.003, 1e-12) << i;
  // A long drag up would give a factor below zero: the zoom stays positive.
  v = pane(2)->view();
  mouse(v, QEvent::MouseButtonPress, QPoint(60, 100), Qt::MiddleButton, Qt::MiddleButton);
  mouse(v, QEvent::MouseMove, QPoint(60, -400), Qt::NoButton, Qt::MiddleButton);
  mouse(v, QEvent::MouseButtonRelease, QPoint(60, -400), Qt::MiddleButton, Qt::NoButton);
  for (int i = 0; i < 3; ++i) {
    EXPECT_GT(pane(i)->zoom, 0) << i;
    EXPECT_NEAR(pane(i)->zoom / z0[i], (1 - 20 * 0.003) * TSubPane::kMinZoomStep, 1e-12) << i;
  }
  for (int i = 0; i < 3; ++i) pane(i)->zoom = z0[i];
  SubPaneManager::getInst().fitAllPanes();
}

TEST(Panes, LineDragMovesThePlaneInTheMainViewAndTheOtherPanes) {
  resetScene();
  setSlices(0.3, 0.6, 0.5);
  vr().updateSlices();
  const double* e = vr().extent;
  TSubPane* xy = pane(0);
  xy->view()->grabFramebuffer();
  const QImage yzBefore = pane(1)->view()->grabFramebuffer();
  const QImage mainBefore = g_env->view->grabFramebuffer();
  const double z = e[2] * vr().slicePos[2];
  // The green line (the YZ plane, x = 3) picked away from the crossing, dragged to x = 7.
  const QPoint from = project(xy->togl, e[0] * vr().slicePos[0], 0.25 * e[1], z);
  const QPoint to = project(xy->togl, 0.7 * e[0], 0.25 * e[1], z);
  QWidget* v = xy->view();
  mouse(v, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(StateVisStd::getInst().getPickedLine(), 1);
  mouse(v, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
  mouse(v, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  mouse(v, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  EXPECT_NEAR(vr().slicePos[0], 0.7, 0.01);
  EXPECT_NEAR(vr().slicePos[1], 0.6, 0.01);  // the other line stayed
  EXPECT_GT(differingPixels(yzBefore, pane(1)->view()->grabFramebuffer()), 100);
  EXPECT_GT(differingPixels(mainBefore, g_env->view->grabFramebuffer()), 50);
  // A drag that starts off the lines pans instead.
  const double off0 = xy->panOffset[0];
  const QPoint empty = project(xy->togl, 0.85 * e[0], 0.15 * e[1], z);
  mouse(v, QEvent::MouseButtonPress, empty, Qt::LeftButton, Qt::LeftButton);
  mouse(v, QEvent::MouseMove, empty + QPoint(12, 0), Qt::NoButton, Qt::LeftButton);
  mouse(v, QEvent::MouseButtonRelease, empty + QPoint(12, 0), Qt::LeftButton, Qt::NoButton);
  EXPECT_NEAR(xy->panOffset[0] - off0, 12, 0.5);
  xy->fitCameraToVolume();
}

namespace {
class RecordingMode : public TModeState {
 public:
  int paneDowns = 0, paneMoves = 0;
  TPoint2i lastMove{0, 0}, lastDown{-1, -1};
  void OnSwitched(int) override {}
  void OnMouseWheel(unsigned, int, const TPoint2i&) override {}
  void OnKeyDown(int, int, unsigned) override {}
  void OnKeyUp(int, int, unsigned) override {}
  void OnDraw() override {}
  void OnLBtnDown2D(TSubPane*, const TPoint2i& p) override {
    ++paneDowns;
    lastDown = p;
  }
  void OnLBtnUp2D(TSubPane*, const TPoint2i&) override {}
  void OnMouseMove2D(TSubPane*, const TPoint2i& p) override {
    ++paneMoves;
    lastMove = p;
  }
};
}  // namespace

TEST(Panes, CaptionStripBelongsToTheDockButMovesReachTheMode) {
  resetScene();
  RecordingMode mode;
  TModeState* const saved = TCore::getInst().state;
  TCore::getInst().state = &mode;
  TSubPane* p = pane(1);
  const int top = p->view()->y();
  ASSERT_GT(top, 5);
  const QPoint caption(30, top - 5);
  mouse(p, QEvent::MouseButtonPress, caption, Qt::LeftButton, Qt::LeftButton);
  mouse(p, QEvent::MouseButtonRelease, caption, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(mode.paneDowns, 0);
  mouse(p, QEvent::MouseMove, caption, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(mode.paneMoves, 1);
  EXPECT_EQ(mode.lastMove.y, -5);
  mouse(p->view(), QEvent::MouseButtonPress, QPoint(30, 0), Qt::LeftButton, Qt::LeftButton);
  mouse(p->view(), QEvent::MouseButtonRelease, QPoint(30, 0), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(mode.paneDowns, 1);
  EXPECT_EQ(mode.lastDown, TPoint2i(30, 0));
  TCore::getInst().state = saved;
}

TEST(Panes, FloatedAndDockedBackThePaneStillDrawsTheVolume) {
  resetScene();
  setSlices(0.5, 0.5, 0.5);
  TSubPane* p = pane(0);
  auto litPixels = [p] {
    const QImage img = p->view()->grabFramebuffer();
    int n = 0;
    for (int y = 0; y < img.height(); y += 3)
      for (int x = 0; x < img.width(); x += 3) n += !isBackground(img.pixel(x, y)) && !isGreen(img.pixel(x, y)) && !isBlue(img.pixel(x, y));
    return n;
  };
  const int docked = litPixels();
  ASSERT_GT(docked, 200);
  p->setFloating(true);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(p));
  QApplication::processEvents();
  EXPECT_TRUE(p->view()->glReady());
  EXPECT_GT(litPixels(), 200);
  p->setFloating(false);
  QTest::qWait(50);
  SubPaneManager::getInst().arrangePanes1();
  QApplication::processEvents();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(p->view()));
  EXPECT_TRUE(p->view()->glReady());
  EXPECT_GT(litPixels(), 200);
}

TEST(VisStdMainView, HandleDragMovesThePlane) {
  resetScene();
  CKestrinView* v = g_env->view;
  v->grabFramebuffer();
  const double* e = vr().extent;
  // The YZ handle at (ex * 0.2, 0, 0), dragged along x to 0.7.
  const QPoint h = project(v->togl, e[0] * vr().slicePos[0], 0, 0);
  const QPoint to = project(v->togl, 0.7 * e[0], 0, 0);
  const QImage yzBefore = pane(1)->view()->grabFramebuffer();
  EXPECT_EQ(StateVisStd::getInst().OnSetCursor(TPoint2i(h.x(), h.y())), 8);
  mouse(v, QEvent::MouseButtonPress, h, Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(StateVisStd::getInst().isDraggingSlice());
  EXPECT_EQ(StateVisStd::getInst().pickedPlane(), 1);
  mouse(v, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
  mouse(v, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(StateVisStd::getInst().isDraggingSlice());
  EXPECT_NEAR(vr().slicePos[0], 0.7, 0.01);
  EXPECT_GT(differingPixels(yzBefore, pane(1)->view()->grabFramebuffer()), 100);
  // The camera did not move.
  EXPECT_DOUBLE_EQ(v->togl.eye[2], 2 * e[2]);
}

namespace {
// A Ctrl stroke from left to right across the middle of the main view.
void ctrlStroke(CKestrinView* v, int points, int y) {
  const int x0 = v->width() / 2 - 120, x1 = v->width() / 2 + 120;
  const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
  mouse(v, QEvent::MouseButtonPress, QPoint(x0, y), Qt::LeftButton, Qt::LeftButton, ctrl);
  for (int i = 1; i < points; ++i)
    mouse(v, QEvent::MouseMove, QPoint(x0 + (x1 - x0) * i / (points - 1), y + (i % 3)), Qt::NoButton,
          Qt::LeftButton, ctrl);
  mouse(v, QEvent::MouseButtonRelease, QPoint(x1, y), Qt::LeftButton, Qt::NoButton, ctrl);
}
void lookFromTheSide(CKestrinView* v) {
  const double* e = vr().extent;
  const double eye[3] = {e[0] / 2 + 18, e[1] / 2 + 4, e[2] / 2 + 6}, c[3] = {e[0] / 2, e[1] / 2, e[2] / 2};
  for (int i = 0; i < 3; ++i) v->togl.eye[i] = eye[i], v->togl.center[i] = c[i], v->togl.up[i] = i == 1;
}
}  // namespace

TEST(VisStdMainView, CtrlStrokeBuildsTheCutSurfaceThatClipsTheRendering) {
  resetScene();
  CKestrinView* v = g_env->view;
  v->grabFramebuffer();
  // Five points are below the generator's minimum: nothing is built; three or fewer clear it.
  ctrlStroke(v, 5, v->height() / 2);
  EXPECT_EQ(vr().cutSurface.polyCount, 0);
  ctrlStroke(v, 12, v->height() / 2);
  EXPECT_FALSE(StateVisStd::getInst().isDrawingStroke());
  ASSERT_GT(vr().cutSurface.polyCount, 20);
  // Every vertex on the box, each strip pair on a line through the eye.
  const double* e = vr().extent;
  const ClipSurface& cut = vr().cutSurface;
  for (int i = 0; i < cut.vertexCount; ++i)
    for (int k = 0; k < 3; ++k) {
      ASSERT_GE(cut.verts[i][k], -1e-3);
      ASSERT_LE(cut.verts[i][k], e[k] + 1e-3);
    }
  // Seen from the side, the surface hides the volume in front of it.
  lookFromTheSide(v);
  const QImage with = v->grabFramebuffer();
  ClipSurface keep(cut);
  vr().cutSurface.clear();
  lookFromTheSide(v);
  const QImage without = v->grabFramebuffer();
  if (getenv("RENDER_DUMP")) with.save("/tmp/cut_with.png"), without.save("/tmp/cut_without.png");
  EXPECT_GT(differingPixels(with, without), 500);
  vr().cutSurface = keep;

  // Mode 3: the surface is drawn with the region overlay, without it while space is held.
  TCore::getInst().setMode(3);
  vr().cutSurface = keep;
  lookFromTheSide(v);
  v->grabFramebuffer();
  EXPECT_EQ(vr().shaderVisCutSurf.lastBinding().clipMode, TSheder::clipModeFromSel(2));
  key(v, QEvent::KeyPress, Qt::Key_Space);
  EXPECT_TRUE(t_spaceHeld());
  lookFromTheSide(v);
  v->grabFramebuffer();
  EXPECT_EQ(vr().shaderVisCutSurf.lastBinding().clipMode, 0);
  key(v, QEvent::KeyRelease, Qt::Key_Space);
  EXPECT_FALSE(t_spaceHeld());
  resetScene();
}

TEST(VisStdMainView, CutSurfaceInParallelProjectionFollowsTheViewDirection) {
  resetScene();
  CKestrinView* v = g_env->view;
  TDlgVisParam::getInst().parallelProjCheck()->setChecked(true);
  // A slanted view, so that lines from the eye and lines along the view differ.
  const double* e = vr().extent;
  const double eye[3] = {e[0] / 2 + 6, e[1] / 2 + 5, e[2] / 2 + 14}, c[3] = {e[0] / 2, e[1] / 2, e[2] / 2};
  for (int i = 0; i < 3; ++i) v->togl.eye[i] = eye[i], v->togl.center[i] = c[i], v->togl.up[i] = i == 1;
  v->grabFramebuffer();
  ctrlStroke(v, 15, v->height() / 2 - 20);
  const ClipSurface& cut = vr().cutSurface;
  ASSERT_GT(cut.polyCount, 20);
  ASSERT_EQ(cut.vertexCount % 2, 0);
  double dir[3] = {c[0] - eye[0], c[1] - eye[1], c[2] - eye[2]};
  t_normalize3(dir);
  for (int i = 0; i + 1 < cut.vertexCount; i += 2) {
    double a[3], x[3];
    t_sub3(cut.verts[i + 1], cut.verts[i], a);
    t_cross3(a, dir, x);
    ASSERT_LT(t_length3(x), 1e-6 * (1 + t_length3(a))) << i;
  }
  resetScene();
}

TEST(VisStdMainView, ShiftDragRulerListsMillimetresOfTheAnisotropicPitch) {
  resetScene();
  TDlgVisParam::getInst().setPitch(2, 1, 1);  // 128 x 64 x 64 mm: box (10, 5, 5)
  TCore::getInst().setMode(0);
  CKestrinView* v = g_env->view;
  v->grabFramebuffer();
  const double* e = vr().extent;
  ASSERT_DOUBLE_EQ(e[0], 10);
  ASSERT_DOUBLE_EQ(e[1], 5);
  // On the XY plane (z = 1): from (3, 1.5) to (8, 4).
  const double z = e[2] * vr().slicePos[2];
  const QPoint a = project(v->togl, 3, 1.5, z), b = project(v->togl, 8, 4, z);
  const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
  mouse(v, QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton, shift);
  EXPECT_TRUE(StateVisStd::getInst().isDraggingRuler());
  mouse(v, QEvent::MouseMove, (a + b) / 2, Qt::NoButton, Qt::LeftButton, shift);
  mouse(v, QEvent::MouseMove, b, Qt::NoButton, Qt::LeftButton, shift);
  mouse(v, QEvent::MouseButtonRelease, b, Qt::LeftButton, Qt::NoButton, shift);
  StateVisStd& mode = StateVisStd::getInst();
  ASSERT_EQ(mode.rulers.size(), 1u);
  // The ends lie on the plane.
  EXPECT_NEAR(mode.rulers[0][2] * e[2], z, 1e-9);
  EXPECT_NEAR(mode.rulers[0][5] * e[2], z, 1e-9);
  // World units to millimetres: 128 mm over 10 units on every axis.
  double world = 0;
  for (int k = 0; k < 3; ++k) world += std::pow((mode.rulers[0][3 + k] - mode.rulers[0][k]) * e[k], 2);
  world = std::sqrt(world);
  QListWidget* list = mode.rulerPanel()->rulerList();
  ASSERT_EQ(list->count(), 1);
  const QString text = list->item(0)->text();
  ASSERT_TRUE(text.startsWith("ruler 0  : ")) << text.toStdString();
  const double mm = text.mid(11).toDouble();
  EXPECT_NEAR(mm, world * 12.8, 1e-3);
  EXPECT_NEAR(mm, std::hypot(5 * 12.8, 2.5 * 12.8), 1.5);
  // A second ruler goes first and is selected.
  mouse(v, QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton, shift);
  mouse(v, QEvent::MouseButtonRelease, a, Qt::LeftButton, Qt::NoButton, shift);
  EXPECT_EQ(list->count(), 2);
  EXPECT_EQ(mode.selectedRuler, 0);
  EXPECT_TRUE(list->item(1)->text().startsWith("ruler 1  : "));
  resetScene();
}

TEST(VisStdMainView, ModesDrawWithTheirProgramsAndRegion255Shows) {
  resetScene();
  CKestrinView* v = g_env->view;
  QImage img[4];
  for (int m = 0; m < 4; ++m) {
    TCore::getInst().setMode(m);
    EXPECT_EQ(TDlgVisParam::getInst().getVolumeMode(), StateVisStd::volumeModeFor(m));
    img[m] = v->grabFramebuffer();
  }
  EXPECT_GT(differingPixels(img[0], img[1]), 100);
  EXPECT_GT(differingPixels(img[0], img[3]), 100);
  EXPECT_TRUE(vr().shaderVisI.isInitialised());
  EXPECT_TRUE(vr().shaderVisIG.isInitialised());
  EXPECT_TRUE(vr().shaderVisIG2D.isInitialised());
  EXPECT_TRUE(vr().shaderVisMask.isInitialised());
  // Region 255 shown by its surface: a red sphere at the centre of a transparent volume.
  TMaskIdInfo& rec = TMaskIdTable::getInst().records[255];
  rec.surface.initSphere(0.1);
  for (TVec3& p : rec.surface.verts) p = TVec3(p[0] + 0.5, p[1] + 0.5, p[2] + 0.5);
  rec.color = 0x0000ff;
  rec.alpha = 255;
  rec.polygonRendering = 1;
  QSlider* tp = TDlgVisParam::getInst().transparencySlider();
  const int tp0 = tp->value();
  tp->setValue(0);
  TDlgVisParam::getInst().planeCheck(0)->setChecked(false);
  TDlgVisParam::getInst().planeCheck(1)->setChecked(false);
  TDlgVisParam::getInst().planeCheck(2)->setChecked(false);
  const QImage sphere = v->grabFramebuffer();
  const QRgb centre = sphere.pixel(v->width() / 2, v->height() / 2);
  EXPECT_GT(qRed(centre), 100);
  EXPECT_LT(qGreen(centre), qRed(centre) / 3);
  rec.polygonRendering = 0;
  rec.surface.clear();
  tp->setValue(tp0);
  resetScene();
}

TEST(VisStdMainView, PanesComeBackAfterAModeThatHidThem) {
  resetScene();
  ASSERT_NE(t_modeViewHost(), nullptr);
  t_modeViewHost()->hideSlicePanes();
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(pane(i)->isVisible());
  TCore::getInst().setMode(4);
  TCore::getInst().setMode(1);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(pane(i)->isVisible()) << i;
  resetScene();
}

TEST(VisStdMainView, SpaceReleasedElsewhereDoesNotStayHeld) {
  resetScene();
  CKestrinView* v = g_env->view;
  key(v, QEvent::KeyPress, Qt::Key_Space);
  EXPECT_TRUE(t_spaceHeld());
  // Repeats of the held key do not release it.
  QKeyEvent rel(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(v, &rel);
  EXPECT_TRUE(t_spaceHeld());
  QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
  QApplication::sendEvent(v, &out);
  EXPECT_FALSE(t_spaceHeld());
  // A pane sets the same state.
  key(pane(0)->view(), QEvent::KeyPress, Qt::Key_Space);
  EXPECT_TRUE(t_spaceHeld());
  key(pane(0)->view(), QEvent::KeyRelease, Qt::Key_Space);
  EXPECT_FALSE(t_spaceHeld());
}
