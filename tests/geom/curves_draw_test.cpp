// Drawing of cached spheres, tubes and polylines, checked by reading the framebuffer back.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>

#include "curves_gl_context.h"
#include "geom/Tstroke3D.h"
#include "geom/Tstroke3D_tube.h"
#include "geom/sphere_cache_gl.h"

namespace {

using Pixel = std::array<int, 3>;

class CurvesDraw : public testing::Test {
 protected:
  static void TearDownTestSuite() { t_curvesReleaseGLContext(); }
  void SetUp() override {
    ASSERT_TRUE(t_curvesMakeGLContext());
    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  // The pixel at (x, y) in [-1, 1] view coordinates.
  static Pixel at(double x, double y) {
    glFinish();
    unsigned char p[4] = {0, 0, 0, 0};
    const int px = int((x + 1) * 32), py = int((y + 1) * 32);
    glReadPixels(std::min(px, 63), std::min(py, 63), 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
  }
  static bool black(const Pixel& p) { return p[0] < 8 && p[1] < 8 && p[2] < 8; }
  static void light() {
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const GLfloat dir[4] = {0, 0, 1, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, dir);
    glEnable(GL_NORMALIZE);
  }
};

TEST_F(CurvesDraw, PlainSphereCoversItsDiscInTheCurrentColourAndKeepsTheMatrix) {
  double before[16], after[16];
  glTranslated(0.1, 0.0, 0.0);
  glGetDoublev(GL_MODELVIEW_MATRIX, before);
  glColor3f(1, 0, 0);
  const double c[3] = {-0.1, 0.2, 0.0};  // at (0, 0.2) on screen
  t_drawSphere(0.5, c);
  glGetDoublev(GL_MODELVIEW_MATRIX, after);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]);
  const Pixel in = at(0.0, 0.2), edgeIn = at(0.38, 0.2), out = at(0.62, 0.2), below = at(0.0, -0.4);
  EXPECT_GT(in[0], 200);
  EXPECT_LT(in[2], 20);
  EXPECT_GT(edgeIn[0], 200);
  EXPECT_TRUE(black(out));
  EXPECT_TRUE(black(below));
  // A second call reuses the sphere: same picture elsewhere.
  const double c2[3] = {-0.6, -0.6, 0.0};
  t_drawSphere(0.2, c2);
  EXPECT_GT(at(-0.5, -0.6)[0], 200);
  // Radius 0 draws nothing visible.
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  t_drawSphere(0.0, c);
  EXPECT_TRUE(black(at(0.0, 0.2)));
}

TEST_F(CurvesDraw, SpheresAtPointsAreShadedBlue) {
  light();
  const TPoints pts = {{-0.5, 0.0, 0.0}, {0.5, 0.0, 0.0}};
  t_drawSpheresAtPoints(0.3, pts);
  for (const TVec3& p : pts) {
    const Pixel c = at(p[0], p[1]);
    EXPECT_GT(c[2], 100) << "blue at the sphere's centre";
    EXPECT_GT(c[2], c[0]);
  }
  EXPECT_TRUE(black(at(0.0, 0.0)));
  EXPECT_TRUE(black(at(-0.5, 0.5)));
  // The material stays set.
  GLfloat diffuse[4];
  glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
  EXPECT_FLOAT_EQ(diffuse[2], 1.0f);
  EXPECT_FLOAT_EQ(diffuse[3], 0.5f);
  // No points: only the material.
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  t_drawSpheresAtPoints(0.3, {});
  EXPECT_TRUE(black(at(-0.5, 0.0)));
}

TEST_F(CurvesDraw, TubeIsLitAlongItsAxisAndPolylineFollowsThePoints) {
  light();
  const GLfloat white[4] = {1, 1, 1, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
  Tstroke3D_tube tube(0.2);
  tube.points = {{-0.8, 0.0, 0.0}, {0.0, 0.0, 0.0}, {0.8, 0.0, 0.0}};
  tube.updateTube();
  tube.drawTube();
  EXPECT_GT(at(0.0, 0.05)[0], 60);
  EXPECT_GT(at(-0.6, -0.1)[0], 30);
  EXPECT_TRUE(black(at(0.0, 0.35)));
  EXPECT_TRUE(black(at(0.9, 0.0)));

  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_LIGHTING);
  glColor3f(0, 1, 0);
  Tstroke3D square;
  square.points = {{-0.5, -0.5, 0}, {0.5, -0.5, 0}, {0.5, 0.5, 0}, {-0.5, 0.5, 0}};
  square.drawPolyline(3.0f);
  EXPECT_GT(at(0.0, -0.5)[1], 200);
  EXPECT_TRUE(black(at(-0.5, 0.0)));  // open: no segment back to the first point
  square.closed = true;
  square.drawPolyline(3.0f);
  EXPECT_GT(at(-0.5, 0.0)[1], 200);
  EXPECT_TRUE(black(at(0.0, 0.0)));
}

}  // namespace
