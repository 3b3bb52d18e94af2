#include "geom/matrix3.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// c = a b for row-major 3x3 matrices (c may alias a or b).
void mul3(const double a[9], const double b[9], double c[9]) {
  double r[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
  std::memcpy(c, r, sizeof(r));
}

void transpose3(const double a[9], double t[9]) {
  double r[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[3 * j + i] = a[3 * i + j];
  std::memcpy(t, r, sizeof(r));
}

// The (n-1)x(n-1) minor of the n x n matrix M without row skipR and column skipC.
void minorOf(const double M[], int n, int skipR, int skipC, double out[]) {
  int k = 0;
  for (int r = 0; r < n; ++r) {
    if (r == skipR) continue;
    for (int c = 0; c < n; ++c) {
      if (c == skipC) continue;
      out[k++] = M[n * r + c];
    }
  }
}

}  // namespace

void t_premultiply3x3(double M[9], const double R[9]) { mul3(R, M, M); }

void t_mul3x3(double out[9], const double A[9], const double B[9]) { mul3(B, A, out); }

double* t_mul3x3To(const double A[9], double out[9], const double B[9]) {
  mul3(B, A, out);
  return out;
}

void t_mul3x3Transposed(double out[9], const double A[9], const double B[9]) {
  double at[9];
  transpose3(A, at);
  mul3(B, at, out);
}

bool t_inverse3x3(double M[9]) {
  const double c00 = M[4] * M[8] - M[5] * M[7];
  const double c01 = M[5] * M[6] - M[3] * M[8];
  const double c02 = M[3] * M[7] - M[4] * M[6];
  const double det = M[0] * c00 + M[1] * c01 + M[2] * c02;
  if (std::fabs(det) < 1e-7) return false;
  double r[9];
  r[0] = c00;
  r[1] = M[2] * M[7] - M[1] * M[8];
  r[2] = M[1] * M[5] - M[2] * M[4];
  r[3] = c01;
  r[4] = M[0] * M[8] - M[2] * M[6];
  r[5] = M[2] * M[3] - M[0] * M[5];
  r[6] = c02;
  r[7] = M[1] * M[6] - M[0] * M[7];
  r[8] = M[0] * M[4] - M[1] * M[3];
  for (int i = 0; i < 9; ++i) M[i] = r[i] / det;
  return true;
}

bool t_inverse2x2(double M[4]) {
  const double det = M[0] * M[3] - M[1] * M[2];
  if (det == 0.0) return false;
  const double a = M[0], b = M[1], c = M[2], d = M[3];
  M[0] = d / det;
  M[1] = -b / det;
  M[2] = -c / det;
  M[3] = a / det;
  return true;
}

static void identity4(double m[16]) {
  for (int i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

bool t_rotMatFromAxisAngle(double out[16], const double axis[3], double c, double s) {
  identity4(out);
  if (c == 1.0 && s == 0.0) return true;
  double a[3] = {axis[0], axis[1], axis[2]};
  if (!t_normalize3(a)) return false;
  const double x = a[0], y = a[1], z = a[2], t = 1.0 - c;
  const double R[3][3] = {{c + x * x * t, x * y * t - z * s, x * z * t + y * s},
                          {x * y * t + z * s, c + y * y * t, y * z * t - x * s},
                          {x * z * t - y * s, y * z * t + x * s, c + z * z * t}};
  for (int r = 0; r < 3; ++r)
    for (int col = 0; col < 3; ++col) out[4 * col + r] = R[r][col];
  return true;
}

bool t_rotMatBetweenVectors(double out[16], double a[3], double b[3]) {
  t_normalize3(a);
  t_normalize3(b);
  double axis[3];
  t_cross3(a, b, axis);
  const double c = t_dot3(a, b);
  const double s = t_length3(axis);
  // Opposite vectors: a half-turn about any axis perpendicular to a.  Cross a with the
  // coordinate axis it is least aligned with.  When the two were normalised from
  // different lengths, a x b is rounding noise of about 1e-16 whose direction is random
  // (not perpendicular to a), so "opposite" reaches up to a sine of 1e-8: below that the
  // half-turn is off by less than 1e-8, above it the noise tilts the axis by less.
  if (s < 1e-8 && c < 0.0) {
    const double ax = std::fabs(a[0]), ay = std::fabs(a[1]), az = std::fabs(a[2]);
    double e[3] = {0, 0, 0};
    if (ax <= ay && ax <= az) e[0] = 1.0;
    else if (ay <= az) e[1] = 1.0;
    else e[2] = 1.0;
    double perp[3];
    t_cross3(a, e, perp);
    return t_rotMatFromAxisAngle(out, perp, -1.0, 0.0);
  }
  return t_rotMatFromAxisAngle(out, axis, c, s);
}

double* t_transpose4x4(const double in[16], double out[16]) {
  double r[16];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) r[4 * j + i] = in[4 * i + j];
  std::memcpy(out, r, sizeof(r));
  return out;
}

bool t_inverse4x4(double M[16]) {
  if (std::fabs(t_det(M, 4)) < 1e-11) return false;
  double t[16], inv[16];
  t_transpose4x4(M, t);
  if (!t_invertMatrix(t, inv, 4)) return false;
  t_transpose4x4(inv, M);
  return true;
}

double t_det(const double M[], int n) {
  if (n < 1) return 0.0;
  if (n == 1) return M[0];
  if (n == 2) return M[0] * M[3] - M[1] * M[2];
  if (n == 3)
    return M[0] * (M[4] * M[8] - M[5] * M[7]) - M[1] * (M[3] * M[8] - M[5] * M[6]) +
           M[2] * (M[3] * M[7] - M[4] * M[6]);
  std::vector<double> minor((n - 1) * (n - 1));
  double det = 0.0;
  for (int i = 0; i < n; ++i) {
    minorOf(M, n, i, 0, minor.data());
    const double term = M[n * i] * t_det(minor.data(), n - 1);
    det += (i % 2 == 0) ? term : -term;
  }
  return det;
}

bool t_invertMatrix(const double M[], double out[], int n) {
  if (n < 1) return false;
  if (n == 1) {
    if (M[0] == 0.0) return false;
    out[0] = 1.0 / M[0];
    return true;
  }
  if (n == 2) {
    const double det = M[0] * M[3] - M[1] * M[2];
    if (det == 0.0) return false;
    out[0] = M[3] / det;
    out[1] = -M[1] / det;
    out[2] = -M[2] / det;
    out[3] = M[0] / det;
    return true;
  }
  std::vector<double> minor((n - 1) * (n - 1));
  double det = 0.0;
  for (int i = 0; i < n; ++i) {
    minorOf(M, n, i, 0, minor.data());
    const double term = M[n * i] * t_det(minor.data(), n - 1);
    det += (i % 2 == 0) ? term : -term;
  }
  if (det == 0.0) return false;
  std::vector<double> r(n * n);
  for (int row = 0; row < n; ++row)
    for (int col = 0; col < n; ++col) {
      minorOf(M, n, col, row, minor.data());
      const double cof = t_det(minor.data(), n - 1);
      r[n * row + col] = (((row + col) % 2 == 0) ? cof : -cof) / det;
    }
  std::copy(r.begin(), r.end(), out);
  return true;
}

void t_jacobiEigen3(double A[9], double V[9], double tolerance, int maxRotations) {
  for (int i = 0; i < 9; ++i) V[i] = (i % 4 == 0) ? 1.0 : 0.0;
  for (int it = 0; it < maxRotations; ++it) {
    const double a10 = std::fabs(A[3]), a20 = std::fabs(A[6]), a21 = std::fabs(A[7]);
    int p, q;
    double largest;
    if (a10 >= a20 && a10 >= a21) {
      p = 0; q = 1; largest = a10;
    } else if (a20 >= a21) {
      p = 0; q = 2; largest = a20;
    } else {
      p = 1; q = 2; largest = a21;
    }
    if (largest <= tolerance) break;
    const double app = A[3 * p + p], aqq = A[3 * q + q], aqp = A[3 * q + p];
    double theta;
    if (std::fabs(app - aqq) <= 0.0001) theta = 0.7853981633974475;
    else theta = 0.5 * std::atan(-2.0 * aqp / (app - aqq));
    const double c = std::cos(theta), s = std::sin(theta);
    double G[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    G[3 * p + p] = c;
    G[3 * q + q] = c;
    G[3 * q + p] = s;
    G[3 * p + q] = -s;
    mul3(G, V, V);
    double Gt[9];
    transpose3(G, Gt);
    mul3(G, A, A);
    mul3(A, Gt, A);
  }
}

void t_fitPlanePCA(const TPoints& pts, double e1[3], double e2[3], double e3[3]) {
  double c[3];
  t_centroid(pts, c);
  double S[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (const TVec3& p : pts) {
    const double d[3] = {p[0] - c[0], p[1] - c[1], p[2] - c[2]};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) S[3 * i + j] += d[i] * d[j];
  }
  double V[9];
  t_jacobiEigen3(S, V, 1e-5, 100);
  int order[3] = {0, 1, 2};
  std::stable_sort(order, order + 3, [&](int a, int b) { return S[4 * a] > S[4 * b]; });
  double* outs[3] = {e1, e2, e3};
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 3; ++j) outs[k][j] = V[3 * order[k] + j];
}

void t_fitRotation(const double M[9], double R[9]) {
  double S[9], V[9];
  t_mul3x3Transposed(S, M, M);  // M M^T
  t_jacobiEigen3(S, V, 1e-6, 8);
  const double D[9] = {std::sqrt(std::fabs(S[0])), 0, 0, 0, std::sqrt(std::fabs(S[4])), 0, 0, 0,
                       std::sqrt(std::fabs(S[8]))};
  double Vt[9], X[9];
  transpose3(V, Vt);
  mul3(Vt, D, X);
  mul3(X, V, X);
  if (!t_inverse3x3(X)) {
    // M has rank below 3: no unique nearest rotation exists; the identity is returned.
    for (int i = 0; i < 9; ++i) R[i] = (i % 4 == 0) ? 1.0 : 0.0;
    return;
  }
  mul3(X, M, R);
}
