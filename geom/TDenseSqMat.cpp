#include "geom/TDenseSqMat.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>
#include <new>
#include <utility>
#include <vector>

#include "geom/dense_lu_kernels.h"
#include "platform/LargeMemory.h"
#include "platform/Progress.h"

namespace {

constexpr int kPanel = 128;      // columns factorised together before the trailing update
constexpr int kLeaf = 16;        // panel columns eliminated one at a time
constexpr long kParallelWork = 1L << 20;  // multiply-adds below which a step runs on one thread

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

// One trailing update, C -= L * U with C = rows [r0, n) x columns [c0, cEnd), L = the same rows
// at columns [p0, p0 + kb) and U = rows [p0, p0 + kb) at columns [c0, cEnd): both factors are
// packed once, then tiles of C are handed out to threads as they come free.  The tiles write
// through a copy of the row pointers taken by prepare(), so that rows may be exchanged (the
// pointers swapped) while the update runs.
//
// prepare() and plan() run before the parallel region; inside it every thread calls pack()
// (which ends with a barrier), then run() on the tile sets.
class TrailingUpdate {
 public:
  // Tiles over all rows and a range of columns, taken one at a time by whichever thread asks.
  struct Tiles {
    int ca = 0, cb = 0, tr = 96, tc = 480, nRow = 0, nCol = 0;
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    int count() const { return nRow * nCol; }
    // Whether every tile has been applied (not only taken).
    bool finished() const { return done.load(std::memory_order_acquire) == count(); }
  };

  // Columns [0, split) and [split, cEnd - c0) are packed apart, so that tile sets may start at
  // either.  With solveRows, pack() first turns rows [p0, p0 + kb) of the columns into rows of
  // U (forward substitution with the unit lower triangle of their diagonal block).
  void prepare(double** A, int n, int r0, int c0, int cEnd, int p0, int kb, int split,
               bool solveRows) {
    A_ = A;
    m_ = std::max(0, n - r0);
    nc_ = std::max(0, cEnd - c0);
    c0_ = c0;
    r0_ = r0;
    p0_ = p0;
    kb_ = kb;
    solveRows_ = solveRows;
    if (kb <= 0) m_ = nc_ = 0;
    split_ = std::min(std::max(split, 0), nc_);
    L_.resize(static_cast<size_t>(t_packedLSize(m_, kb_)));
    U_.resize(static_cast<size_t>(t_packedUSize(kb_, split_) + t_packedUSize(kb_, nc_ - split_)));
    rows_.assign(A + r0, A + r0 + m_);
  }

  long work() const { return static_cast<long>(m_) * nc_ * kb_; }

  // Splits the columns [ca, cb) (relative to c0) of all rows into tiles, enough of them for
  // the threads to share.
  void plan(Tiles& T, int ca, int cb, int threads) const {
    T.ca = ca;
    T.tr = 96;
    T.tc = 480;
    const int w = std::max(0, std::min(cb, nc_) - ca);
    const long want = 4L * threads;
    auto count = [&] { return static_cast<long>((m_ + T.tr - 1) / T.tr) * ((w + T.tc - 1) / T.tc); };
    // Widths stay multiples of kGemmNR, heights multiples of kGemmMR.
    while (count() < want && T.tc > 48) T.tc = T.tc > 120 ? T.tc / 2 : 48;
    while (count() < want && T.tr > 24) T.tr /= 2;
    T.nRow = m_ > 0 ? (m_ + T.tr - 1) / T.tr : 0;
    T.nCol = w > 0 ? (w + T.tc - 1) / T.tc : 0;
    T.cb = ca + w;
    T.next.store(0, std::memory_order_relaxed);
    T.done.store(0, std::memory_order_relaxed);
  }

  void pack() {
    const int nL = (m_ + kPackRows - 1) / kPackRows;
    const int nU0 = (split_ + kPackCols - 1) / kPackCols;
    const int nU1 = (nc_ - split_ + kPackCols - 1) / kPackCols;
    // The column chunks first: they carry the row solves.
#pragma omp for schedule(dynamic, 1)
    for (int t = 0; t < nL + nU0 + nU1; ++t) {
      if (t < nU0 + nU1) {
        const int b = t < nU0 ? t * kPackCols : split_ + (t - nU0) * kPackCols;
        const int w = std::min(kPackCols, (b < split_ ? split_ : nc_) - b);
        if (solveRows_) solveRowsOfU(c0_ + b, c0_ + b + w);
        t_packU(A_, p0_, kb_, c0_ + b, w, U_.data() + uOffset(b));
      } else {
        const int a = (t - nU0 - nU1) * kPackRows;
        t_packL(A_, r0_ + a, std::min(kPackRows, m_ - a), p0_, kb_,
                L_.data() + static_cast<long>(a) * kb_);
      }
    }
  }

  void run(Tiles& T) const {
    const int count = T.count();
    for (int t = T.next.fetch_add(1, std::memory_order_relaxed); t < count;
         t = T.next.fetch_add(1, std::memory_order_relaxed)) {
      const int ra = (t % T.nRow) * T.tr, rb = std::min(m_, ra + T.tr);
      const int ca = T.ca + (t / T.nRow) * T.tc, cb = std::min(T.cb, ca + T.tc);
      t_gemmPacked(rows_.data() + ra, rb - ra, c0_ + ca, cb - ca,
                   L_.data() + static_cast<long>(ra) * kb_, U_.data() + uOffset(ca), kb_);
      T.done.fetch_add(1, std::memory_order_acq_rel);
    }
  }

 private:
  static constexpr int kPackRows = 64;   // a multiple of kGemmMR
  // A multiple of kGemmNR; small, since these chunks also carry the row solves.
  static constexpr int kPackCols = 96;

  // Where column c (relative to c0; a micro-panel's first column) starts in the packed U.
  long uOffset(int c) const {
    return c < split_ ? static_cast<long>(c) * kb_
                      : t_packedUSize(kb_, split_) + static_cast<long>(c - split_) * kb_;
  }

  void solveRowsOfU(int qa, int qb) const {
    for (int r = p0_ + 1; r < p0_ + kb_; ++r) {
      double* row = A_[r];
      for (int p = p0_; p < r; ++p) {
        const double l = row[p];
        if (l == 0.0) continue;
        const double* u = A_[p];
        for (int q = qa; q < qb; ++q) row[q] -= l * u[q];
      }
    }
  }

  double** A_ = nullptr;
  std::vector<double> L_, U_;
  std::vector<double*> rows_;
  int m_ = 0, nc_ = 0, c0_ = 0, r0_ = 0, p0_ = 0, kb_ = 0, split_ = 0;
  bool solveRows_ = false;
};

// rows [r0, n) x columns [c0, cEnd) -= L(rows, [p0, p0 + kb)) * U([p0, p0 + kb), [c0, cEnd)),
// after turning rows [p0, p0 + kb) of those columns into rows of U when solveRows is set.
void trailingUpdate(double** A, int n, int r0, int c0, int cEnd, int p0, int kb, bool solveRows,
                    TrailingUpdate& up) {
  if (cEnd <= c0 || kb <= 0) return;
  up.prepare(A, n, r0, c0, cEnd, p0, kb, 0, solveRows);
  TrailingUpdate::Tiles all;
  up.plan(all, 0, cEnd - c0, omp_get_max_threads());
#pragma omp parallel if (up.work() + static_cast<long>(kb) * kb * (cEnd - c0) > kParallelWork)
  {
    up.pack();
    up.run(all);
  }
}

// A panel: rows [k, n) x columns [k, k + w) of the matrix, copied column by column so that
// pivot searches and eliminations run down contiguous columns.  Row and column indices below
// are relative to k.
class Panel {
 public:
  Panel(double** A, int n, int k, int w, bool parallel)
      : A_(A), k_(k), m_(n - k), w_(w), v_(static_cast<size_t>(m_) * w), parallel_(parallel) {
#pragma omp parallel for schedule(static) if (parallel && static_cast<long>(m_) * w > (1L << 16))
    for (int i = 0; i < m_; ++i) {
      const double* r = A[k + i] + k;
      for (int j = 0; j < w; ++j) v_[static_cast<size_t>(j) * m_ + i] = r[j];
    }
  }
  double* col(int j) { return v_.data() + static_cast<size_t>(j) * m_; }
  double* data() { return v_.data(); }
  int rows() const { return m_; }
  bool parallel() const { return parallel_; }

  // Exchanges panel rows a and b, and the matrix rows they stand for (whole rows: the pointers).
  void swapRows(int a, int b, int* rowPerm) {
    for (int j = 0; j < w_; ++j) std::swap(col(j)[a], col(j)[b]);
    std::swap(A_[k_ + a], A_[k_ + b]);
    std::swap(rowPerm[k_ + a], rowPerm[k_ + b]);
  }

  // Writes the factored panel back into the (exchanged) rows.
  void store() {
#pragma omp parallel for schedule(static) if (parallel_ && static_cast<long>(m_) * w_ > (1L << 16))
    for (int i = 0; i < m_; ++i) {
      double* r = A_[k_ + i] + k_;
      for (int j = 0; j < w_; ++j) r[j] = v_[static_cast<size_t>(j) * m_ + i];
    }
  }

 private:
  double** A_;
  int k_, m_, w_;
  std::vector<double> v_;
  bool parallel_;
};

// Panel columns [q0, q0 + nq), rows [r0, rows): C -= L(rows, [p0, p0 + np)) * U([p0, p0 + np), cols).
// U sits in the same columns above r0 (r0 >= p0 + np), so no task writes what another reads.
void panelGemm(Panel& P, int r0, int p0, int np, int q0, int nq) {
  const int m = P.rows();
  if (r0 >= m || np <= 0 || nq <= 0) return;
  const int grain = 192;
  const int nChunks = (m - r0 + grain - 1) / grain;
  const long work = static_cast<long>(m - r0) * np * nq;
#pragma omp parallel for schedule(dynamic, 1) if (P.parallel() && work > (1L << 21))
  for (int ch = 0; ch < nChunks; ++ch) {
    const int ia = r0 + ch * grain, ib = std::min(m, ia + grain);
    t_panelGemm(P.data(), m, ia, ib, p0, np, q0, nq);
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

// Factorises the panel of columns [k, k + kb) (rows [k, n) hold its Schur complement) and
// writes it back.  Returns the first column without a usable pivot, or -1.
int factorPanelAt(double** A, int* rowPerm, int n, int k, int kb, const int* limits, bool search,
                  const std::vector<double>& tiny, const std::function<void(double)>& progress,
                  bool parallel) {
  Panel P(A, n, k, kb, parallel);
  PanelJob job{P, k, n, rowPerm, limits, search, tiny, progress};
  const int bad = factorPanel(job, 0, kb);
  P.store();
  return bad;
}

// Factorises columns [c0, n), whose rows [c0, n) already hold the Schur complement, panel by
// panel.  Once a panel is factorised its U rows are solved and both factors packed; then the
// next panel's columns are updated first, and while one thread factorises that panel the
// others update the rest of the trailing matrix (its rows move only by pointer exchanges,
// which the update does not see).  Returns the first column without a usable pivot, or -1.
int blockedFactor(double** A, int* rowPerm, int n, int c0, const int* limits,
                  bool searchWithoutLimits, const std::vector<double>& tiny,
                  const std::function<void(double)>& progress) {
  if (c0 >= n) return -1;
  int bad = factorPanelAt(A, rowPerm, n, c0, std::min(kPanel, n - c0), limits, searchWithoutLimits,
                          tiny, progress, true);
  TrailingUpdate up;
  for (int k = c0; bad < 0;) {
    const int kb = std::min(kPanel, n - k);
    const int kend = k + kb;
    if (kend >= n) break;
    const int nb = std::min(kPanel, n - kend);
    const long work = static_cast<long>(n - kend) * (n - kend) * kb;
    int nextBad = -1;
    TrailingUpdate::Tiles nextPanel, rest;
    up.prepare(A, n, kend, kend, n, k, kb, nb, true);
    up.plan(nextPanel, 0, nb, omp_get_max_threads());
    up.plan(rest, nb, n - kend, omp_get_max_threads());
#pragma omp parallel if (work > kParallelWork)
    {
      up.pack();
      // Everyone starts on the next panel's columns; the calling thread then waits until they
      // are all updated, factorises the panel (progress is reported from it) and joins the
      // others on the rest of the trailing matrix.
      up.run(nextPanel);
      if (omp_get_thread_num() == 0) {
        while (!nextPanel.finished()) std::this_thread::yield();
        nextBad = factorPanelAt(A, rowPerm, n, kend, nb, limits, searchWithoutLimits, tiny,
                                progress, false);
      }
      up.run(rest);
    }
    bad = nextBad;
    k = kend;
  }
  return bad;
}
// All rows live in one block, each starting on a cache line (the update's column blocks,
// multiples of eight columns from an aligned start, never straddle two lines).  A block of
// several megabytes is placed on 2 MB boundaries and offered huge pages: after pivoting the
// rows are visited in an order unrelated to their addresses, and with small pages nearly every
// row visited also misses the address translation cache.
size_t rowStride(int n) { return (static_cast<size_t>(n) + 7) / 8 * 8; }
size_t blockBytes(int n) { return sizeof(double) * rowStride(n) * static_cast<size_t>(n > 0 ? n : 1); }

}  // namespace

TDenseSqMat::TDenseSqMat(int n_) : n(n_ > 0 ? n_ : 0) {
  std::fprintf(stderr, "TDenseSqMat construct %d \n", n);
  rows = new double*[n > 0 ? n : 1];
  rowPerm = new int[n > 0 ? n : 1];
  colPerm = new int[n > 0 ? n : 1];
  m_block = static_cast<double*>(t_allocLines(blockBytes(n)));
  std::memset(m_block, 0, blockBytes(n));
  for (int i = 0; i < n; ++i) {
    rows[i] = m_block + rowStride(n) * static_cast<size_t>(i);
    rowPerm[i] = i;
    colPerm[i] = i;
  }
}

TDenseSqMat::~TDenseSqMat() {
  std::fprintf(stderr, "TDenseSqMat destract %d\n", n);
  t_freeLines(m_block, blockBytes(n));
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
    TrailingUpdate packed;
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
      trailingUpdate(A, n, k0, b1, k0, b0, b1 - b0, false, packed);
    }
    // Phase 2: the new columns.  The old rows turn into U12 panel by panel, each panel's update
    // is applied to every row below it, then the trailing block is factorised.
    for (int b0 = 0; b0 < k0; b0 += kPanel) {
      const int kb = std::min(kPanel, k0 - b0);
      trailingUpdate(A, n, b0 + kb, k0, n, b0, kb, true, packed);
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
  for (int i = 0; i < n; ++i) y[i] -= t_denseDot(rows[i], y.data(), i);
  for (int i = n - 1; i >= 0; --i)
    z[i] = (y[i] - t_denseDot(rows[i] + i + 1, z.data() + i + 1, n - 1 - i)) / rows[i][i];
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
