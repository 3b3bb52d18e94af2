#include "geom/dense_lu_kernels.h"

#include <immintrin.h>

#include <algorithm>

void t_packL(double* const* rows, int r0, int nrows, int l0, int kdim, double* out) {
  for (int a = 0; a < nrows; a += kGemmMR) {
    const int h = std::min(kGemmMR, nrows - a);
    double* dst = out + static_cast<long>(a) * kdim;
    const double* src[kGemmMR];
    for (int r = 0; r < kGemmMR; ++r) src[r] = r < h ? rows[r0 + a + r] + l0 : nullptr;
    if (h == kGemmMR) {
      for (int p = 0; p < kdim; ++p)
        for (int r = 0; r < kGemmMR; ++r) dst[p * kGemmMR + r] = src[r][p];
    } else {
      for (int p = 0; p < kdim; ++p)
        for (int r = 0; r < kGemmMR; ++r) dst[p * kGemmMR + r] = r < h ? src[r][p] : 0.0;
    }
  }
}

void t_packU(double* const* rows, int p0, int kdim, int c0, int ncols, double* out) {
  for (int b = 0; b < ncols; b += kGemmNR) {
    const int w = std::min(kGemmNR, ncols - b);
    double* dst = out + static_cast<long>(b) * kdim;
    for (int p = 0; p < kdim; ++p) {
      const double* src = rows[p0 + p] + c0 + b;
      double* d = dst + static_cast<long>(p) * kGemmNR;
      for (int q = 0; q < w; ++q) d[q] = src[q];
      for (int q = w; q < kGemmNR; ++q) d[q] = 0.0;
    }
  }
}

namespace {

// ---- Row-major update from packed factors -------------------------------------------------

// One kGemmMR x kGemmNR block: rows C[0 .. nr) at columns [c0, c0 + w) -= L * U.
__attribute__((target("avx512f"))) void blockAvx512(const double* L, const double* U, int kdim,
                                                     double* const* C, int c0, int nr, int w) {
#define KESTRIN_ACC(r)                                                  \
  __m512d x##r##0 = _mm512_setzero_pd(), x##r##1 = _mm512_setzero_pd(), \
          x##r##2 = _mm512_setzero_pd();
  KESTRIN_ACC(0) KESTRIN_ACC(1) KESTRIN_ACC(2) KESTRIN_ACC(3)
  KESTRIN_ACC(4) KESTRIN_ACC(5) KESTRIN_ACC(6) KESTRIN_ACC(7)
#undef KESTRIN_ACC
  for (int p = 0; p < kdim; ++p) {
    const __m512d u0 = _mm512_loadu_pd(U), u1 = _mm512_loadu_pd(U + 8), u2 = _mm512_loadu_pd(U + 16);
#define KESTRIN_FMA(r)                              \
  {                                                 \
    const __m512d a = _mm512_set1_pd(L[r]);         \
    x##r##0 = _mm512_fmadd_pd(a, u0, x##r##0);      \
    x##r##1 = _mm512_fmadd_pd(a, u1, x##r##1);      \
    x##r##2 = _mm512_fmadd_pd(a, u2, x##r##2);      \
  }
    KESTRIN_FMA(0) KESTRIN_FMA(1) KESTRIN_FMA(2) KESTRIN_FMA(3)
    KESTRIN_FMA(4) KESTRIN_FMA(5) KESTRIN_FMA(6) KESTRIN_FMA(7)
#undef KESTRIN_FMA
    L += kGemmMR;
    U += kGemmNR;
  }
  auto lanes = [](int k) -> __mmask8 {
    return k >= 8 ? static_cast<__mmask8>(0xff) : k <= 0 ? 0 : static_cast<__mmask8>((1u << k) - 1);
  };
  const __mmask8 m0 = lanes(w), m1 = lanes(w - 8), m2 = lanes(w - 16);
  const bool full = w == kGemmNR;
#define KESTRIN_STORE(r)                                                                         \
  if (r < nr) {                                                                                  \
    double* c = C[r] + c0;                                                                       \
    if (full) {                                                                                  \
      _mm512_storeu_pd(c, _mm512_sub_pd(_mm512_loadu_pd(c), x##r##0));                           \
      _mm512_storeu_pd(c + 8, _mm512_sub_pd(_mm512_loadu_pd(c + 8), x##r##1));                   \
      _mm512_storeu_pd(c + 16, _mm512_sub_pd(_mm512_loadu_pd(c + 16), x##r##2));                 \
    } else {                                                                                     \
      _mm512_mask_storeu_pd(c, m0, _mm512_sub_pd(_mm512_maskz_loadu_pd(m0, c), x##r##0));        \
      _mm512_mask_storeu_pd(c + 8, m1, _mm512_sub_pd(_mm512_maskz_loadu_pd(m1, c + 8), x##r##1)); \
      _mm512_mask_storeu_pd(c + 16, m2,                                                          \
                            _mm512_sub_pd(_mm512_maskz_loadu_pd(m2, c + 16), x##r##2));          \
    }                                                                                            \
  }
  KESTRIN_STORE(0) KESTRIN_STORE(1) KESTRIN_STORE(2) KESTRIN_STORE(3)
  KESTRIN_STORE(4) KESTRIN_STORE(5) KESTRIN_STORE(6) KESTRIN_STORE(7)
#undef KESTRIN_STORE
}

// The same block without AVX-512, in sub-blocks of 4 rows x 8 columns whose 32 sums stay in
// registers; compiled twice (AVX2/FMA and the baseline).
#define KESTRIN_BLOCK_PORTABLE_BODY                                                   \
  for (int r0 = 0; r0 < nr; r0 += 4) {                                                \
    for (int q0 = 0; q0 < w; q0 += 8) {                                               \
      double acc[4][8] = {};                                                          \
      const double* l = L + r0;                                                       \
      const double* u = U + q0;                                                       \
      for (int p = 0; p < kdim; ++p) {                                                \
        for (int r = 0; r < 4; ++r)                                                   \
          for (int q = 0; q < 8; ++q) acc[r][q] += l[r] * u[q];                       \
        l += kGemmMR;                                                                 \
        u += kGemmNR;                                                                 \
      }                                                                               \
      for (int r = 0; r < 4 && r0 + r < nr; ++r)                                      \
        for (int q = 0; q < 8 && q0 + q < w; ++q) C[r0 + r][c0 + q0 + q] -= acc[r][q]; \
    }                                                                                 \
  }

__attribute__((target("avx2,fma"))) void blockAvx2(const double* L, const double* U, int kdim,
                                                   double* const* C, int c0, int nr, int w) {
  KESTRIN_BLOCK_PORTABLE_BODY
}

void blockBase(const double* L, const double* U, int kdim, double* const* C, int c0, int nr,
               int w) {
  KESTRIN_BLOCK_PORTABLE_BODY
}
#undef KESTRIN_BLOCK_PORTABLE_BODY

using BlockKernel = void (*)(const double*, const double*, int, double* const*, int, int, int);

// ---- Column-major panel update -------------------------------------------------------------

// Rows [i, i + 24) (masks for a shorter last block) of NC columns.
template <int NC>
__attribute__((target("avx512f"))) void panelColsAvx512(double* cols, long ld, int i, __mmask8 m0,
                                                        __mmask8 m1, __mmask8 m2, int p0, int np,
                                                        int q0) {
  __m512d acc[NC][3];
  for (int q = 0; q < NC; ++q) acc[q][0] = acc[q][1] = acc[q][2] = _mm512_setzero_pd();
  const double* ucol[NC];
  for (int q = 0; q < NC; ++q) ucol[q] = cols + (q0 + q) * ld;
  for (int p = p0; p < p0 + np; ++p) {
    const double* l = cols + p * ld + i;
    const __m512d l0 = _mm512_maskz_loadu_pd(m0, l), l1 = _mm512_maskz_loadu_pd(m1, l + 8),
                  l2 = _mm512_maskz_loadu_pd(m2, l + 16);
#pragma GCC unroll 8
    for (int q = 0; q < NC; ++q) {
      const __m512d u = _mm512_set1_pd(ucol[q][p]);
      acc[q][0] = _mm512_fmadd_pd(l0, u, acc[q][0]);
      acc[q][1] = _mm512_fmadd_pd(l1, u, acc[q][1]);
      acc[q][2] = _mm512_fmadd_pd(l2, u, acc[q][2]);
    }
  }
#pragma GCC unroll 8
  for (int q = 0; q < NC; ++q) {
    double* c = cols + (q0 + q) * ld + i;
    _mm512_mask_storeu_pd(c, m0, _mm512_sub_pd(_mm512_maskz_loadu_pd(m0, c), acc[q][0]));
    _mm512_mask_storeu_pd(c + 8, m1, _mm512_sub_pd(_mm512_maskz_loadu_pd(m1, c + 8), acc[q][1]));
    _mm512_mask_storeu_pd(c + 16, m2, _mm512_sub_pd(_mm512_maskz_loadu_pd(m2, c + 16), acc[q][2]));
  }
}

__attribute__((target("avx512f"))) void panelGemmAvx512(double* cols, long ld, int r0, int r1,
                                                        int p0, int np, int q0, int nq) {
  auto lanes = [](int k) -> __mmask8 {
    return k >= 8 ? static_cast<__mmask8>(0xff) : k <= 0 ? 0 : static_cast<__mmask8>((1u << k) - 1);
  };
  for (int i = r0; i < r1; i += 24) {
    const int h = std::min(24, r1 - i);
    const __mmask8 m0 = lanes(h), m1 = lanes(h - 8), m2 = lanes(h - 16);
    int q = q0;
    for (; q + 8 <= q0 + nq; q += 8) panelColsAvx512<8>(cols, ld, i, m0, m1, m2, p0, np, q);
    switch (q0 + nq - q) {
      case 7: panelColsAvx512<7>(cols, ld, i, m0, m1, m2, p0, np, q); break;
      case 6: panelColsAvx512<6>(cols, ld, i, m0, m1, m2, p0, np, q); break;
      case 5: panelColsAvx512<5>(cols, ld, i, m0, m1, m2, p0, np, q); break;
      case 4: panelColsAvx512<4>(cols, ld, i, m0, m1, m2, p0, np, q); break;
      case 3: panelColsAvx512<3>(cols, ld, i, m0, m1, m2, p0, np, q); break;
      case 2: panelColsAvx512<2>(cols, ld, i, m0, m1, m2, p0, np, q); break;
      case 1: panelColsAvx512<1>(cols, ld, i, m0, m1, m2, p0, np, q); break;
      default: break;
    }
  }
}

// Without AVX-512: four multiplier columns at a time down each updated column.
#define KESTRIN_PANEL_PORTABLE_BODY                                                        \
  for (int q = q0; q < q0 + nq; ++q) {                                                     \
    double* c = cols + q * ld;                                                             \
    int p = p0;                                                                            \
    for (; p + 4 <= p0 + np; p += 4) {                                                     \
      const double a0 = c[p], a1 = c[p + 1], a2 = c[p + 2], a3 = c[p + 3];                 \
      const double *l0 = cols + p * ld, *l1 = l0 + ld, *l2 = l1 + ld, *l3 = l2 + ld;       \
      for (int i = r0; i < r1; ++i) c[i] -= (l0[i] * a0 + l1[i] * a1) + (l2[i] * a2 + l3[i] * a3); \
    }                                                                                      \
    for (; p < p0 + np; ++p) {                                                             \
      const double a = c[p];                                                               \
      const double* l = cols + p * ld;                                                     \
      for (int i = r0; i < r1; ++i) c[i] -= l[i] * a;                                      \
    }                                                                                      \
  }

__attribute__((target("avx2,fma"))) void panelGemmAvx2(double* cols, long ld, int r0, int r1,
                                                       int p0, int np, int q0, int nq) {
  KESTRIN_PANEL_PORTABLE_BODY
}

void panelGemmBase(double* cols, long ld, int r0, int r1, int p0, int np, int q0, int nq) {
  KESTRIN_PANEL_PORTABLE_BODY
}
#undef KESTRIN_PANEL_PORTABLE_BODY

using PanelKernel = void (*)(double*, long, int, int, int, int, int, int);

// Sixteen independent partial sums: a single running sum would wait on every addition.
#define KESTRIN_DOT_BODY                                                    \
  double s[16] = {};                                                        \
  int k = 0;                                                                \
  for (; k + 16 <= len; k += 16)                                            \
    for (int q = 0; q < 16; ++q) s[q] += a[k + q] * b[k + q];               \
  double t = 0.0;                                                           \
  for (int q = 0; q < 16; ++q) t += s[q];                                   \
  for (; k < len; ++k) t += a[k] * b[k];                                    \
  return t;

__attribute__((target("avx512f"))) double dotAvx512(const double* a, const double* b, int len) {
  KESTRIN_DOT_BODY
}
__attribute__((target("avx2,fma"))) double dotAvx2(const double* a, const double* b, int len) {
  KESTRIN_DOT_BODY
}
double dotBase(const double* a, const double* b, int len) { KESTRIN_DOT_BODY }
#undef KESTRIN_DOT_BODY

using DotKernel = double (*)(const double*, const double*, int);

struct Kernels {
  BlockKernel block;
  PanelKernel panel;
  DotKernel dot;
};

Kernels pickKernels() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return {blockAvx512, panelGemmAvx512, dotAvx512};
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
    return {blockAvx2, panelGemmAvx2, dotAvx2};
  return {blockBase, panelGemmBase, dotBase};
}

const Kernels& kernels() {
  static const Kernels k = pickKernels();
  return k;
}

}  // namespace

void t_gemmPacked(double* const* Crows, int nrows, int c0, int ncols, const double* Lpacked,
                  const double* Upacked, int kdim) {
  if (nrows <= 0 || ncols <= 0 || kdim <= 0) return;
  const BlockKernel block = kernels().block;
  // Each micro-panel of U (kdim x kGemmNR, a few tens of kB) stays in the first-level cache
  // while every row micro-panel of L passes it.
  for (int b = 0; b < ncols; b += kGemmNR) {
    const int w = std::min(kGemmNR, ncols - b);
    const double* U = Upacked + static_cast<long>(b) * kdim;
    for (int a = 0; a < nrows; a += kGemmMR)
      block(Lpacked + static_cast<long>(a) * kdim, U, kdim, Crows + a, c0 + b,
            std::min(kGemmMR, nrows - a), w);
  }
}

void t_panelGemm(double* cols, long ld, int r0, int r1, int p0, int np, int q0, int nq) {
  if (r1 <= r0 || np <= 0 || nq <= 0) return;
  kernels().panel(cols, ld, r0, r1, p0, np, q0, nq);
}

double t_denseDot(const double* a, const double* b, int len) {
  return len > 0 ? kernels().dot(a, b, len) : 0.0;
}
