#!/usr/bin/python3
"""Times scipy.ndimage.label with the 26-structure on a raw 0/1 byte mask and prints the size of
the seed's component.

Usage: scipy_label.py MASK.u8 W H D X Y Z REPEATS
Prints "seconds S" (best of the repeats) and "component C".
"""
import sys
import time

import numpy as np
from scipy import ndimage


def main():
    path = sys.argv[1]
    W, H, D, x, y, z, repeats = (int(v) for v in sys.argv[2:9])
    mask = np.fromfile(path, dtype=np.uint8).reshape(D, H, W).astype(bool)
    structure = np.ones((3, 3, 3), dtype=bool)
    best = None
    for _ in range(repeats):
        t0 = time.perf_counter()
        labels, _ = ndimage.label(mask, structure=structure)
        t = time.perf_counter() - t0
        best = t if best is None else min(best, t)
    print("seconds %.6f" % best)
    print("component %d" % int(np.count_nonzero(labels == labels[z, y, x])))


if __name__ == "__main__":
    main()
