// TOGL's camera drags, projections and picking rules that need no GL context.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <cmath>

#include "view/TOGL.h"

namespace {

int argc_ = 1;
char arg0_[] = "render_camera_test";
char* argv_[] = {arg0_, nullptr};

QApplication& app() {
  static QApplication a(argc_, argv_);
  return a;
}

// The widgets of the fixtures need the application before they are constructed.
class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app(); }
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

double dist(const double a[3], const double b[3]) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                   (a[2] - b[2]) * (a[2] - b[2]));
}

// A TOGL that counts how often it makes its context current and releases it.
class CountingTOGL : public TOGL {
 public:
  int made = 0, done = 0;
  void makeCurrent() override { ++made; }
  void doneCurrent() override { ++done; }
};

class RenderCamera : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    w.resize(400, 300);
    ogl.wnd = &w;
    ogl.resize(400, 300);
    const double e[3] = {0, 0, 10}, c[3] = {0, 0, 0}, u[3] = {0, 1, 0};
    for (int i = 0; i < 3; ++i) ogl.eye[i] = e[i], ogl.center[i] = c[i], ogl.up[i] = u[i];
  }
  void TearDown() override { ogl.releaseCapture(); }
  QWidget w;
  TOGL ogl;
};

}  // namespace

TEST_F(RenderCamera, ResizeToZeroKeepsSize) {
  ogl.resize(0, 0);
  EXPECT_EQ(ogl.width, 400);
  EXPECT_EQ(ogl.height, 300);
  ogl.resize(0, 50);
  EXPECT_EQ(ogl.width, 400);
  ogl.resize(1, 1);
  EXPECT_EQ(ogl.width, 1);
  EXPECT_EQ(ogl.height, 1);
}

TEST_F(RenderCamera, DragZones) {
  ogl.btnDownRotate(QPoint(10, 150));
  EXPECT_EQ(ogl.dragMode, TOGL::DragDolly);
  ogl.btnDownTranslate(QPoint(10, 150));
  EXPECT_EQ(ogl.dragMode, TOGL::DragDolly);
  ogl.btnDownTranslate(QPoint(10, 10));  // corner: left/right test first
  EXPECT_EQ(ogl.dragMode, TOGL::DragDolly);
  ogl.btnDownTranslate(QPoint(375, 150));  // x > right - 30
  EXPECT_EQ(ogl.dragMode, TOGL::DragDolly);
  ogl.btnDownTranslate(QPoint(370, 150));  // x == right - 30: not a border
  EXPECT_EQ(ogl.dragMode, TOGL::DragPan);
  ogl.btnDownRotate(QPoint(200, 20));
  EXPECT_EQ(ogl.dragMode, TOGL::DragRoll);
  ogl.btnDownRotate(QPoint(200, 275));
  EXPECT_EQ(ogl.dragMode, TOGL::DragRoll);
  ogl.btnDownRotate(QPoint(200, 150));
  EXPECT_EQ(ogl.dragMode, TOGL::DragRotate);
  EXPECT_EQ(TOGL::captureWindow(), &w);
  EXPECT_EQ(ogl.lastMouse, QPoint(200, 150));
}

TEST_F(RenderCamera, DollyStopsShortOfCentre) {
  ogl.btnDownTranslate(QPoint(5, 100));
  ASSERT_EQ(ogl.dragMode, TOGL::DragDolly);
  // Dragging down moves the eye towards the centre by dist/80 per pixel.
  EXPECT_TRUE(ogl.mouseMove(QPoint(5, 108)));
  EXPECT_NEAR(ogl.eye[2], 10 - 10.0 / 80 * 8, 1e-12);
  // A step that would end within 0.02 of the centre is ignored; the drag goes on.
  const double before = ogl.eye[2];
  EXPECT_TRUE(ogl.mouseMove(QPoint(5, 108 + 80)));
  EXPECT_DOUBLE_EQ(ogl.eye[2], before);
  EXPECT_EQ(ogl.lastMouse, QPoint(5, 188));
  EXPECT_TRUE(ogl.mouseMove(QPoint(5, 180)));  // back up: moves away again
  EXPECT_GT(ogl.eye[2], before);

  // One long step (merged moves) would pass through the centre and look at the volume from
  // behind: ignored as well.
  const double far = ogl.eye[2];
  EXPECT_TRUE(ogl.mouseMove(QPoint(5, 180 + 120)));
  EXPECT_DOUBLE_EQ(ogl.eye[2], far);
  EXPECT_TRUE(ogl.mouseMove(QPoint(5, 300 + 40)));  // half the distance: still taken
  EXPECT_NEAR(ogl.eye[2], far / 2, 1e-12);
}

TEST_F(RenderCamera, MoveWithoutCaptureChangesNothing) {
  QWidget other;
  TOGL otherOgl;
  otherOgl.wnd = &other;
  ogl.btnDownRotate(QPoint(200, 150));
  otherOgl.setCapture();  // another window takes the capture
  const double e[3] = {ogl.eye[0], ogl.eye[1], ogl.eye[2]};
  EXPECT_FALSE(ogl.mouseMove(QPoint(250, 170)));
  EXPECT_EQ(dist(e, ogl.eye), 0.0);
  EXPECT_EQ(ogl.lastMouse, QPoint(200, 150));
  // Releasing from a window that does not hold the capture leaves it alone.
  ogl.releaseCapture();
  EXPECT_EQ(TOGL::captureWindow(), &other);
  otherOgl.releaseCapture();
  EXPECT_EQ(TOGL::captureWindow(), nullptr);
  // No drag: nothing either.
  ogl.dragMode = TOGL::DragNone;
  ogl.setCapture();
  EXPECT_FALSE(ogl.mouseMove(QPoint(1, 1)));
}

TEST_F(RenderCamera, OrbitRollAndPan) {
  // Orbit: a = -dx/200 about up.  dx = -100*pi: a quarter turn about +y takes the eye to +x.
  ogl.rotateCamera(M_PI / 2, 0);
  EXPECT_NEAR(ogl.eye[0], 10, 1e-9);
  EXPECT_NEAR(ogl.eye[2], 0, 1e-9);
  EXPECT_NEAR(ogl.up[1], 1, 1e-12);
  // Then about the side axis (centre - eye) x up = (-1,0,0) x (0,1,0) = (0,0,-1): the eye
  // goes down in y and up turns too.
  ogl.rotateCamera(0, M_PI / 2);
  EXPECT_NEAR(ogl.eye[1], -10, 1e-9);
  EXPECT_NEAR(dist(ogl.eye, ogl.center), 10, 1e-9);
  EXPECT_NEAR(ogl.up[0], 1, 1e-9);

  SetUp();
  ogl.btnDownRotate(QPoint(200, 20));  // roll band
  ASSERT_TRUE(ogl.mouseMove(QPoint(200 + 100, 20)));
  // up turned by 0.5 rad about the forward axis (0,0,-1).
  EXPECT_NEAR(ogl.up[0], std::sin(0.5), 1e-12);
  EXPECT_NEAR(ogl.up[1], std::cos(0.5), 1e-12);

  SetUp();
  ogl.btnDownTranslate(QPoint(200, 150));
  ASSERT_TRUE(ogl.mouseMove(QPoint(290, 150)));
  // s = normalize((eye - centre) x up) = -x; t = |e|/900 * dx * s: the camera moves left, so the
  // scene follows the mouse to the right.
  EXPECT_NEAR(ogl.eye[0], -1.0, 1e-12);
  EXPECT_NEAR(ogl.center[0], -1.0, 1e-12);
  EXPECT_NEAR(ogl.eye[2], 10, 1e-12);
}

TEST_F(RenderCamera, ParallelProjectionBounds) {
  ogl.resize(800, 400);
  ogl.eye[2] = 20;
  double b[4];
  ogl.orthoBounds(b);
  EXPECT_DOUBLE_EQ(b[0], -14);
  EXPECT_DOUBLE_EQ(b[1], 14);
  EXPECT_DOUBLE_EQ(b[2], -7);
  EXPECT_DOUBLE_EQ(b[3], 7);
  ogl.resize(400, 800);
  ogl.orthoBounds(b);
  EXPECT_DOUBLE_EQ(b[0], -7);
  EXPECT_DOUBLE_EQ(b[1], 7);
  EXPECT_DOUBLE_EQ(b[2], -14);
  EXPECT_DOUBLE_EQ(b[3], 14);
}

TEST_F(RenderCamera, PickingInsideFrameKeepsContext) {
  CountingTOGL c;
  c.wnd = &w;
  c.resize(400, 300);
  double o[3], d[3];
  // Outside a frame each picking call makes the context current and releases it.
  c.getCursorRay(10, 10, o, d);
  EXPECT_EQ(c.made, 1);
  EXPECT_EQ(c.done, 1);
  c.unProject(1, 2, 0.5f, o);
  std::vector<TOGL::Vec3> out;
  TOGL::projectPoint({{1, 2, 3}, {4, 5, 6}}, out, c);
  EXPECT_EQ(out.size(), 2u);
  EXPECT_EQ(c.made, 3);
  EXPECT_EQ(c.done, 3);
  // Inside a frame they use whatever is current.
  c.setPerspective(0.02, 300);
  ASSERT_TRUE(c.inFrame());
  const int made = c.made;
  c.getCursorRay(10, 10, o, d);
  c.unProject(1, 2, 0.5f, o);
  c.unProjectIdentity();
  TOGL::projectPoints(0, nullptr, out, c);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(c.made, made);
  EXPECT_EQ(c.done, 3);
  c.endFrame();
  EXPECT_FALSE(c.inFrame());
}

TEST(RenderStroke, ProjectToPlane) {
  const double p[3] = {1, 2, 3}, d[3] = {0, 0, -1}, q[3] = {0, 0, 1}, n[3] = {0, 0, 2};
  double out[3];
  t_projectStrokeToPlane(p, d, q, n, out);
  EXPECT_DOUBLE_EQ(out[0], 1);
  EXPECT_DOUBLE_EQ(out[1], 2);
  EXPECT_DOUBLE_EQ(out[2], 1);
  const double par[3] = {1, 0, 0};
  double bad[3] = {9, 9, 9};
  t_projectStrokeToPlane(p, par, q, n, bad);
  EXPECT_EQ(bad[0], 0);
  EXPECT_EQ(bad[1], 0);
  EXPECT_EQ(bad[2], 0);
}
