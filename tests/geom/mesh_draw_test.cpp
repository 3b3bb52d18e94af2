// Drawing of TTriangleMesh into an offscreen framebuffer (needs an X display: Xvfb).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>

#include <GL/gl.h>

#include <memory>
#include <vector>

#include "geom/TTriangleMesh.h"

namespace {

class MeshDrawTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_geom_mesh_gl";
    static char* argv[] = {name, nullptr};
    QSurfaceFormat fmt;
    fmt.setProfile(QSurfaceFormat::CompatibilityProfile);
    fmt.setOption(QSurfaceFormat::DeprecatedFunctions);
    QSurfaceFormat::setDefaultFormat(fmt);
    app_ = new QGuiApplication(argc, argv);
  }

  void SetUp() override {
    surface_ = std::make_unique<QOffscreenSurface>();
    surface_->create();
    context_ = std::make_unique<QOpenGLContext>();
    if (!context_->create() || !context_->makeCurrent(surface_.get())) GTEST_SKIP() << "no OpenGL context";
    fbo_ = std::make_unique<QOpenGLFramebufferObject>(64, 64, QOpenGLFramebufferObject::Depth);
    fbo_->bind();
    glViewport(0, 0, 64, 64);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2, 2, -2, 2, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
  }

  void TearDown() override {
    if (fbo_) fbo_->release();
    fbo_.reset();
    if (context_) context_->doneCurrent();
  }

  static std::vector<unsigned char> pixel(int x, int y) {
    std::vector<unsigned char> p(4);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return p;
  }

  static QGuiApplication* app_;
  std::unique_ptr<QOffscreenSurface> surface_;
  std::unique_ptr<QOpenGLContext> context_;
  std::unique_ptr<QOpenGLFramebufferObject> fbo_;
};

QGuiApplication* MeshDrawTest::app_ = nullptr;

TEST_F(MeshDrawTest, BoxCoversTheCentreOnly) {
  TTriangleMesh box;
  box.initBox(2, 2, 2);
  const double shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -1, -1, -1, 1};
  box.transform(shift);  // centred on the origin, covering [-1, 1]^2 of the 4 x 4 view
  glColor3f(1, 0, 0);
  box.draw();
  glFinish();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  const auto c = pixel(32, 32);
  EXPECT_EQ(c[0], 255);
  EXPECT_EQ(c[1], 0);
  const auto corner = pixel(2, 2);
  EXPECT_EQ(corner[0], 0);

  // Edges only: the centre of a face stays dark, a point on an edge line is lit.
  glClear(GL_COLOR_BUFFER_BIT);
  glColor3f(0, 1, 0);
  box.drawEdges();
  glFinish();
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_EQ(pixel(40, 24)[1], 0);
  int lit = 0;
  for (int x = 14; x <= 18; ++x) lit += pixel(x, 40)[1] > 0;  // the vertical edge at x = -1
  EXPECT_GT(lit, 0);
}

TEST_F(MeshDrawTest, TextureCoordinatesAndFlippedOrder) {
  TTriangleMesh tri;
  tri.initFromVertsPolys({{0, 0, 0}, {0.5, 0, 0}, {0.5, 0.25, 0.125}}, {{0, 1, 2}});  // inside the view
  std::vector<GLfloat> buf(256);
  glFeedbackBuffer(static_cast<GLsizei>(buf.size()), GL_4D_COLOR_TEXTURE, buf.data());
  glRenderMode(GL_FEEDBACK);
  tri.drawTexCoord(0.5, 0.25, 0.125);
  tri.drawTexCoordFlipped(0.5, 0.25, 0.125);
  const GLint n = glRenderMode(GL_RENDER);
  // Each polygon: token, count, then per vertex x y z w, r g b a, s t r q.
  ASSERT_GE(n, 2 * (2 + 3 * 12));
  auto texOf = [&](int poly, int vert) { return &buf[poly * 38 + 2 + vert * 12 + 8]; };
  EXPECT_EQ(buf[0], GL_POLYGON_TOKEN);
  const GLfloat* t2 = texOf(0, 2);
  EXPECT_FLOAT_EQ(t2[0], 1.0f);
  EXPECT_FLOAT_EQ(t2[1], 1.0f);
  EXPECT_FLOAT_EQ(t2[2], 1.0f);
  const GLfloat* t1 = texOf(0, 1);
  EXPECT_FLOAT_EQ(t1[0], 1.0f);
  EXPECT_FLOAT_EQ(t1[1], 0.0f);
  // The flipped draw sends corner 2 second.
  const GLfloat* f1 = texOf(1, 1);
  EXPECT_FLOAT_EQ(f1[2], 1.0f);
}

}  // namespace
