#pragma once
// The solver component: a shared library beside the program exporting five UMFPACK-style entry
// points (double values, int indices, no control or information arrays).  Each returns UMFPACK's
// status code (0 = ok, 1 = singular matrix, negative = error).
#include <string>

extern "C" {
typedef int (*t_umfpack_di_symbolic_fn)(int n_row, int n_col, const int* Ap, const int* Ai,
                                        const double* Ax, void** Symbolic);
typedef int (*t_umfpack_di_numeric_fn)(const int* Ap, const int* Ai, const double* Ax,
                                       void* Symbolic, void** Numeric);
typedef int (*t_umfpack_di_solve_fn)(int sys, const int* Ap, const int* Ai, const double* Ax,
                                     double* X, const double* B, void* Numeric);
typedef void (*t_umfpack_di_free_symbolic_fn)(void** Symbolic);
typedef void (*t_umfpack_di_free_numeric_fn)(void** Numeric);
}

// File name of the component inside the program's directory.
extern const char* const kUmfpackComponentName;

// Set once at start-up when the component and all five entry points were found.
extern bool g_umfpackDllLoaded;
extern void* g_umfpackDll;

struct TUmfpackEntryPoints {
  t_umfpack_di_symbolic_fn symbolic = nullptr;
  t_umfpack_di_numeric_fn numeric = nullptr;
  t_umfpack_di_solve_fn solve = nullptr;
  t_umfpack_di_free_symbolic_fn freeSymbolic = nullptr;
  t_umfpack_di_free_numeric_fn freeNumeric = nullptr;
};
extern TUmfpackEntryPoints g_umfpack;

// Loads directory + kUmfpackComponentName (directory ends with '/').
bool t_loadUmfpackDll(const char* directory);
// Loads the component from an explicit path (tests).
bool t_loadUmfpackDllFile(const std::string& path);
// Releases the component and returns to the own sparse LU.
void t_freeUmfpackDll();
