#!/usr/bin/python3
"""Reference values of RBF interpolants for the engine's tests.

usage: rbf_reference.py IN OUT
IN:  first line "kernel dim nPoints nQueries"; then nPoints lines of dim coordinates and a value;
     then nQueries lines of dim coordinates.
OUT: one interpolated value per query ("%.17g").
Exit 3 when scipy is not available.
"""
import sys

try:
    import numpy as np
    from scipy.interpolate import RBFInterpolator
except ImportError:
    sys.exit(3)


def main():
    with open(sys.argv[1]) as f:
        head = f.readline().split()
        kernel, dim, n, q = head[0], int(head[1]), int(head[2]), int(head[3])
        rows = np.array([[float(t) for t in f.readline().split()] for _ in range(n)])
        queries = np.array([[float(t) for t in f.readline().split()] for _ in range(q)])
    rbf = RBFInterpolator(rows[:, :dim], rows[:, dim], kernel=kernel, degree=1)
    vals = rbf(queries)
    with open(sys.argv[2], "w") as f:
        for v in vals:
            f.write("%.17g\n" % v)


main()
