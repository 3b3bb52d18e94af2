#!/usr/bin/python3
"""OpenBLAS LU of the benchmark's own matrix: scipy.linalg.lu_factor on the same n x n doubles.

usage: lu_reference.py FILE N REPEATS
Prints "reference lu n=N seconds=S" (best of REPEATS), then which BLAS numpy resolved.
"""
import sys
import time

import numpy as np
import scipy.linalg


def blas_in_use():
    libs = set()
    with open("/proc/self/maps") as f:
        for line in f:
            path = line.split()[-1] if "/" in line else ""
            if "blas" in path or "lapack" in path:
                libs.add(path)
    info = ""
    try:
        import threadpoolctl
        for lib in threadpoolctl.threadpool_info():
            if lib.get("user_api") == "blas":
                info += " %s %s threads=%s kernel=%s" % (lib.get("internal_api"), lib.get("version"),
                                                         lib.get("num_threads"), lib.get("architecture"))
    except ImportError:
        info = " (threadpoolctl missing)"
    return sorted(libs), info


def main():
    path, n, reps = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    a = np.fromfile(path, dtype=np.float64).reshape(n, n)
    best = float("inf")
    for _ in range(reps):
        work = a.copy()
        t0 = time.perf_counter()
        scipy.linalg.lu_factor(work, overwrite_a=True, check_finite=False)
        best = min(best, time.perf_counter() - t0)
    print("reference lu n=%d seconds=%.4f" % (n, best))
    libs, info = blas_in_use()
    print("reference blas:%s" % info)
    for lib in libs:
        print("reference library: %s" % lib)


main()
