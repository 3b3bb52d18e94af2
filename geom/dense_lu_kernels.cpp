#include "geom/dense_lu_kernels.h"

#include <vector>

void t_packUpanel(double* const* rows, int p0, int kdim, int c0, int ncols, double* out) {
  const int nblocks = (ncols + 7) / 8;
  for (int b = 0; b < nblocks; ++b) {
    const int cb = c0 + b * 8;
    const int w = (ncols - b * 8) < 8 ? (ncols - b * 8) : 8;
    double* dst = out + (long)b * kdim * 8;
    for (int p = 0; p < kdim; ++p) {
      const double* src = rows[p0 + p] + cb;
      double* d = dst + (long)p * 8;
      for (int q = 0; q < w; ++q) d[q] = src[q];
      for (int q = w; q < 8; ++q) d[q] = 0.0;
    }
  }
}

namespace {

// 4 rows x 8 columns of C -= L(4 x kdim) * Ublock(kdim x 8).  Written so that the compiler keeps
// the 32 accumulators in vector registers; compiled twice (baseline and AVX2/FMA).
#define KESTRIN_GEMM_KERNEL_BODY                                                     \
  double acc[4][8];                                                                  \
  for (int r = 0; r < 4; ++r)                                                        \
    for (int q = 0; q < 8; ++q) acc[r][q] = 0.0;                                     \
  for (int p = 0; p < kdim; ++p) {                                                   \
    const double* u = U + (long)p * 8;                                               \
    const double a0 = l0[p], a1 = l1[p], a2 = l2[p], a3 = l3[p];                     \
    for (int q = 0; q < 8; ++q) {                                                    \
      acc[0][q] += a0 * u[q];                                                        \
      acc[1][q] += a1 * u[q];                                                        \
      acc[2][q] += a2 * u[q];                                                        \
      acc[3][q] += a3 * u[q];                                                        \
    }                                                                                \
  }                                                                                  \
  double* cr[4] = {c0, c1, c2, c3};                                                  \
  for (int r = 0; r < 4; ++r)                                                        \
    for (int q = 0; q < w; ++q) cr[r][q] -= acc[r][q];

__attribute__((target("avx2,fma"))) void kernel4x8_avx2(const double* l0, const double* l1,
                                                         const double* l2, const double* l3,
                                                         int kdim, const double* U, double* c0,
                                                         double* c1, double* c2, double* c3,
                                                         int w) {
  KESTRIN_GEMM_KERNEL_BODY
}

void kernel4x8_base(const double* l0, const double* l1, const double* l2, const double* l3,
                    int kdim, const double* U, double* c0, double* c1, double* c2, double* c3,
                    int w) {
  KESTRIN_GEMM_KERNEL_BODY
}

using Kernel = void (*)(const double*, const double*, const double*, const double*, int,
                        const double*, double*, double*, double*, double*, int);

Kernel pickKernel() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return kernel4x8_avx2;
  return kernel4x8_base;
}

}  // namespace

void t_denseUpdateGemm(double** Crows, int r0, int r1, int c0, int ncols, double* const* Lrows,
                       int l0, int kdim, const double* Upacked) {
  static const Kernel kernel = pickKernel();
  if (r1 <= r0 || ncols <= 0 || kdim <= 0) return;
  const int nblocks = (ncols + 7) / 8;
  // Rows missing from the last group of four read zeros and write to scratch.
  std::vector<double> zeros((r1 - r0) % 4 ? kdim : 0, 0.0);
  for (int i = r0; i < r1; i += 4) {
    const int nr = (r1 - i) < 4 ? (r1 - i) : 4;
    const double* lr[4];
    double* cr[4];
    double scratch[4][8];
    for (int r = 0; r < 4; ++r) lr[r] = r < nr ? Lrows[i + r] + l0 : zeros.data();
    for (int b = 0; b < nblocks; ++b) {
      const int cb = c0 + b * 8;
      const int w = (ncols - b * 8) < 8 ? (ncols - b * 8) : 8;
      for (int r = 0; r < 4; ++r) cr[r] = r < nr ? Crows[i + r] + cb : scratch[r];
      kernel(lr[0], lr[1], lr[2], lr[3], kdim, Upacked + (long)b * kdim * 8, cr[0], cr[1], cr[2],
             cr[3], w);
    }
  }
}
