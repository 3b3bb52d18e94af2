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

constexpr int kPanel = 128;      // columns factorised together before the trailing update
constexpr int kLeaf = 16;        // panel columns eliminated one at a time
constexpr int kColChunk = 256;   // trailing columns a task updates (its packed U stays in L2)
constexpr int kRowGrain = 64;    // trailing rows a task updates

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

// rows [r0, n) x columns [c0, cEnd) -= L(rows, [p0, p0 + kb)) * U([p0, p0 + kb), [c0, cEnd)).
// One parallel region; tasks of kRowGrain rows x kColChunk columns are handed out as threads
// come free, so that a thread the machine holds up delays little.
void trailingUpdate(double** A, int n, int r0, int c0, int cEnd, int p0, int kb, std::vector<double>& packed) {
  const int rest = cEnd - c0;
  if (rest <= 0 || r0 >= n || kb <= 0) return;
  packed.resize(t_packedSize(kb, rest));
  const int nRow = (n - r0 + kRowGrain - 1) / kRowGrain;
  const int nCol = (rest + kColChunk - 1) / kColChunk;
  const long work = static_cast<long>(n - r0) * rest * kb;
#pragma omp parallel if (work > (1L << 20))
  {
#pragma omp for schedule(dynamic, 1)
    for (int c = 0; c < nCol; ++c) {
      const int cc = c * kColChunk;
      t_packUpanel(A, p0, kb, c0 + cc, std::min(kColChunk, rest - cc), packed.data() + static_cast<long>(cc / 8) * kb * 8);
    }
#pragma omp for schedule(dynamic, 1)
    for (int t = 0; t < nRow * nCol; ++t) {
      const int c = t / nRow, rt = t % nRow;
      const int cc = c * kColChunk;
      const int ra = r0 + rt * kRowGrain, rb = std::min(n, ra + kRowGrain);
      t_denseUpdateGemm(A, ra, rb, c0 + cc, std::min(kColChunk, rest - cc), A, p0, kb,
                        packed.data() + static_cast<long>(cc / 8) * kb * 8);
    }
  }
}

// Rows [p0, p0 + kb), columns [c0, cEnd): forward substitution with the unit lower triangle of
// the diagonal block (the rows of a panel turn into rows of U).
void panelRowSolve(double** A, int p0, int kb, int c0, int cEnd) {
  const int rest = cEnd - c0;
  if (rest <= 0) return;
  const int nChunks = (rest + 255) / 256;
#pragma omp parallel for schedule(dynamic, 1) if (rest > 512)
  for (int ch = 0; ch < nChunks; ++ch) {
    const int qa = c0 + ch * 256;
    const int qb = std::min(cEnd, qa + 256);
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

// A panel: rows [k, n) x columns [k, k + w) of the matrix, copied column by column so that
// pivot searches and eliminations run down contiguous columns.  Row and column indices below
// are relative to k.
class Panel {
 public:
  Panel(double** A, int n, int k, int w) : A_(A), k_(k), m_(n - k), w_(w), v_(static_cast<size_t>(m_) * w) {
#pragma omp parallel for schedule(static) if (static_cast<long>(m_) * w > (1L << 16))
    for (int i = 0; i < m_; ++i) {
      const double* r = A[k + i] + k;
      for (int j = 0; j < w; ++j) v_[static_cast<size_t>(j) * m_ + i] = r[j];
    }
  }
  double* col(int j) { return v_.data() + static_cast<size_t>(j) * m_; }
  int rows() const { return m_; }

  // Exchanges panel rows a and b, and the matrix rows they stand for (whole rows: the pointers).
  void swapRows(int a, int b, int* rowPerm) {
    for (int j = 0; j < w_; ++j) std::swap(col(j)[a], col(j)[b]);
    std::swap(A_[k_ + a], A_[k_ + b]);
    std::swap(rowPerm[k_ + a], rowPerm[k_ + b]);
  }

  // Writes the factored panel back into the (exchanged) rows.
  void store() {
#pragma omp parallel for schedule(static) if (static_cast<long>(m_) * w_ > (1L << 16))
    for (int i = 0; i < m_; ++i) {
      double* r = A_[k_ + i] + k_;
      for (int j = 0; j < w_; ++j) r[j] = v_[static_cast<size_t>(j) * m_ + i];
    }
  }

 private:
  double** A_;
  int k_, m_, w_;
  std::vector<double> v_;
};

// Panel columns [q0, q0 + nq), rows [r0, rows): C -= L(rows, [p0, p0 + np)) * U([p0, p0 + np), cols).
// U sits in the same columns above r0 (r0 >= p0 + np), so no task writes what another reads.
void panelGemm(Panel& P, int r0, int p0, int np, int q0, int nq) {
  const int m = P.rows();
  if (r0 >= m || np <= 0 || nq <= 0) return;
  const int grain = 256;
  const int nChunks = (m - r0 + grain - 1) / grain;
  const long work = static_cast<long>(m - r0) * np * nq;
#pragma omp parallel for schedule(dynamic, 1) if (work > (1L << 21))
  for (int ch = 0; ch < nChunks; ++ch) {
    const int ia = r0 + ch * grain, ib = std::min(m, ia + grain);
    for (int q = q0; q < q0 + nq; ++q) {
      double* c = P.col(q);
      int p = p0;
      for (; p + 4 <= p0 + np; p += 4) {
        const double a0 = c[p], a1 = c[p + 1], a2 = c[p + 2], a3 = c[p + 3];
        const double *l0 = P.col(p), *l1 = P.col(p + 1), *l2 = P.col(p + 2), *l3 = P.col(p + 3);
        for (int i = ia; i < ib; ++i) c[i] -= (l0[i] * a0 + l1[i] * a1) + (l2[i] * a2 + l3[i] * a3);
      }
      for (; p < p0 + np; ++p) {
        const double a = c[p];
        const double* l = P.col(p);
        for (int i = ia; i < ib; ++i) c[i] -= l[i] * a;
      }
    }
  }
}

struct PanelJob {
  Panel& P;
  int k, n;
  int* rowPerm;
  const int* limits;
  bool search;
  const std::vector<double>& tiny;
  const std::function<void(double)>& progress;
};

// Factorises panel columns [c, c + w) whose rows [c, rows) hold their Schur complement: the left
// half, then the right half's U rows and Schur complement, then the right half.  Returns the
// first column (of the matrix) without a usable pivot, or -1.
int factorPanel(PanelJob& J, int c, int w) {
  Panel& P = J.P;
  const int m = P.rows();
  if (w > kLeaf) {
    const int h = w / 2;
    const int bad = factorPanel(J, c, h);
    if (bad >= 0) return bad;
    // U rows of the right half: forward substitution with the unit lower triangle.
    for (int q = c + h; q < c + w; ++q) {
      double* u = P.col(q);
      for (int p = c; p < c + h; ++p) {
        const double x = u[p];
        if (x == 0.0) continue;
        const double* l = P.col(p);
        for (int r = p + 1; r < c + h; ++r) u[r] -= l[r] * x;
      }
    }
    panelGemm(P, c + h, c, h, c + h, w - h);
    return factorPanel(J, c + h, w - h);
  }
  for (int jr = c; jr < c + w; ++jr) {
    const int j = J.k + jr;  // the matrix column
    double* colj = P.col(jr);
    int p = jr;
    if (J.limits || J.search) {
      double best = std::fabs(colj[jr]);
      const int last = (J.limits ? std::min(J.n - 1, J.limits[j]) : J.n - 1) - J.k;
      for (int i = jr + 1; i <= last; ++i) {
        const double v = std::fabs(colj[i]);
        if (v > best) {  // ties keep the earlier row
          best = v;
          p = i;
        }
      }
    }
    if (p != jr) P.swapRows(jr, p, J.rowPerm);
    const double piv = colj[jr];
    if (!usablePivot(piv, J.tiny[j])) return j;
    const double inv = 1.0 / piv;
    for (int i = jr + 1; i < m; ++i) colj[i] *= inv;
    for (int q = jr + 1; q < c + w; ++q) {
      double* cq = P.col(q);
      const double a = cq[jr];
      if (a == 0.0) continue;
      for (int i = jr + 1; i < m; ++i) cq[i] -= colj[i] * a;
    }
    if (J.progress && j % 100 == 0) J.progress(static_cast<double>(j) / J.n);
  }
  return -1;
}

// Factorises columns [c0, n), whose rows [c0, n) already hold the Schur complement: panels of
// kPanel columns are factorised recursively in a column copy, then their U rows and the
// trailing Schur complement are updated in the matrix.  Returns the first column without a
// usable pivot, or -1.
int blockedFactor(double** A, int* rowPerm, int n, int c0, const int* limits,
                  bool searchWithoutLimits, const std::vector<double>& tiny,
                  const std::function<void(double)>& progress) {
  std::vector<double> packed;
  for (int k = c0; k < n; k += kPanel) {
    const int kb = std::min(kPanel, n - k);
    const int kend = k + kb;
    Panel P(A, n, k, kb);
    PanelJob job{P, k, n, rowPerm, limits, searchWithoutLimits, tiny, progress};
    const int bad = factorPanel(job, 0, kb);
    P.store();
    if (bad >= 0) return bad;
    panelRowSolve(A, k, kb, kend, n);
    trailingUpdate(A, n, kend, kend, n, k, kb, packed);
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
    // Phase 1: the new rows under the old columns (L21 = A21 U11^-1), by blocks of kPanel old
    // columns: the rows solve against the block's triangle, then the block's multipliers update
    // the old columns right of it.
    std::vector<double> packed;
    for (int b0 = 0; b0 < k0; b0 += kPanel) {
      const int b1 = std::min(k0, b0 + kPanel);
#pragma omp parallel for schedule(dynamic, 16) if (static_cast<long>(n - k0) * (b1 - b0) * (b1 - b0) > (1L << 18))
      for (int i = k0; i < n; ++i) {
        double* r = A[i];
        for (int j = b0; j < b1; ++j) {
          const double l = r[j] / A[j][j];
          r[j] = l;
          if (l == 0.0) continue;
          const double* u = A[j];
          for (int q = j + 1; q < b1; ++q) r[q] -= l * u[q];
        }
      }
      trailingUpdate(A, n, k0, b1, k0, b0, b1 - b0, packed);
    }
    // Phase 2: the new columns.  The old rows turn into U12 panel by panel, each panel's update
    // is applied to every row below it, then the trailing block is factorised.
    for (int b0 = 0; b0 < k0; b0 += kPanel) {
      const int kb = std::min(kPanel, k0 - b0);
      panelRowSolve(A, b0, kb, k0, n);
      trailingUpdate(A, n, b0 + kb, k0, n, b0, kb, packed);
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
