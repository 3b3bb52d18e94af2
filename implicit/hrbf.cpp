#include "implicit/hrbf.h"

#include <immintrin.h>

#include <cmath>
#include <vector>

namespace {

constexpr double kScale = 1000.0;  // every matrix and right-hand-side entry
constexpr double kCoord = 0.1;     // every coordinate

// Coordinates of a sample in a space of D dimensions.
template <int D>
inline void coordsOf(const THrbfSample& s, double x[D]) {
  x[0] = s.pos[0];
  x[1] = s.pos[1];
  x[2] = s.pos[2];
  for (int c = 3; c < D; ++c) x[c] = s.val[c - 3];
}

// The normal asked of the field's gradient: the first D components, or in space alone the
// spatial part made unit (a zero spatial part stays zero).
template <int D>
inline void normalOf(const THrbfSample& s, double n[D]) {
  if (D == 3) {
    n[0] = s.normal[0];
    n[1] = s.normal[1];
    n[2] = s.normal[2];
    const double l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (l > 0)
      for (int c = 0; c < 3; ++c) n[c] /= l;
  } else {
    for (int c = 0; c < D; ++c) n[c] = s.normal[c];
  }
}

// phi(r), phi'(r)/r and h2(r) (Hessian = h2 d d^T + phi'/r I).
template <int D>
inline void kernelTerms(int kernel, double r, double& phi, double& dr, double& h2) {
  if (kernel == 1) {
    phi = r * r * r;
    dr = 3.0 * r;
    const bool drop = (D == 6) ? r < 1e-6 : r == 0.0;
    h2 = drop ? 0.0 : 3.0 / r;
  } else if (kernel == 2) {
    if (r == 0.0) {
      phi = dr = h2 = 0.0;
    } else {
      const double lr = std::log(r), r2 = r * r;
      phi = r2 * r2 * lr;
      dr = (4.0 * lr + 1.0) * r2;
      h2 = 8.0 * lr + 6.0;
    }
  } else {
    const double r2 = r * r;
    phi = r2 * r2 * r;
    dr = 5.0 * r2 * r;
    h2 = 15.0 * r;
  }
}

// Writes the block of sample a against sample b and its mirror through `put(row, col, value)`.
template <int D, class Put>
inline void writePair(int kernel, int a, int b, const double* xa, const double* xb, Put&& put) {
  constexpr int k = D + 1;
  double d[D];
  double r2 = 0.0;
  for (int l = 0; l < D; ++l) {
    d[l] = kCoord * (xa[l] - xb[l]);
    r2 += d[l] * d[l];
  }
  const double r = std::sqrt(r2);
  double phi, dr, h2;
  kernelTerms<D>(kernel, r, phi, dr, h2);
  const int Ra = k * (a + 1), Rb = k * (b + 1);
  put(Ra, Rb, kScale * phi);
  put(Rb, Ra, kScale * phi);
  for (int l = 0; l < D; ++l) {
    const double g = dr * d[l];
    put(Ra, Rb + 1 + l, -kScale * g);
    put(Ra + 1 + l, Rb, kScale * g);
    put(Rb, Ra + 1 + l, kScale * g);
    put(Rb + 1 + l, Ra, -kScale * g);
    for (int q = 0; q < D; ++q) {
      const double H = h2 * d[l] * d[q] + (l == q ? dr : 0.0);
      put(Ra + 1 + l, Rb + 1 + q, -kScale * H);
      put(Rb + 1 + q, Ra + 1 + l, -kScale * H);
    }
  }
}

template <int D, class Put>
inline void writePolynomial(int a, const double* xa, Put&& put) {
  constexpr int k = D + 1;
  const int Ra = k * (a + 1);
  for (int l = 0; l < D; ++l) {
    put(l, Ra, kScale * kCoord * xa[l]);
    put(Ra, l, kScale * kCoord * xa[l]);
    put(l, Ra + 1 + l, kScale);
    put(Ra + 1 + l, l, kScale);
  }
  put(D, Ra, kScale);
  put(Ra, D, kScale);
}

template <int D>
std::vector<double> packedCoords(int N, const THrbfSample* s) {
  std::vector<double> x(static_cast<size_t>(N) * D);
  for (int a = 0; a < N; ++a) coordsOf<D>(s[a], &x[static_cast<size_t>(a) * D]);
  return x;
}

template <int D>
void buildMatrix(int kernel, int N, const THrbfSample* s, TDenseSqMat* m) {
  const int n = (D + 1) * (N + 1);
  for (int i = 0; i < n; ++i) m->rowPerm[i] = m->colPerm[i] = i;
  double** M = m->rows;
  auto put = [M](int r, int c, double v) { M[r][c] = v; };
  const std::vector<double> x = packedCoords<D>(N, s);
  // Each pair a <= b once; the rows of sample a are written by whoever owns a or b, so split by
  // the outer sample and let every thread write only its own pairs (distinct entries).
#pragma omp parallel for schedule(dynamic, 16) if (N > 256)
  for (int a = 0; a < N; ++a)
    for (int b = a; b < N; ++b)
      writePair<D>(kernel, a, b, &x[static_cast<size_t>(a) * D], &x[static_cast<size_t>(b) * D], put);
  for (int a = 0; a < N; ++a) writePolynomial<D>(a, &x[static_cast<size_t>(a) * D], put);
}

template <int D>
void buildNewRows(int kernel, int Nold, int N, const THrbfSample* s, TDenseSqMat* m) {
  constexpr int k = D + 1;
  const int n = k * (N + 1), n0 = k * (Nold + 1);
  for (int i = n0; i < n; ++i) m->rowPerm[i] = m->colPerm[i] = i;
  std::vector<int> invRow(static_cast<size_t>(n)), invCol(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    invRow[static_cast<size_t>(m->rowPerm[i])] = i;
    invCol[static_cast<size_t>(m->colPerm[i])] = i;
  }
  double** M = m->rows;
  const int* ir = invRow.data();
  const int* ic = invCol.data();
  auto put = [M, ir, ic](int r, int c, double v) { M[ir[r]][ic[c]] = v; };
  const std::vector<double> x = packedCoords<D>(N, s);
  // Pairs of two new samples are written twice with the same values; keep them on one thread
  // each by looping over b outside and over the new a inside per thread-owned b.
#pragma omp parallel for schedule(dynamic, 16) if (N > 256)
  for (int b = 0; b < N; ++b)
    for (int a = Nold; a < N; ++a) {
      if (b >= Nold && b < a) continue;  // the pair (b, a) of two new samples: written once
      writePair<D>(kernel, a, b, &x[static_cast<size_t>(a) * D], &x[static_cast<size_t>(b) * D], put);
    }
  for (int a = Nold; a < N; ++a) writePolynomial<D>(a, &x[static_cast<size_t>(a) * D], put);
}

template <int D>
void buildRhs(int N, const THrbfSample* s, double* rhs) {
  constexpr int k = D + 1;
  for (int i = 0; i < k; ++i) rhs[i] = 0.0;
  for (int a = 0; a < N; ++a) {
    const int Ra = k * (a + 1);
    double n[D];
    normalOf<D>(s[a], n);
    rhs[Ra] = kScale * s[a].target;
    for (int l = 0; l < D; ++l) rhs[Ra + 1 + l] = kScale * n[l];
  }
}

// Sum over the centres of alpha phi(r) - phi'(r)/r (d . beta), d = 0.1 (x - x_a).
template <int D, int K>
double evalSum(const double* x, int N, const double* coef, const THrbfSample* s) {
  constexpr int k = D + 1;
  double sum = 0.0;
#pragma omp parallel for schedule(static) reduction(+ : sum) if (N > 512)
  for (int a = 0; a < N; ++a) {
    double xa[D];
    coordsOf<D>(s[a], xa);
    const double* c = coef + k * (a + 1);
    double r2 = 0.0, dot = 0.0;
    for (int l = 0; l < D; ++l) {
      const double d = kCoord * (x[l] - xa[l]);
      r2 += d * d;
      dot += d * c[1 + l];
    }
    const double r = std::sqrt(r2);
    if (K == 1) {
      sum += r * (c[0] * r2 - 3.0 * dot);
    } else if (K == 2) {
      if (r > 0.0) {
        const double lr = std::log(r);
        sum += c[0] * r2 * r2 * lr - (4.0 * lr + 1.0) * r2 * dot;
      }
    } else {
      sum += r * r2 * (c[0] * r2 - 5.0 * dot);
    }
  }
  return sum;
}

template <int D>
float evalField(int kernel, const double* x, int N, const double* coef, const THrbfSample* s) {
  double sum;
  if (kernel == 1) sum = evalSum<D, 1>(x, N, coef, s);
  else if (kernel == 2) sum = evalSum<D, 2>(x, N, coef, s);
  else sum = evalSum<D, 3>(x, N, coef, s);
  double f = sum + coef[D];
  for (int l = 0; l < D; ++l) f += kCoord * coef[l] * x[l];
  return static_cast<float>(f);
}

}  // namespace

void t_hrbfJoint4_buildMatrix(int kernel, int N, const THrbfSample* s, TDenseSqMat* m) {
  buildMatrix<4>(kernel, N, s, m);
}
void t_hrbfJoint4_buildNewRows(int kernel, int Nold, int N, const THrbfSample* s, TDenseSqMat* m) {
  buildNewRows<4>(kernel, Nold, N, s, m);
}
void t_hrbfJoint4_buildRhs(int N, const THrbfSample* s, double* rhs) { buildRhs<4>(N, s, rhs); }
float t_hrbfJoint4_evalField(int kernel, const double* x, const double* y, const double* z,
                             const double* I, const int* N, const double* coef, const THrbfSample* s) {
  const double p[4] = {*x, *y, *z, *I};
  return evalField<4>(kernel, p, *N, coef, s);
}

void t_hrbfJoint6_buildMatrix(int kernel, int N, const THrbfSample* s, TDenseSqMat* m) {
  buildMatrix<6>(kernel, N, s, m);
}
void t_hrbfJoint6_buildNewRows(int kernel, int Nold, int N, const THrbfSample* s, TDenseSqMat* m) {
  buildNewRows<6>(kernel, Nold, N, s, m);
}
void t_hrbfJoint6_buildRhs(int N, const THrbfSample* s, double* rhs) { buildRhs<6>(N, s, rhs); }
float t_hrbfJoint6_evalField(int kernel, const double* x, const double* y, const double* z,
                             const double* I1, const double* I2, const double* I3, const int* N,
                             const double* coef, const THrbfSample* s) {
  const double p[6] = {*x, *y, *z, *I1, *I2, *I3};
  return evalField<6>(kernel, p, *N, coef, s);
}

void t_hrbfSpatial_buildSystem(int kernel, int N, const THrbfSample* s, double* rhs, TDenseSqMat* m) {
  buildMatrix<3>(kernel, N, s, m);
  buildRhs<3>(N, s, rhs);
}
float t_hrbfSpatial_evalField(int kernel, const double* x, const double* y, const double* z,
                              const int* N, const double* coef, const THrbfSample* s) {
  const double p[3] = {*x, *y, *z};
  return evalField<3>(kernel, p, *N, coef, s);
}

// ---- packed field ----------------------------------------------------------------------------

THrbfField::THrbfField(int dim, int kernel, int N, const double* coef, const THrbfSample* s)
    : m_dim(dim == 3 || dim == 6 ? dim : 4), m_kernel(kernel == 1 || kernel == 2 ? kernel : 3), m_n(N) {
  const int D = m_dim, k = D + 1;
  const size_t n = static_cast<size_t>(N);
  m_c.assign(n * D, 0.0);
  m_beta.assign(n * D, 0.0);
  m_alpha.assign(n, 0.0);
  for (int a = 0; a < N; ++a) {
    double x[6] = {s[a].pos[0], s[a].pos[1], s[a].pos[2], s[a].val[0], s[a].val[1], s[a].val[2]};
    const double* c = coef + k * (a + 1);
    m_alpha[static_cast<size_t>(a)] = c[0];
    for (int l = 0; l < D; ++l) {
      m_c[l * n + a] = kCoord * x[l];
      m_beta[l * n + a] = c[1 + l];
    }
  }
  for (int l = 0; l <= D; ++l) m_poly[l] = coef[l];
}

namespace {

template <int D, int K>
double packedSum(const double* xs, int N, const double* C, const double* alpha, const double* beta) {
  const size_t n = static_cast<size_t>(N);
  double sum = 0.0;
#pragma omp simd reduction(+ : sum)
  for (int a = 0; a < N; ++a) {
    double r2 = 0.0, dot = 0.0;
    for (int l = 0; l < D; ++l) {
      const double d = xs[l] - C[l * n + a];
      r2 += d * d;
      dot += d * beta[l * n + a];
    }
    const double r = __builtin_sqrt(r2);
    if (K == 1) {
      sum += r * (alpha[a] * r2 - 3.0 * dot);
    } else if (K == 2) {
      const double lr = r > 0.0 ? std::log(r) : 0.0;
      sum += r > 0.0 ? alpha[a] * r2 * r2 * lr - (4.0 * lr + 1.0) * r2 * dot : 0.0;
    } else {
      sum += r * r2 * (alpha[a] * r2 - 5.0 * dot);
    }
  }
  return sum;
}

// The same sums four centres at a time (r^3 and r^5; r^4 log r stays with the loop above).
template <int D, int K>
__attribute__((target("avx2,fma"))) double packedSumAvx2(const double* xs, int N, const double* C,
                                                          const double* alpha, const double* beta) {
  const size_t n = static_cast<size_t>(N);
  __m256d acc = _mm256_setzero_pd();
  __m256d x[D];
  for (int l = 0; l < D; ++l) x[l] = _mm256_set1_pd(xs[l]);
  const __m256d three = _mm256_set1_pd(K == 1 ? 3.0 : 5.0);
  int a = 0;
  for (; a + 4 <= N; a += 4) {
    __m256d r2 = _mm256_setzero_pd(), dot = _mm256_setzero_pd();
    for (int l = 0; l < D; ++l) {
      const __m256d d = _mm256_sub_pd(x[l], _mm256_loadu_pd(C + l * n + a));
      r2 = _mm256_fmadd_pd(d, d, r2);
      dot = _mm256_fmadd_pd(d, _mm256_loadu_pd(beta + l * n + a), dot);
    }
    const __m256d r = _mm256_sqrt_pd(r2);
    // alpha r2 - c dot, times r (r^3) or r^3 (r^5).
    const __m256d inner = _mm256_fmsub_pd(_mm256_loadu_pd(alpha + a), r2, _mm256_mul_pd(three, dot));
    const __m256d w = K == 1 ? r : _mm256_mul_pd(r, r2);
    acc = _mm256_fmadd_pd(w, inner, acc);
  }
  alignas(32) double lanes[4];
  _mm256_store_pd(lanes, acc);
  double sum = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
  for (; a < N; ++a) {
    double r2 = 0.0, dot = 0.0;
    for (int l = 0; l < D; ++l) {
      const double d = xs[l] - C[l * n + a];
      r2 += d * d;
      dot += d * beta[l * n + a];
    }
    const double r = std::sqrt(r2);
    sum += K == 1 ? r * (alpha[a] * r2 - 3.0 * dot) : r * r2 * (alpha[a] * r2 - 5.0 * dot);
  }
  return sum;
}

bool haveAvx2() {
  static const bool yes = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return yes;
}

template <int D>
double packedDispatch(int kernel, const double* xs, int N, const double* C, const double* alpha,
                      const double* beta) {
  if (kernel == 2) return packedSum<D, 2>(xs, N, C, alpha, beta);
  if (haveAvx2()) {
    if (kernel == 1) return packedSumAvx2<D, 1>(xs, N, C, alpha, beta);
    return packedSumAvx2<D, 3>(xs, N, C, alpha, beta);
  }
  if (kernel == 1) return packedSum<D, 1>(xs, N, C, alpha, beta);
  return packedSum<D, 3>(xs, N, C, alpha, beta);
}

}  // namespace

float THrbfField::eval(const double* x) const {
  double xs[6];
  for (int l = 0; l < m_dim; ++l) xs[l] = kCoord * x[l];
  double sum;
  if (m_dim == 3) sum = packedDispatch<3>(m_kernel, xs, m_n, m_c.data(), m_alpha.data(), m_beta.data());
  else if (m_dim == 4) sum = packedDispatch<4>(m_kernel, xs, m_n, m_c.data(), m_alpha.data(), m_beta.data());
  else sum = packedDispatch<6>(m_kernel, xs, m_n, m_c.data(), m_alpha.data(), m_beta.data());
  double f = sum + m_poly[m_dim];
  for (int l = 0; l < m_dim; ++l) f += kCoord * m_poly[l] * x[l];
  return static_cast<float>(f);
}
