#include "geom/TDenseMatEx.h"

#include <cmath>
#include <cstdio>

#include "geom/TDenseSqMat.h"
#include "geom/cg4.h"

void TDenseMatEx::trace(const TDenseSqMat& m) {
  std::fprintf(stderr, "-----TDenseMatEx Trace %d %d\n", m.n, m.n);
  for (int i = 0; i < m.n; ++i) {
    for (int j = 0; j < m.n; ++j) {
      const double a = m.rows[i][j];
      std::fputs(a == 0.0 ? " 0" : (a == m.rows[j][i] ? " s" : " w"), stderr);
    }
    std::fputs("\n", stderr);
  }
}

void t_denseSolveCG(double* const* A, const double b[4], double x[4]) {
  auto mult = [&](const double* v, double* out) {
    for (int i = 0; i < 4; ++i) {
      out[i] = 0.0;
      for (int j = 0; j < 4; ++j) out[i] += A[i][j] * v[j];
    }
  };
  t_cg4(mult, b, x, 1e-9);
}

namespace {
void printErrorLines() {
  for (int i = 0; i < 10; ++i) std::fputs("!!!!!!!!!!!!error TDenseSqMat::TEST()!!!!!!!!!!!!!", stderr);
}
}  // namespace

bool TDenseMatEx::TEST() {
  std::fputs("\n\n\n\n-----------------TDenseMatEx::TEST()-----------------\n", stderr);
  std::fputs("-----------------TDenseMatEx::TEST()-----------------\n", stderr);
  bool ok = true;
  {
    const double a[5][5] = {{2, 3, 0, 0, 0}, {3, 0, 4, 0, 6}, {0, -1, -3, 2, 0},
                            {0, 0, 1, 0, 0}, {0, 4, 2, 0, 1}};
    const double b[5] = {8, 45, -3, 3, 19};
    TDenseSqMat m(5);
    for (int i = 0; i < 5; ++i)
      for (int j = 0; j < 5; ++j) m.rows[i][j] = a[i][j];
    double x[5];
    m.factorLU();
    m.solveLU(b, x);
    std::fprintf(stderr, "%f %f %f %f %f\n", x[0], x[1], x[2], x[3], x[4]);
    bool good = true;
    for (int i = 0; i < 5; ++i)
      if (!(std::fabs(x[i] - (i + 1)) <= 1e-8)) good = false;
    if (!good) printErrorLines();
    ok = ok && good;
  }
  {
    const double a[4][4] = {{1, 0, 2, 5}, {0, -4, 1, -1}, {2, 1, 0, 2}, {5, -1, 2, 3}};
    const double b[4] = {1, 2, 3, 4};
    TDenseSqMat m(4);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) m.rows[i][j] = a[i][j];
    double xcg[4], xlu[4];
    t_denseSolveCG(m.rows, b, xcg);
    m.factorLU();
    m.solveLU(b, xlu);
    std::fprintf(stderr, "%f %f %f %f\n", xcg[0], xcg[1], xcg[2], xcg[3]);
    std::fprintf(stderr, "%f %f %f %f\n", xlu[0], xlu[1], xlu[2], xlu[3]);
    bool good = true;
    for (int i = 0; i < 4; ++i)
      if (!(std::fabs(xcg[i] - xlu[i]) <= 1e-8)) good = false;
    if (!good) printErrorLines();
    ok = ok && good;
  }
  std::fputs("\nTDenseMatEx::TEST() done\n\n", stderr);
  return ok;
}
