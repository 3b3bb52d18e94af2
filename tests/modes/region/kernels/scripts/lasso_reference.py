#!/usr/bin/python3
"""Reference for the lasso fill: the cells of a grid whose centres lie inside a closed polygon by
the even-odd rule, decided by skimage.measure.points_in_poly (a ray-crossing test).

Input (argv[1]): cases, each "w h cx cy n" then n lines "x y".
Output (argv[2]): one line per case, w*h characters '0'/'1', row by row (row r = y index).
"""
import sys

import numpy as np
from skimage.measure import points_in_poly


def main():
    tokens = open(sys.argv[1]).read().split()
    pos = 0
    lines = []
    while pos < len(tokens):
        w, h = int(tokens[pos]), int(tokens[pos + 1])
        cx, cy = float(tokens[pos + 2]), float(tokens[pos + 3])
        n = int(tokens[pos + 4])
        pos += 5
        poly = np.array([[float(tokens[pos + 2 * k]), float(tokens[pos + 2 * k + 1])] for k in range(n)])
        pos += 2 * n
        cols, rows = np.meshgrid(np.arange(w), np.arange(h))
        centres = np.stack([(cols.ravel() + 0.5) * cx, (rows.ravel() + 0.5) * cy], axis=1)
        inside = points_in_poly(centres, poly)
        lines.append("".join("1" if b else "0" for b in inside))
    with open(sys.argv[2], "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
