// A solver component without its last entry point: loading it must fail cleanly.
#define EXPORT extern "C" __attribute__((visibility("default")))
EXPORT int t_umfpack_di_symbolic(int, int, const int*, const int*, const double*, void**) { return -1; }
EXPORT int t_umfpack_di_numeric(const int*, const int*, const double*, void*, void**) { return -1; }
EXPORT int t_umfpack_di_solve(int, const int*, const int*, const double*, double*, const double*, void*) { return -1; }
EXPORT void t_umfpack_di_free_symbolic(void**) {}
