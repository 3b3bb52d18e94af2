// The solver component: UMFPACK's di routines behind the five entry points the program looks up.
#include <suitesparse/umfpack.h>

#define KESTRIN_EXPORT extern "C" __attribute__((visibility("default")))

KESTRIN_EXPORT int t_umfpack_di_symbolic(int n_row, int n_col, const int* Ap, const int* Ai,
                                         const double* Ax, void** Symbolic) {
  return umfpack_di_symbolic(n_row, n_col, Ap, Ai, Ax, Symbolic, nullptr, nullptr);
}

KESTRIN_EXPORT int t_umfpack_di_numeric(const int* Ap, const int* Ai, const double* Ax,
                                        void* Symbolic, void** Numeric) {
  return umfpack_di_numeric(Ap, Ai, Ax, Symbolic, Numeric, nullptr, nullptr);
}

KESTRIN_EXPORT int t_umfpack_di_solve(int sys, const int* Ap, const int* Ai, const double* Ax,
                                      double* X, const double* B, void* Numeric) {
  return umfpack_di_solve(sys, Ap, Ai, Ax, X, B, Numeric, nullptr, nullptr);
}

KESTRIN_EXPORT void t_umfpack_di_free_symbolic(void** Symbolic) { umfpack_di_free_symbolic(Symbolic); }

KESTRIN_EXPORT void t_umfpack_di_free_numeric(void** Numeric) { umfpack_di_free_numeric(Numeric); }
