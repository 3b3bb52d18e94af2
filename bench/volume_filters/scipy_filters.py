#!/usr/bin/python3
"""scipy.ndimage on the benchmark's data: the 5x5x5 Gaussian correlation and 26-connected labels.

Usage: scipy_filters.py N VALUES.f32 MASK.u8 SMOOTHED.f32|- LABELS.i32
Prints "scipy_correlate SECONDS", "scipy_label SECONDS COUNT"; writes the normalised smoothing
(for the accuracy check) and the labels.
"""
import sys
import time

import numpy as np
from scipy import ndimage

n = int(sys.argv[1])
values = np.fromfile(sys.argv[2], dtype=np.float32).reshape(n, n, n)
mask = np.fromfile(sys.argv[3], dtype=np.uint8).reshape(n, n, n)

d = np.arange(-2, 3)
dz, dy, dx = np.meshgrid(d, d, d, indexing="ij")
w = np.exp(-2.0 * (dx * dx + dy * dy + dz * dz)).astype(np.float32)

if sys.argv[4] != "-":  # "-": labels only
    t0 = time.perf_counter()
    num = ndimage.correlate(values, w, mode="constant", cval=0.0)
    t1 = time.perf_counter()
    print("scipy_correlate %.4f" % (t1 - t0), flush=True)
    den = ndimage.correlate(np.ones_like(values), w, mode="constant", cval=0.0)
    (num / den).astype(np.float32).tofile(sys.argv[4])

t0 = time.perf_counter()
labels, count = ndimage.label(mask, structure=np.ones((3, 3, 3), dtype=bool))
t1 = time.perf_counter()
print("scipy_label %.4f %d" % (t1 - t0, count), flush=True)
labels.astype(np.int32).tofile(sys.argv[5])
