#include "implicit/rbf.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr double kScale = 1000.0;

template <int K>
inline double phiOf(double s) {
  if (s < 1e-12) return 0.0;
  if (K == 0) return s * std::log(std::sqrt(s));
  if (K == 1) return s * std::sqrt(s);
  if (K == 2) return s * s * std::log(std::sqrt(s));
  return s * s * std::sqrt(s);
}

inline double phiAny(int kernel, double s) {
  switch (kernel) {
    case 0: return phiOf<0>(s);
    case 1: return phiOf<1>(s);
    case 2: return phiOf<2>(s);
    default: return phiOf<3>(s);
  }
}

// nc coordinates per point: x, y, z and, in joint space, feat[0].
inline void coordsOf(const TRbfPoint& p, int nc, double x[4]) {
  x[0] = p.pos[0];
  x[1] = p.pos[1];
  x[2] = p.pos[2];
  x[3] = nc > 3 ? p.feat[0] : 0.0;
}

void buildSystem(int kernel, int nc, int N, const TRbfPoint* p, TDenseSqMat* m, double* rhs) {
  const int base = nc + 1, n = N + base;
  for (int i = 0; i < n; ++i) m->rowPerm[i] = m->colPerm[i] = i;
  double** M = m->rows;
  for (int i = 0; i < base; ++i)
    for (int j = 0; j < base; ++j) M[i][j] = 0.0;
#pragma omp parallel for schedule(dynamic, 32) if (N > 512)
  for (int a = 0; a < N; ++a) {
    double xa[4], xb[4];
    coordsOf(p[a], nc, xa);
    for (int b = a; b < N; ++b) {
      coordsOf(p[b], nc, xb);
      double s = 0.0;
      for (int l = 0; l < nc; ++l) s += (xa[l] - xb[l]) * (xa[l] - xb[l]);
      const double v = kScale * phiAny(kernel, 0.01 * s);
      M[base + a][base + b] = v;
      M[base + b][base + a] = v;
    }
  }
  for (int i = 0; i < base; ++i) rhs[i] = 0.0;
  for (int a = 0; a < N; ++a) {
    double xa[4];
    coordsOf(p[a], nc, xa);
    const int Ra = base + a;
    M[0][Ra] = M[Ra][0] = kScale;
    for (int l = 0; l < nc; ++l) M[1 + l][Ra] = M[Ra][1 + l] = kScale * 0.1 * xa[l];
    rhs[Ra] = kScale * p[a].value;
  }
}

template <int K>
double sumOver(int nc, const double* x, int N, const double* coef, const TRbfPoint* p) {
  const int base = nc + 1;
  double sum = 0.0;
#pragma omp parallel for schedule(static) reduction(+ : sum) if (N > 512)
  for (int a = 0; a < N; ++a) {
    double s = 0.0;
    for (int l = 0; l < 3; ++l) s += (x[l] - p[a].pos[l]) * (x[l] - p[a].pos[l]);
    if (nc > 3) s += (x[3] - p[a].feat[0]) * (x[3] - p[a].feat[0]);
    sum += coef[base + a] * phiOf<K>(0.01 * s);
  }
  return sum;
}

double evalAny(int kernel, int nc, const double* x, int N, const double* coef, const TRbfPoint* p) {
  double sum;
  switch (kernel) {
    case 0: sum = sumOver<0>(nc, x, N, coef, p); break;
    case 1: sum = sumOver<1>(nc, x, N, coef, p); break;
    case 2: sum = sumOver<2>(nc, x, N, coef, p); break;
    default: sum = sumOver<3>(nc, x, N, coef, p); break;
  }
  double f = sum + coef[0];
  double lin = 0.0;
  for (int l = 0; l < nc; ++l) lin += coef[1 + l] * x[l];
  return f + 0.1 * lin;
}

}  // namespace

double t_rbfKernelR4LogR(double d2) { return phiOf<2>(0.01 * d2); }

void t_rbfJoint_buildSystem(int kernel, int N, const TRbfPoint* p, TDenseSqMat* m, double* rhs) {
  std::printf("aaaa %d %d\n", N, N + 5);
  buildSystem(kernel, 4, N, p, m, rhs);
}

float t_rbfJoint_evalField(int kernel, const double* x, const double* y, const double* z,
                           const double* f, const int* N, const double* coef, const TRbfPoint* p) {
  const double q[4] = {*x, *y, *z, *f};
  return static_cast<float>(evalAny(kernel, 4, q, *N, coef, p));
}

void t_rbfSpatial_buildSystem(int N, const TRbfPoint* p, TDenseSqMat* m, double* rhs) {
  buildSystem(1, 3, N, p, m, rhs);
}

float t_rbfSpatial_evalField(const double* x, const double* y, const double* z, const int* N,
                             const double* coef, const TRbfPoint* p) {
  const double q[3] = {*x, *y, *z};
  return static_cast<float>(evalAny(1, 3, q, *N, coef, p));
}
