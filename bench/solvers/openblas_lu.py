#!/usr/bin/python3
"""Reference side of the dense LU benchmark: scipy.linalg.lu_factor + lu_solve (LAPACK dgetrf +
dgetrs of the BLAS/LAPACK that scipy resolves, OpenBLAS where libopenblas0-pthread is installed).

usage: openblas_lu.py info
       openblas_lu.py solve MATRIX RHS N REPEATS OUT
MATRIX holds N*N float64 values row by row, RHS N values.  Prints the best wall-clock seconds
of factor + solve and writes the solution to OUT.  "info" prints what is measured.
"""
import os
import sys
import time

import numpy as np
import scipy
import scipy.linalg


def describe():
    lib = os.path.realpath("/usr/lib/x86_64-linux-gnu/libblas.so.3")
    text = "scipy %s, numpy %s, libblas.so.3 -> %s" % (scipy.__version__, np.__version__, lib)
    try:
        from threadpoolctl import threadpool_info
        for i in threadpool_info():
            if i.get("user_api") == "blas":
                text += "; loaded %s %s (%s), core type %s, %s threads" % (
                    i.get("internal_api"), i.get("version"), i.get("filepath"), i.get("architecture"),
                    i.get("num_threads"))
    except ImportError:
        text += "; python3-threadpoolctl is not installed: core type unknown"
    env = [v for v in ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE") if v in os.environ]
    if env:
        text += "; WARNING: %s set, a pinned kernel is measured" % ", ".join(env)
    return text


def main():
    if sys.argv[1] == "info":
        print(describe(), flush=True)
        return
    _, _, mpath, bpath, n, repeats, out = sys.argv
    n, repeats = int(n), int(repeats)
    a = np.fromfile(mpath, dtype=np.float64).reshape(n, n)
    b = np.fromfile(bpath, dtype=np.float64)
    best = None
    x = None
    for _ in range(repeats):
        work = np.array(a, order="F")  # LAPACK's own layout, copied before the clock starts
        t0 = time.perf_counter()
        lu = scipy.linalg.lu_factor(work, overwrite_a=True, check_finite=False)
        x = scipy.linalg.lu_solve(lu, b, check_finite=False)
        dt = time.perf_counter() - t0
        best = dt if best is None else min(best, dt)
    x.astype(np.float64).tofile(out)
    print("%.6f" % best, flush=True)


if __name__ == "__main__":
    main()
