#include "geom/umfpack_component.h"

#include <dlfcn.h>

#include <cstdio>

const char* const kUmfpackComponentName = "libkestrin_umfpack.so";

bool g_umfpackDllLoaded = false;
void* g_umfpackDll = nullptr;
TUmfpackEntryPoints g_umfpack;

bool t_loadUmfpackDllFile(const std::string& path) {
  std::fprintf(stderr, "\n\n!!!!!!!!!!!!!load umfpack dll %s ......\n", path.c_str());
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* why = dlerror();
    std::fprintf(stderr, "solver component not loaded (%s): the own sparse LU is used\n",
                 why ? why : "unknown reason");
    return false;
  }
  TUmfpackEntryPoints ep;
  ep.symbolic = reinterpret_cast<t_umfpack_di_symbolic_fn>(dlsym(lib, "t_umfpack_di_symbolic"));
  ep.numeric = reinterpret_cast<t_umfpack_di_numeric_fn>(dlsym(lib, "t_umfpack_di_numeric"));
  ep.solve = reinterpret_cast<t_umfpack_di_solve_fn>(dlsym(lib, "t_umfpack_di_solve"));
  ep.freeSymbolic =
      reinterpret_cast<t_umfpack_di_free_symbolic_fn>(dlsym(lib, "t_umfpack_di_free_symbolic"));
  ep.freeNumeric =
      reinterpret_cast<t_umfpack_di_free_numeric_fn>(dlsym(lib, "t_umfpack_di_free_numeric"));
  const char* missing = nullptr;
  if (!ep.symbolic) missing = "fail : t_dll_umfpack_di_symbolic\n";
  else if (!ep.numeric) missing = "fail : t_dll_umfpack_di_numeric\n";
  else if (!ep.solve) missing = "fail : t_dll_umfpack_di_solve\n";
  else if (!ep.freeSymbolic) missing = "fail : t_dll_umfpack_di_free_symbolic\n";
  else if (!ep.freeNumeric) missing = "fail : t_dll_umfpack_di_free_numeric\n";
  if (missing) {
    std::fputs(missing, stderr);
    std::fputs("solver component incomplete: the own sparse LU is used\n", stderr);
    dlclose(lib);
    return false;
  }
  g_umfpack = ep;
  g_umfpackDll = lib;
  g_umfpackDllLoaded = true;
  std::fputs("Done!!\n", stderr);
  return true;
}

bool t_loadUmfpackDll(const char* directory) {
  return t_loadUmfpackDllFile(std::string(directory ? directory : "") + kUmfpackComponentName);
}

void t_freeUmfpackDll() {
  if (g_umfpackDll) dlclose(g_umfpackDll);
  g_umfpackDll = nullptr;
  g_umfpackDllLoaded = false;
  g_umfpack = TUmfpackEntryPoints();
}
