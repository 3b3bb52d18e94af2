#include "modes/curve/kernels/TFiberView.h"

#include <cmath>

#include "geom/matrix3.h"
#include "geom/vec3.h"

namespace {

// out = A * x for a column-ordered 4 x 4 matrix.
void mulVec4(const double A[16], const double x[4], double out[4]) {
  for (int r = 0; r < 4; ++r) out[r] = A[r] * x[0] + A[r + 4] * x[1] + A[r + 8] * x[2] + A[r + 12] * x[3];
}

void mul4(const double A[16], const double B[16], double out[16]) {
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      double s = 0.0;
      for (int k = 0; k < 4; ++k) s += A[r + 4 * k] * B[k + 4 * c];
      out[r + 4 * c] = s;
    }
}

}  // namespace

bool TFiberView::project(const double p[3], double out[3]) const {
  const double x[4] = {p[0], p[1], p[2], 1.0};
  double v[4], c[4];
  mulVec4(modelview, x, v);
  mulVec4(projection, v, c);
  if (c[3] == 0.0) return false;
  const double nx = c[0] / c[3], ny = c[1] / c[3], nz = c[2] / c[3];
  const double wx = viewport[0] + viewport[2] * (nx + 1.0) * 0.5;
  const double wy = viewport[1] + viewport[3] * (ny + 1.0) * 0.5;
  out[0] = wx;
  out[1] = viewport[3] - wy;
  out[2] = (nz + 1.0) * 0.5;
  return true;
}

bool TFiberView::unProject(double x, double y, double depth, double out[3]) const {
  double m[16];
  mul4(projection, modelview, m);
  if (!t_inverse4x4(m)) return false;
  if (viewport[2] == 0 || viewport[3] == 0) return false;
  const double wy = viewport[3] - y;
  const double n[4] = {2.0 * (x - viewport[0]) / viewport[2] - 1.0, 2.0 * (wy - viewport[1]) / viewport[3] - 1.0,
                       2.0 * depth - 1.0, 1.0};
  double w[4];
  mulVec4(m, n, w);
  if (w[3] == 0.0) return false;
  for (int k = 0; k < 3; ++k) out[k] = w[k] / w[3];
  return true;
}

void TFiberView::cursorRay(double x, double y, double origin[3], double dir[3]) const {
  double far[3] = {0, 0, 0};
  origin[0] = origin[1] = origin[2] = 0.0;
  unProject(x, y, 0.0, origin);
  unProject(x, y, 0.2, far);
  t_sub3(far, origin, dir);
  t_normalize3(dir);
}

void TFiberView::viewDirection(double d[3]) const {
  t_sub3(center, eye, d);
  if (!t_normalize3(d)) {
    d[0] = 1.0;
    d[1] = d[2] = 0.0;
  }
}

TFiberView TFiberView::lookAt(const double eye[3], const double center[3], const double up[3],
                              double fovyDegrees, double zNear, double zFar, int width, int height) {
  TFiberView v;
  for (int k = 0; k < 3; ++k) {
    v.eye[k] = eye[k];
    v.center[k] = center[k];
  }
  double f[3], s[3], u[3];
  t_sub3(center, eye, f);
  t_normalize3(f);
  t_cross3(f, up, s);
  t_normalize3(s);
  t_cross3(s, f, u);
  double* M = v.modelview;
  for (int i = 0; i < 16; ++i) M[i] = (i % 5 == 0) ? 1.0 : 0.0;
  for (int k = 0; k < 3; ++k) {
    M[4 * k + 0] = s[k];
    M[4 * k + 1] = u[k];
    M[4 * k + 2] = -f[k];
  }
  M[12] = -t_dot3(s, eye);
  M[13] = -t_dot3(u, eye);
  M[14] = t_dot3(f, eye);
  const double aspect = height > 0 ? double(width) / height : 1.0;
  const double t = 1.0 / std::tan(fovyDegrees * M_PI / 360.0);
  double* P = v.projection;
  for (int i = 0; i < 16; ++i) P[i] = 0.0;
  P[0] = t / aspect;
  P[5] = t;
  P[10] = (zFar + zNear) / (zNear - zFar);
  P[11] = -1.0;
  P[14] = 2.0 * zFar * zNear / (zNear - zFar);
  v.viewport[0] = 0;
  v.viewport[1] = 0;
  v.viewport[2] = width;
  v.viewport[3] = height;
  // The reference depth as the main view measures it: the window centre unprojected just
  // beyond the near plane with an identity model-view.
  TFiberView probe = v;
  for (int i = 0; i < 16; ++i) probe.modelview[i] = (i % 5 == 0) ? 1.0 : 0.0;
  double o[3];
  v.refDepth = probe.unProject(width / 2.0, height / 2.0, 0.0001, o) ? std::fabs(o[2]) : 1.0;
  return v;
}
