#include "geom/TDenseSqMat.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include "geom/dense_lu_kernels.h"
#include "platform/Progress.h"

namespace {

constexpr int kPanel = 64;       // columns factorised together before the trailing update
constexpr int kColChunk = 512;   // trailing columns updated together (packed U stays in L2)
constexpr int kRowGrain = 32;    // rows per parallel task of the trailing update

double wallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A pivot counts as vanished when it is not above n * eps * (largest entry of its column in
// the system as given): rounding alone leaves pivots of that size in a singular matrix, and
// their inverses would flood the solution with meaningless huge values instead of failing.
// Measuring against the column keeps the test blind to how the variables are scaled.
bool usablePivot(double p, double tiny) {
  return std::fabs(p) > tiny && std::isfinite(p) && std::isfinite(1.0 / p);
}

// Per column j: n * eps * the largest magnitude in column j over the rows i with
// i >= k0 or i <= j (for a factorised leading block of order k0 only its U part counts; its
// multipliers say nothing about the scale of the system).
std::vector<double> pivotTolerances(double* const* A, int n, int k0) {
  std::vector<double> tiny(static_cast<size_t>(n), 0.0);
  const double f = static_cast<double>(n) * std::numeric_limits<double>::epsilon();
  const int nChunks = (n + 255) / 256;
#pragma omp parallel for schedule(static) if (n > 512)
  for (int ch = 0; ch < nChunks; ++ch) {
    const int ja = ch * 256, jb = std::min(n, ja + 256);
    for (int i = 0; i < n; ++i) {
      const double* r = A[i];
      for (int j = std::max(ja, i < k0 ? i : 0); j < jb; ++j)
        tiny[j] = std::max(tiny[j], std::fabs(r[j]));
    }
  }
  for (double& t : tiny) t *= f;
  return tiny;
}

// rows [r0, n) x columns [c0, n) -= L(rows, [p0, p0 + kb)) * U([p0, p0 + kb), [c0, n)).
void trailingUpdate(double** A, int n, int r0, int c0, int p0, int kb, std::vector<double>& packed) {
  const int rest = n - c0;
  if (rest <= 0 || r0 >= n || kb <= 0) return;
  packed.resize(t_packedSize(kb, rest));
  t_packUpanel(A, p0, kb, c0, rest, packed.data());
  const int nTasks = (n - r0 + kRowGrain - 1) / kRowGrain;
  for (int cc = 0; cc < rest; cc += kColChunk) {
    const int w = std::min(kColChunk, rest - cc);
    const double* up = packed.data() + (long)(cc / 8) * kb * 8;
#pragma omp parallel for schedule(static)
    for (int t = 0; t < nTasks; ++t) {
      const int ra = r0 + t * kRowGrain;
      const int rb = std::min(n, ra + kRowGrain);
      t_denseUpdateGemm(A, ra, rb, c0 + cc, w, A, p0, kb, up);
    }
  }
}

// Rows [p0, p0 + kb), columns [c0, n): forward substitution with the unit lower triangle of the
// diagonal block (the rows of a panel turn into rows of U).
void panelRowSolve(double** A, int n, int p0, int kb, int c0) {
  const int rest = n - c0;
  if (rest <= 0) return;
  const int nChunks = (rest + 255) / 256;
#pragma omp parallel for schedule(static) if (rest > 512)
  for (int ch = 0; ch < nChunks; ++ch) {
    const int qa = c0 + ch * 256;
    const int qb = std::min(n, qa + 256);
    for (int r = p0 + 1; r < p0 + kb; ++r) {
      double* row = A[r];
      for (int p = p0; p < r; ++p) {
        const double l = row[p];
        if (l == 0.0) continue;
        const double* u = A[p];
        for (int q = qa; q < qb; ++q) row[q] -= l * u[q];
      }
    }
  }
}

// Factorises columns [c0, n), whose rows [c0, n) already hold the Schur complement.
// Returns the first column without a usable pivot, or -1.
int blockedFactor(double** A, int* rowPerm, int n, int c0, const int* limits,
                  bool searchWithoutLimits, const std::vector<double>& tiny,
                  const std::function<void(double)>& progress) {
  std::vector<double> packed;
  for (int k = c0; k < n; k += kPanel) {
    const int kb = std::min(kPanel, n - k);
    const int kend = k + kb;
    for (int j = k; j < kend; ++j) {
      int p = j;
      if (limits || searchWithoutLimits) {
        double best = std::fabs(A[j][j]);
        const int last = limits ? std::min(n - 1, limits[j]) : n - 1;
        for (int i = j + 1; i <= last; ++i) {
          const double v = std::fabs(A[i][j]);
          if (v > best) {  // ties keep the earlier row
            best = v;
            p = i;
          }
        }
      }
      if (p != j) {
        std::swap(A[j], A[p]);
        std::swap(rowPerm[j], rowPerm[p]);
      }
      const double piv = A[j][j];
      if (!usablePivot(piv, tiny[j])) return j;
      const double inv = 1.0 / piv;
      const double* u = A[j];
#pragma omp parallel for schedule(static) if (n - j > 512)
      for (int i = j + 1; i < n; ++i) {
        double* r = A[i];
        const double l = r[j] * inv;
        r[j] = l;
        if (l != 0.0)
          for (int q = j + 1; q < kend; ++q) r[q] -= l * u[q];
      }
      if (progress && j % 100 == 0) progress(static_cast<double>(j) / n);
    }
    panelRowSolve(A, n, k, kb, kend);
    trailingUpdate(A, n, kend, kend, k, kb, packed);
  }
  return -1;
}

}  // namespace

TDenseSqMat::TDenseSqMat(int n_) : n(n_ > 0 ? n_ : 0) {
  std::fprintf(stderr, "TDenseSqMat construct %d \n", n);
  rows = new double*[n > 0 ? n : 1];
  rowPerm = new int[n > 0 ? n : 1];
  colPerm = new int[n > 0 ? n : 1];
  for (int i = 0; i < n; ++i) {
    rows[i] = new double[n]();
    rowPerm[i] = i;
    colPerm[i] = i;
  }
}

TDenseSqMat::~TDenseSqMat() {
  std::fprintf(stderr, "TDenseSqMat destract %d\n", n);
  for (int i = 0; i < n; ++i) delete[] rows[i];
  delete[] rows;
  delete[] rowPerm;
  delete[] colPerm;
}

void TDenseSqMat::copyFrom(const TDenseSqMat& src, int m) {
  if (m > n || m > src.n || m < 0) return;
  for (int i = 0; i < m; ++i) {
    std::copy(src.rows[i], src.rows[i] + m, rows[i]);
    rowPerm[i] = src.rowPerm[i];
    colPerm[i] = src.colPerm[i];
  }
  m_factorValid = src.m_factorValid;
}

bool TDenseSqMat::factorLU(const int* pivotLimits, const std::function<void(double)>& progress) {
  const double t0 = wallSeconds();
  for (int i = 0; i < n; ++i) rowPerm[i] = i;
  const std::vector<double> tiny = pivotTolerances(rows, n, 0);
  const int bad = blockedFactor(rows, rowPerm, n, 0, pivotLimits, true, tiny, progress);
  m_factorValid = bad < 0;
  std::fprintf(stderr, "LU factorization %.10f  \n", wallSeconds() - t0);
  if (bad >= 0)
    std::fprintf(stderr, "LU factorization failed: the matrix is singular (no pivot in column %d)\n",
                 bad);
  return m_factorValid;
}

bool TDenseSqMat::factorLUPartial(int k0, const int* pivotLimits) {
  const double t0 = wallSeconds();
  if (k0 < 0 || k0 > n) {
    std::fprintf(stderr, "strange input at factorLUPartial %d %d\n", k0, n);
    m_factorValid = false;
    return false;
  }
  double** A = rows;
  int bad = -1;
  const std::vector<double> tiny = pivotTolerances(A, n, k0);
  // The leading block must itself be a usable factor.
  for (int j = 0; j < k0 && bad < 0; ++j)
    if (!usablePivot(A[j][j], tiny[j])) bad = j;

  if (bad < 0 && k0 < n) {
    // Phase 1: the new rows under the old columns (L21 = A21 U11^-1), one row per task.
#pragma omp parallel for schedule(static)
    for (int i = k0; i < n; ++i) {
      double* r = A[i];
      for (int j = 0; j < k0; ++j) {
        const double l = r[j] / A[j][j];
        r[j] = l;
        if (l == 0.0) continue;
        const double* u = A[j];
        for (int q = j + 1; q < k0; ++q) r[q] -= l * u[q];
      }
    }
    // Phase 2: the new columns.  The old rows turn into U12 panel by panel, each panel's update
    // is applied to every row below it, then the trailing block is factorised.
    std::vector<double> packed;
    for (int b0 = 0; b0 < k0; b0 += kPanel) {
      const int kb = std::min(kPanel, k0 - b0);
      panelRowSolve(A, n, b0, kb, k0);
      trailingUpdate(A, n, b0 + kb, k0, b0, kb, packed);
    }
    auto toFrame = [](double f) { t_progressToMainFrame(f); };
    bad = blockedFactor(A, rowPerm, n, k0, pivotLimits, false, tiny, toFrame);
  }
  m_factorValid = bad < 0;
  std::fprintf(stderr, "LU factorization %.10f  \n", wallSeconds() - t0);
  if (bad >= 0)
    std::fprintf(stderr, "LU factorization failed: the matrix is singular (no pivot in column %d)\n",
                 bad);
  return m_factorValid;
}

bool TDenseSqMat::solveLU(const double* b, double* x) const {
  const double t0 = wallSeconds();
  if (!m_factorValid) {
    std::fprintf(stderr, "forward/backward substitution refused: no valid LU factor\n");
    std::fill(x, x + n, 0.0);
    return false;
  }
  std::vector<double> y(n), z(n);
  for (int i = 0; i < n; ++i) y[i] = b[rowPerm[i]];
  for (int i = 0; i < n; ++i) {
    const double* r = rows[i];
    double s = y[i];
    for (int k = 0; k < i; ++k) s -= r[k] * y[k];
    y[i] = s;
  }
  for (int i = n - 1; i >= 0; --i) {
    const double* r = rows[i];
    double s = y[i];
    for (int k = i + 1; k < n; ++k) s -= r[k] * z[k];
    z[i] = s / r[i];
  }
  bool finite = true;
  for (int i = 0; i < n; ++i) {
    x[colPerm[i]] = z[i];
    if (!std::isfinite(z[i])) finite = false;
  }
  std::fprintf(stderr, "forward/backward substitution %.10f sec\n", wallSeconds() - t0);
  if (!finite) std::fprintf(stderr, "forward/backward substitution: the solution is not finite\n");
  return finite;
}

namespace {

// Exchange of rows and columns k and k+1 together; shared by both exchanges.
void updateR(TDenseSqMat& m, int k) {
  double** A = m.rows;
  const int n = m.n;
  const double u = A[k][k], v = A[k][k + 1], l = A[k + 1][k], w = A[k + 1][k + 1];
  const double mm = l * v + w;
  for (int i = 0; i < k; ++i) {
    std::swap(A[k][i], A[k + 1][i]);
    std::swap(A[i][k], A[i][k + 1]);
  }
  const double s = v / mm, t = w / mm;
  A[k][k] = mm;
  A[k][k + 1] = l * u;
  A[k + 1][k] = s;
  A[k + 1][k + 1] = w * u / mm;
  double* rk = A[k];
  double* rk1 = A[k + 1];
#pragma omp parallel for schedule(static) if (n - k > 2048)
  for (int i = k + 2; i < n; ++i) {
    const double aki = rk[i], ak1i = rk1[i];
    rk[i] = l * aki + ak1i;
    rk1[i] = t * aki - s * ak1i;
    const double aik = A[i][k], aik1 = A[i][k + 1];
    A[i][k] = s * aik + t * aik1;
    A[i][k + 1] = aik - l * aik1;
  }
  std::swap(m.colPerm[k], m.colPerm[k + 1]);
  std::swap(m.rowPerm[k], m.rowPerm[k + 1]);
}

}  // namespace

bool t_flipRow(TDenseSqMat& m, int k) {
  if (k < 0 || k >= m.n - 1) {
    std::fprintf(stderr, "strange input at t_flipRow\n");
    return false;
  }
  double** A = m.rows;
  const int n = m.n;
  const double u = A[k][k], v = A[k][k + 1], l = A[k + 1][k], w = A[k + 1][k + 1];
  const double mm = l * v + w;
  const bool useC = std::fabs(v) >= 1e-8 &&
                    std::fabs(w / v) + 2.0 <= std::fabs(v / mm) + 1.0 + std::fabs(w / mm) + std::fabs(l);
  if (!useC) {
    updateR(m, k);
    return true;
  }
  for (int i = 0; i < k; ++i) std::swap(A[i][k], A[i][k + 1]);
  A[k][k] = v;
  A[k][k + 1] = u;
  A[k + 1][k] = mm / v;
  A[k + 1][k + 1] = -(w * u) / v;
  const double d = w / v;
  double* rk = A[k];
  double* rk1 = A[k + 1];
#pragma omp parallel for schedule(static) if (n - k > 2048)
  for (int i = k + 2; i < n; ++i) {
    A[i][k] = A[i][k] + d * A[i][k + 1];
    rk1[i] = rk1[i] - d * rk[i];
  }
  std::swap(m.colPerm[k], m.colPerm[k + 1]);
  return true;
}

bool t_flipRowEx(TDenseSqMat& m, int k, bool allowColumnExchange) {
  if (k < 0 || k >= m.n - 1) {
    std::fprintf(stderr, "strange input at t_flipRow\n");
    return false;
  }
  double** A = m.rows;
  const int n = m.n;
  const double u = A[k][k], v = A[k][k + 1], l = A[k + 1][k], w = A[k + 1][k + 1];
  const double mm = l * v + w;
  if (!allowColumnExchange) {
    if (std::fabs(l) < 1e-8) return false;
  } else if (std::fabs(l) < 1e-6 ||
             std::fabs(v / mm) + 1.0 + std::fabs(w / mm) + std::fabs(l) <
                 std::fabs(1.0 / l) + std::fabs(l) + 1.0) {
    updateR(m, k);
    return true;
  }
  // Update Q: the rows alone.
  for (int i = 0; i < k; ++i) std::swap(A[k][i], A[k + 1][i]);
  A[k][k] = l * u;
  A[k][k + 1] = mm;
  A[k + 1][k] = 1.0 / l;
  A[k + 1][k + 1] = -w / l;
  double* rk = A[k];
  double* rk1 = A[k + 1];
#pragma omp parallel for schedule(static) if (n - k > 2048)
  for (int i = k + 2; i < n; ++i) {
    const double aki = rk[i], ak1i = rk1[i];
    rk[i] = l * aki + ak1i;
    rk1[i] = -ak1i / l;
    const double aik = A[i][k], aik1 = A[i][k + 1];
    A[i][k] = aik / l;
    A[i][k + 1] = aik - l * aik1;
  }
  std::swap(m.rowPerm[k], m.rowPerm[k + 1]);
  return true;
}
