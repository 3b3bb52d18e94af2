// Qt side of TOGL: the widget's context, mouse capture and the camera drags (plain arithmetic).
#include "view/TOGL.h"

#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPointer>
#include <QSurfaceFormat>
#include <cmath>
#include <cstdio>

namespace {

QPointer<QWidget> g_capture;
TOGL* g_mainTOGL = nullptr;

double dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double len3(const double a[3]) { return std::sqrt(dot3(a, a)); }
void cross3(const double a[3], const double b[3], double o[3]) {
  const double r[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                       a[0] * b[1] - a[1] * b[0]};
  o[0] = r[0], o[1] = r[1], o[2] = r[2];
}
void normalize3(double a[3]) {
  const double l = len3(a);
  if (l > 0) a[0] /= l, a[1] /= l, a[2] /= l;
}

// Right-handed rotation about an axis (normalised here); the identity for a zero axis.
void rotMat(const double axisIn[3], double angle, double m[9]) {
  double a[3] = {axisIn[0], axisIn[1], axisIn[2]};
  const double l = len3(a);
  if (l == 0) {
    for (int i = 0; i < 9; ++i) m[i] = (i % 4 == 0) ? 1 : 0;
    return;
  }
  a[0] /= l, a[1] /= l, a[2] /= l;
  const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
  const double x = a[0], y = a[1], z = a[2];
  m[0] = t * x * x + c;     m[1] = t * x * y - s * z; m[2] = t * x * z + s * y;
  m[3] = t * x * y + s * z; m[4] = t * y * y + c;     m[5] = t * y * z - s * x;
  m[6] = t * x * z - s * y; m[7] = t * y * z + s * x; m[8] = t * z * z + c;
}
void mulMV(const double m[9], const double v[3], double o[3]) {
  const double r[3] = {m[0] * v[0] + m[1] * v[1] + m[2] * v[2],
                       m[3] * v[0] + m[4] * v[1] + m[5] * v[2],
                       m[6] * v[0] + m[7] * v[1] + m[8] * v[2]};
  o[0] = r[0], o[1] = r[1], o[2] = r[2];
}
void mulMM(const double a[9], const double b[9], double o[9]) {
  double r[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
  for (int i = 0; i < 9; ++i) o[i] = r[i];
}

}  // namespace

TOGL::TOGL() = default;

void t_setMainTOGL(TOGL* ogl) { g_mainTOGL = ogl; }
TOGL* t_mainTOGL() { return g_mainTOGL; }

bool TOGL::createContext(QWidget* w) {
  wnd = w;
  m_hasContext = false;
  auto* gw = qobject_cast<QOpenGLWidget*>(w);
  if (!gw) return false;
  QOpenGLContext* ctx = gw->context();
  if (!ctx || !ctx->isValid()) return false;
  // Everything here draws in immediate mode; a core profile would refuse it.
  if (ctx->format().profile() == QSurfaceFormat::CoreProfile) return false;
  gw->makeCurrent();
  if (!initGLFunctions()) return false;
  m_hasContext = true;
  setDefaultGLState();
  return true;
}

void TOGL::destroyContext() {
  if (!m_hasContext) return;
  m_hasContext = false;
  if (auto* gw = qobject_cast<QOpenGLWidget*>(wnd)) gw->doneCurrent();
}

void TOGL::resize(int cx, int cy) {
  if (cx < 1 || cy < 1) return;
  width = cx;
  height = cy;
}

void TOGL::fitToWindow() {
  if (!wnd) return;
  const double r = pixelRatio();
  resize(qRound(wnd->width() * r), qRound(wnd->height() * r));
}

double TOGL::pixelRatio() const {
  const double r = wnd ? wnd->devicePixelRatioF() : 1.0;
  return r > 0 ? r : 1.0;
}

void TOGL::makeCurrent() {
  if (!m_hasContext) return;
  if (auto* gw = qobject_cast<QOpenGLWidget*>(wnd)) gw->makeCurrent();
}

void TOGL::doneCurrent() {
  if (!m_hasContext) return;
  if (auto* gw = qobject_cast<QOpenGLWidget*>(wnd)) gw->doneCurrent();
}

void TOGL::orthoBounds(double out[4]) const {
  const double e[3] = {eye[0] - center[0], eye[1] - center[1], eye[2] - center[2]};
  const double s = 0.35 * len3(e);
  const double w = width, h = height;
  if (width > height) {
    out[0] = -s * w / h, out[1] = s * w / h, out[2] = -s, out[3] = s;
  } else {
    out[0] = -s, out[1] = s, out[2] = -s * h / w, out[3] = s * h / w;
  }
}

void TOGL::setCapture() { g_capture = wnd; }

void TOGL::releaseCapture() {
  if (wnd && g_capture.data() == wnd) g_capture = nullptr;
}

bool TOGL::hasCapture() const { return wnd && g_capture.data() == wnd; }

QWidget* TOGL::captureWindow() { return g_capture.data(); }

void TOGL::startDrag(QPoint p, int centreKind) {
  lastMouse = p;
  setCapture();
  const int right = wnd ? wnd->width() : width;
  const int bottom = wnd ? wnd->height() : height;
  if (p.x() < 30 || p.x() > right - 30)
    dragMode = DragDolly;
  else if (p.y() < 30 || p.y() > bottom - 30)
    dragMode = DragRoll;
  else
    dragMode = centreKind;
}

void TOGL::btnDownTranslate(QPoint p) { startDrag(p, DragPan); }
void TOGL::btnDownRotate(QPoint p) { startDrag(p, DragRotate); }

bool TOGL::mouseMove(QPoint p) {
  if (dragMode == DragNone || !wnd || captureWindow() != wnd) return false;
  const double dx = p.x() - lastMouse.x();
  const double dy = p.y() - lastMouse.y();
  switch (dragMode) {
    case DragDolly: {
      double f[3] = {center[0] - eye[0], center[1] - eye[1], center[2] - eye[2]};
      const double dist = len3(f);
      normalize3(f);
      double ne[3];
      for (int i = 0; i < 3; ++i) ne[i] = eye[i] + f[i] * (dist / 80.0) * dy;
      const double r[3] = {ne[0] - center[0], ne[1] - center[1], ne[2] - center[2]};
      // A long step (a fast drag, or moves merged while a slow frame was drawn) could carry the
      // eye through the centre, turning the view round; such a step is ignored like one that
      // ends at the centre.
      const bool stillInFront = dot3(r, f) < 0;
      if (len3(r) > 0.02 && stillInFront)
        for (int i = 0; i < 3; ++i) eye[i] = ne[i];
      break;
    }
    case DragRotate:
      rotateCamera(-dx / 200.0, -dy / 200.0);
      break;
    case DragRoll: {
      double f[3] = {center[0] - eye[0], center[1] - eye[1], center[2] - eye[2]};
      normalize3(f);
      double m[9];
      rotMat(f, 0.005 * dx, m);
      mulMV(m, up, up);
      break;
    }
    case DragPan: {
      const double e[3] = {eye[0] - center[0], eye[1] - center[1], eye[2] - center[2]};
      double s[3];
      cross3(e, up, s);
      normalize3(s);
      const double k = len3(e) / 900.0;
      for (int i = 0; i < 3; ++i) {
        const double t = k * (dx * s[i] + dy * up[i]);
        eye[i] += t;
        center[i] += t;
      }
      break;
    }
    default:
      break;
  }
  lastMouse = p;
  return true;
}

void TOGL::rotateCamera(double a, double b) {
  const double f[3] = {center[0] - eye[0], center[1] - eye[1], center[2] - eye[2]};
  double side[3];
  cross3(f, up, side);
  double ra[9], rb[9], m[9];
  rotMat(up, a, ra);
  rotMat(side, b, rb);
  mulMM(rb, ra, m);
  mulMV(m, up, up);
  const double e[3] = {eye[0] - center[0], eye[1] - center[1], eye[2] - center[2]};
  double r[3];
  mulMV(m, e, r);
  for (int i = 0; i < 3; ++i) eye[i] = center[i] + r[i];
}

void t_projectStrokeToPlane(const double p[3], const double d[3], const double q[3],
                            const double n[3], double out[3]) {
  const double nd = dot3(n, d);
  if (nd == 0) {
    fprintf(stderr, "error , system can't project stroke to plane 3\n");
    out[0] = out[1] = out[2] = 0;
    return;
  }
  const double t = (dot3(n, q) - dot3(n, p)) / nd;
  for (int i = 0; i < 3; ++i) out[i] = p[i] + t * d[i];
}
