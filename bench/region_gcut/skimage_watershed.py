#!/usr/bin/python3
"""skimage.segmentation.watershed on the benchmark's levels and markers (26-connectivity,
watershed lines), timed; then the adjusted Rand index against our labels over the voxels on
neither result's lines.

Usage: skimage_watershed.py W H D LEVELS.u16 MARKERS.i32 OURS.i32
Prints "skimage_watershed SECONDS" and "ari VALUE".
"""
import sys
import time

import numpy as np
from skimage.segmentation import watershed

W, H, D = (int(a) for a in sys.argv[1:4])
levels = np.fromfile(sys.argv[4], dtype=np.uint16).reshape(D, H, W).astype(np.int32)
markers = np.fromfile(sys.argv[5], dtype=np.int32).reshape(D, H, W)
ours = np.fromfile(sys.argv[6], dtype=np.int32).reshape(D, H, W)

t0 = time.perf_counter()
theirs = watershed(levels, markers=markers, connectivity=3, watershed_line=True)
t1 = time.perf_counter()
print("skimage_watershed %.3f" % (t1 - t0), flush=True)

keep = (ours > 0) & (theirs > 0)
a = ours[keep].astype(np.int64)
b = theirs[keep].astype(np.int64)
# contingency table through a sparse pair count
pairs = a * (int(b.max()) + 1) + b
_, nij = np.unique(pairs, return_counts=True)
_, ai = np.unique(a, return_counts=True)
_, bj = np.unique(b, return_counts=True)
comb = lambda x: float((x.astype(np.float64) * (x - 1) / 2).sum())
n = a.size
s_ij, s_a, s_b = comb(nij), comb(ai), comb(bj)
expected = s_a * s_b / (n * (n - 1) / 2)
print("ari %.6f" % ((s_ij - expected) / (0.5 * (s_a + s_b) - expected)))
