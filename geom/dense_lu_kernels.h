#pragma once
// Blocked LU building blocks over row-pointer matrices (each row its own array).
//
// The trailing update C -= L * U runs on packed copies of both factors: L in micro-panels of
// kGemmMR rows (row r of micro-panel a, column p at ((a * kdim) + p) * kGemmMR + r) and U in
// micro-panels of kGemmNR columns (row p, lane q of micro-panel b at ((b * kdim) + p) * kGemmNR
// + q); rows and columns past the end are zero.  The register kernel keeps a kGemmMR x kGemmNR
// block of C in registers over the whole depth.

constexpr int kGemmMR = 8;
constexpr int kGemmNR = 24;

inline long t_packedLSize(int nrows, int kdim) {
  return static_cast<long>((nrows + kGemmMR - 1) / kGemmMR) * kGemmMR * kdim;
}
inline long t_packedUSize(int kdim, int ncols) {
  return static_cast<long>((ncols + kGemmNR - 1) / kGemmNR) * kGemmNR * kdim;
}

// Packs rows [r0, r0 + nrows) x columns [l0, l0 + kdim) of a row-pointer matrix.
void t_packL(double* const* rows, int r0, int nrows, int l0, int kdim, double* out);

// Packs rows [p0, p0 + kdim) x columns [c0, c0 + ncols) of a row-pointer matrix.
void t_packU(double* const* rows, int p0, int kdim, int c0, int ncols, double* out);

// Rows Crows[0 .. nrows) at columns [c0, c0 + ncols): C -= L * U, with L packed from those rows
// (Lpacked starts at their first micro-panel) and U packed from those columns (Upacked starts at
// their first micro-panel).
void t_gemmPacked(double* const* Crows, int nrows, int c0, int ncols, const double* Lpacked,
                  const double* Upacked, int kdim);

// Column-major block update of a panel kept by columns (column q at cols + q * ld):
// rows [r0, r1) of columns [q0, q0 + nq) -= rows [r0, r1) of columns [p0, p0 + np) times
// the entries (rows [p0, p0 + np)) of the same columns [q0, q0 + nq).  The rows [p0, p0 + np)
// of the updated columns must lie outside [r0, r1).
void t_panelGemm(double* cols, long ld, int r0, int r1, int p0, int np, int q0, int nq);

// Sum of a[k] * b[k] over k < len, in several partial sums (for the substitutions of a solve).
double t_denseDot(const double* a, const double* b, int len);
