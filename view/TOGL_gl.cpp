// GL side of TOGL: default state, projections and picking.  GLEW comes first here and no Qt
// OpenGL header is included with it.
#include <GL/glew.h>
#include <GL/glu.h>

#include <cmath>

#include "view/TOGL.h"

namespace {
void normalize(double a[3]) {
  const double l = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
  if (l > 0) a[0] /= l, a[1] /= l, a[2] /= l;
}
}  // namespace

bool TOGL::initGLFunctions() {
  glewExperimental = GL_TRUE;
  const GLenum r = glewInit();
  // Under an EGL integration GLEW reports that it found no GLX display although every entry point
  // it loaded works; only other errors mean there is nothing to draw with.
  if (r != GLEW_OK && r != GLEW_ERROR_NO_GLX_DISPLAY) return false;
  glGetError();  // GLEW may leave GL_INVALID_ENUM behind
  return glGetString(GL_VERSION) != nullptr;
}

void TOGL::setDefaultGLState() {
  glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
  glClearDepth(1.0);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  const GLfloat spec[4] = {0, 0, 0.05f, 1}, diff[4] = {0.5f, 0.5f, 0.5f, 1},
                amb[4] = {0.3f, 0.3f, 0.3f, 1};
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, spec);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diff);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, amb);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 1.5f);

  const GLfloat a0[4] = {0.15f, 0.15f, 0.15f, 1}, d0[4] = {1, 1, 1, 1}, s0[4] = {0.3f, 0.3f, 0.3f, 1};
  const GLfloat a1[4] = {0, 0, 0, 1}, d1[4] = {0.4f, 0.4f, 0.4f, 1}, s1[4] = {0.1f, 0.1f, 0.1f, 1};
  const GLfloat a2[4] = {0, 0, 0, 1}, d2[4] = {0.3f, 0.3f, 0.3f, 1}, s2[4] = {0, 0, 0, 1};
  glLightfv(GL_LIGHT0, GL_AMBIENT, a0);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, d0);
  glLightfv(GL_LIGHT0, GL_SPECULAR, s0);
  glLightfv(GL_LIGHT1, GL_AMBIENT, a1);
  glLightfv(GL_LIGHT1, GL_DIFFUSE, d1);
  glLightfv(GL_LIGHT1, GL_SPECULAR, s1);
  glLightfv(GL_LIGHT2, GL_AMBIENT, a2);
  glLightfv(GL_LIGHT2, GL_DIFFUSE, d2);
  glLightfv(GL_LIGHT2, GL_SPECULAR, s2);

  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glShadeModel(GL_SMOOTH);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glCullFace(GL_BACK);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_CULL_FACE);

  for (int i = 0; i < 3; ++i) {
    eye[i] = defaultEye[i];
    center[i] = defaultCenter[i];
    up[i] = defaultUp[i];
  }
}

// kind 0 perspective, 1 parallel, 2 pixel-exact parallel.
void TOGL::beginFrame(int kind, const double* offset, double scale, double zNear, double zFar) {
  m_inFrame = true;
  makeCurrent();
  if (!m_hasContext) return;
  t_setFramePixelRatio(pixelRatio());
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  if (kind == 0) {
    gluPerspective(45.0, double(width) / double(height), zNear, zFar);
  } else if (kind == 1) {
    double b[4];
    orthoBounds(b);
    glOrtho(b[0], b[1], b[2], b[3], zNear, zFar);
  } else {
    const int hw = width / 2, hh = height / 2;
    glOrtho(-hw, hw, -hh, hh, zNear, zFar);
  }
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(eye[0], eye[1], eye[2], center[0], center[1], center[2], up[0], up[1], up[2]);
  if (kind == 2) {
    glTranslated(offset[0], offset[1], offset[2]);
    glScaled(scale, scale, scale);
  }
  glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
  // No accumulation buffer exists in the widget's framebuffer.
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void TOGL::setPerspective(double zNear, double zFar) { beginFrame(0, nullptr, 1, zNear, zFar); }
void TOGL::setOrtho(double zNear, double zFar) { beginFrame(1, nullptr, 1, zNear, zFar); }
void TOGL::setOrtho2D(const double offset[3], double scale, double zNear, double zFar) {
  beginFrame(2, offset, scale, zNear, zFar);
}

void TOGL::readMatrices(double mv[16], double proj[16], int vp[4]) {
  if (!m_hasContext) {
    for (int i = 0; i < 16; ++i) mv[i] = proj[i] = (i % 5 == 0) ? 1 : 0;
    vp[0] = vp[1] = 0, vp[2] = width, vp[3] = height;
    return;
  }
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, proj);
  glGetIntegerv(GL_VIEWPORT, vp);
}

void TOGL::getCursorRay(int x, int y, double origin[3], double dir[3]) {
  TGLCurrentGuard guard(this);
  double mv[16], pr[16];
  int vp[4];
  readMatrices(mv, pr, vp);
  const double r = pixelRatio();
  const double wx = x * r, wy = vp[3] - y * r;
  double p2[3];
  gluUnProject(wx, wy, 0.0, mv, pr, vp, &origin[0], &origin[1], &origin[2]);
  gluUnProject(wx, wy, 0.2, mv, pr, vp, &p2[0], &p2[1], &p2[2]);
  for (int i = 0; i < 3; ++i) dir[i] = p2[i] - origin[i];
  normalize(dir);
}

void TOGL::unProject(double x, double y, float depth, double out[3]) {
  TGLCurrentGuard guard(this);
  double mv[16], pr[16];
  int vp[4];
  readMatrices(mv, pr, vp);
  const double r = pixelRatio();
  gluUnProject(x * r, vp[3] - y * r, depth, mv, pr, vp, &out[0], &out[1], &out[2]);
}

double TOGL::unProjectIdentity() {
  TGLCurrentGuard guard(this);
  double mv[16], pr[16];
  int vp[4];
  readMatrices(mv, pr, vp);
  for (int i = 0; i < 16; ++i) mv[i] = (i % 5 == 0) ? 1 : 0;
  double o[3];
  gluUnProject(vp[2] / 2.0, vp[3] / 2.0, 0.0001, mv, pr, vp, &o[0], &o[1], &o[2]);
  return std::fabs(o[2]);
}

void TOGL::projectPoints(int n, const double (*pts)[3], std::vector<Vec3>& out, TOGL& ogl) {
  out.resize(n > 0 ? n : 0);
  TGLCurrentGuard guard(&ogl);
  double mv[16], pr[16];
  int vp[4];
  ogl.readMatrices(mv, pr, vp);
  const double r = ogl.pixelRatio();
  for (int i = 0; i < n; ++i) {
    double w[3];
    gluProject(pts[i][0], pts[i][1], pts[i][2], mv, pr, vp, &w[0], &w[1], &w[2]);
    out[i] = {w[0] / r, (vp[3] - w[1]) / r, w[2]};
  }
}

void TOGL::projectPoint(const std::vector<Vec3>& in, std::vector<Vec3>& out, TOGL& ogl) {
  std::vector<double> flat(in.size() * 3);
  for (size_t i = 0; i < in.size(); ++i)
    for (int k = 0; k < 3; ++k) flat[3 * i + k] = in[i][k];
  projectPoints(int(in.size()), reinterpret_cast<const double(*)[3]>(flat.data()), out, ogl);
}

void TOGL::drawScreenOverlay(QPoint p, double r) {
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  double mv[16], pr[16];
  int vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  const double s = t_framePixelRatio();
  double c[3];
  gluUnProject(p.x() * s, vp[3] - p.y() * s, 0.0001, mv, pr, vp, &c[0], &c[1], &c[2]);
  glBegin(GL_LINE_STRIP);
  for (int i = 0; i < 30; ++i) {
    const double th = i * 2 * M_PI / 29;
    glVertex3d(c[0] + r * std::cos(th), c[1] + r * std::sin(th), c[2]);
  }
  glEnd();
  glPopMatrix();
}
