#pragma once
// Blocked LU building blocks over row-pointer matrices (each row its own array).

// Rows [r0, r1) of C, columns [c0, c0 + ncols): C -= L * U, where L is rows [r0, r1) of the
// row-pointer matrix Lrows at columns [l0, l0 + kdim) and U is packed by t_packUpanel.
void t_denseUpdateGemm(double** Crows, int r0, int r1, int c0, int ncols, double* const* Lrows,
                       int l0, int kdim, const double* Upacked);

// Packs rows [p0, p0 + kdim) x columns [c0, c0 + ncols) of a row-pointer matrix into blocks of
// 8 columns: block b, row p, lane q at ((b * kdim) + p) * 8 + q; columns past ncols are zero.
// Returns the number of doubles needed (for sizing: t_packedSize).
void t_packUpanel(double* const* rows, int p0, int kdim, int c0, int ncols, double* out);
inline long t_packedSize(int kdim, int ncols) { return (long)((ncols + 7) / 8) * 8 * kdim; }
