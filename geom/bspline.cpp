#include "geom/bspline.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "geom/TSparseMatrix.h"

namespace {

// Uniform cubic B-spline basis centred at 0.
double basis(double u) {
  const double a = std::fabs(u);
  if (a < 1.0) return 0.5 * a * a * a - a * a + 2.0 / 3.0;
  if (a < 2.0) return (2.0 - a) * (2.0 - a) * (2.0 - a) / 6.0;
  return 0.0;
}

}  // namespace

void t_fitCubicBSpline(const TPoints& input, TPoints& output, bool closed, int n) {
  const int N = int(input.size());
  if (n <= 0) {  // no points asked for (the even resampling below needs at least one)
    output.clear();
    return;
  }
  const size_t count = size_t(n);
  if (N == 0) {
    output.assign(count, TVec3());
    return;
  }
  if (N == 1) {
    output.assign(count, input[0]);
    return;
  }
  if (N == 2) {
    TPoints out;
    t_resamplePolyline(n - 1, input, out);
    output.swap(out);
    return;
  }

  // Control points c with B(0) c(j) + B(1) (c(j-1) + c(j+1)) = input(j).
  TSparseMatrix M(N, N);
  const double s = 1.0 / 6.0, m = 2.0 / 3.0;
  if (closed) {
    M.rowLists[0] = {{0, m}, {1, s}, {N - 1, s}};
  } else {
    M.rowLists[0] = {{0, 5.0 / 6.0}, {1, s}};  // c(-1) = c(0)
  }
  for (int r = 1; r < N - 1; ++r) M.rowLists[size_t(r)] = {{r - 1, s}, {r, m}, {r + 1, s}};
  if (closed) {
    M.rowLists[size_t(N - 1)] = {{0, s}, {N - 2, s}, {N - 1, m}};
  } else {
    M.rowLists[size_t(N - 1)] = {{N - 2, s}, {N - 1, 5.0 / 6.0}};  // c(N) = c(N-1)
  }
  M.allocFields(closed ? 3 * N : 3 * N - 2);
  std::vector<double> b(static_cast<size_t>(N)), x(static_cast<size_t>(N));
  std::vector<TVec3> ctrl(static_cast<size_t>(N));
  if (!M.factorLU()) {
    fprintf(stderr, "B-spline fitting failed: singular system\n");
    output.assign(count, input[0]);
    return;
  }
  for (int a = 0; a < 3; ++a) {
    for (int j = 0; j < N; ++j) b[size_t(j)] = input[size_t(j)][a];
    M.solveLU(b.data(), x.data());
    for (int j = 0; j < N; ++j) ctrl[size_t(j)][a] = x[size_t(j)];
  }
  M.freeFactors();

  auto idx = [&](int j) {
    if (closed) return ((j % N) + N) % N;
    return j < 0 ? 0 : (j > N - 1 ? N - 1 : j);
  };
  output.assign(count, TVec3());
  const double step = n > 1 ? double(N - 1) / double(n - 1) : 0.0;
  for (int k = 0; k < n; ++k) {
    const double t = k * step;
    double p[3] = {0.0, 0.0, 0.0};
    const int j0 = int(std::floor(t)) - 1, j1 = int(std::floor(t)) + 2;
    for (int j = std::max(j0, -1); j <= std::min(j1, N); ++j) {
      const double w = basis(t - j);
      if (w == 0.0) continue;
      const TVec3& c = ctrl[size_t(idx(j))];
      for (int a = 0; a < 3; ++a) p[a] += w * c[a];
    }
    output[size_t(k)].set(p[0], p[1], p[2]);
  }
}
