// Times TDenseSqMat::factorLU + solveLU against LAPACK dgetrf + dgetrs (OpenBLAS) on the same
// matrices, and the own sparse LU against the UMFPACK component on a Laplacian-plus-constraints
// system of a 10,000-vertex grid mesh.  Run from the build's bin/ folder:
//   ./bench_solvers [n ...]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "geom/TDenseSqMat.h"
#include "geom/TSparseMatrix.h"
#include "geom/umfpack_component.h"

extern "C" {
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetrs_(const char* trans, const int* n, const int* nrhs, const double* a, const int* lda,
             const int* ipiv, double* b, const int* ldb, int* info);
}

namespace {
double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void benchDense(int n) {
  std::mt19937 rng(n);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<double> a(static_cast<size_t>(n) * n), b(n);
  for (auto& v : a) v = u(rng);
  for (auto& v : b) v = u(rng);

  TDenseSqMat m(n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) m.rows[i][j] = a[static_cast<size_t>(i) * n + j];
  std::vector<double> x(n);
  double t0 = now();
  m.factorLU();
  m.solveLU(b.data(), x.data());
  const double tOurs = now() - t0;

  // LAPACK is column-major: hand it the transpose and solve with it transposed back.
  std::vector<double> at(a.size());
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) at[static_cast<size_t>(j) * n + i] = a[static_cast<size_t>(i) * n + j];
  std::vector<int> ipiv(n);
  std::vector<double> xb = b;
  int info = 0, one = 1;
  t0 = now();
  dgetrf_(&n, &n, at.data(), &n, ipiv.data(), &info);
  dgetrs_("N", &n, &one, at.data(), &n, ipiv.data(), xb.data(), &n, &info);
  const double tBlas = now() - t0;

  double diff = 0;
  for (int i = 0; i < n; ++i) diff = std::max(diff, std::fabs(x[i] - xb[i]));
  std::printf("dense n=%5d  TDenseSqMat %.3f s   OpenBLAS dgetrf+dgetrs %.3f s   ratio %.2f   max|dx| %.2e\n",
              n, tOurs, tBlas, tOurs / tBlas, diff);
}

// Umbrella Laplacian of a side x side grid plus identity rows on every 50th vertex, as normal
// equations L^T L (the region-of-interest deformation's system).
void fillGridSystem(TSparseMatrix& lap, int side) {
  const int n = side * side;
  for (int y = 0; y < side; ++y)
    for (int xx = 0; xx < side; ++xx) {
      const int i = y * side + xx;
      std::vector<int> ring;
      if (xx > 0) ring.push_back(i - 1);
      if (xx + 1 < side) ring.push_back(i + 1);
      if (y > 0) ring.push_back(i - side);
      if (y + 1 < side) ring.push_back(i + side);
      if (i % 50 == 0) ring.clear();
      std::vector<TSparseEntry> row;
      row.push_back({i, 1.0});
      for (int j : ring) row.push_back({j, -1.0 / ring.size()});
      std::sort(row.begin(), row.end(), [](auto& p, auto& q) { return p.col < q.col; });
      lap.rowLists[i] = row;
    }
  (void)n;
}

void benchSparse(const std::string& component) {
  const int side = 100, n = side * side;
  TSparseMatrix lap(n, n), sys(n, n);
  fillGridSystem(lap, side);
  const int nnz = lap.multAAt(sys);
  sys.allocFields(nnz);
  std::vector<double> b(n), x1(n), x2(n);
  for (int i = 0; i < n; ++i) b[i] = std::sin(i * 0.01);

  t_freeUmfpackDll();
  double t0 = now();
  sys.factorLU();
  sys.solveLU(b.data(), x1.data());
  const double tOwn = now() - t0;
  sys.freeFactors();

  if (!t_loadUmfpackDllFile(component)) {
    std::printf("sparse: component %s not loadable\n", component.c_str());
    return;
  }
  t0 = now();
  sys.factorLU();
  sys.solveLU(b.data(), x2.data());
  const double tUmf = now() - t0;
  sys.freeFactors();
  double diff = 0;
  for (int i = 0; i < n; ++i) diff = std::max(diff, std::fabs(x1[i] - x2[i]));
  std::printf("sparse n=%d nnz=%d  own LU %.3f s   UMFPACK %.3f s   ratio %.2f   max|dx| %.2e\n", n,
              nnz, tOwn, tUmf, tOwn / tUmf, diff);
}
}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes = {1000, 2000, 4000};
  if (argc > 1) {
    sizes.clear();
    for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  }
  std::freopen("/dev/null", "w", stderr);  // the solvers' console traces
  for (int n : sizes) benchDense(n);
  benchSparse(std::string("./") + kUmfpackComponentName);
  return 0;
}
