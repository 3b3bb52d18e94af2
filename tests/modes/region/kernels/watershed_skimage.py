#!/usr/bin/python3
"""skimage.segmentation.watershed on the same quantised levels, with the same basin minima as
markers, 26-connectivity and watershed lines; prints the adjusted Rand index between its labels
and ours over the voxels that are on neither result's watershed lines.

Usage: watershed_skimage.py W H D LEVELS.u16 LABELS.i32
"""
import sys

import numpy as np
from skimage.segmentation import watershed

W, H, D = (int(a) for a in sys.argv[1:4])
levels = np.fromfile(sys.argv[4], dtype=np.uint16).reshape(D, H, W)
ours = np.fromfile(sys.argv[5], dtype=np.int32).reshape(D, H, W)

# Markers: every basin's voxels at that basin's lowest level.
basins = ours > 0
lab = ours[basins]
lowest = np.full(lab.max() + 1, np.iinfo(np.int32).max, dtype=np.int64)
np.minimum.at(lowest, lab, levels[basins].astype(np.int64))
markers = np.zeros_like(ours)
at_min = basins & (levels == lowest[np.where(basins, ours, 0)])
markers[at_min] = ours[at_min]

theirs = watershed(levels.astype(np.int32), markers=markers, connectivity=3, watershed_line=True)


def ari(a, b):
    _, ai = np.unique(a, return_inverse=True)
    _, bi = np.unique(b, return_inverse=True)
    table = np.zeros((ai.max() + 1, bi.max() + 1), dtype=np.int64)
    np.add.at(table, (ai, bi), 1)
    comb = lambda x: (x * (x - 1) // 2).sum()
    n = a.size
    sum_ij = comb(table)
    sum_a = comb(table.sum(axis=1))
    sum_b = comb(table.sum(axis=0))
    expected = sum_a * sum_b / comb(np.array([n]))
    return (sum_ij - expected) / (0.5 * (sum_a + sum_b) - expected)


keep = (ours > 0) & (theirs > 0)
print("ari %.6f basins %d" % (ari(ours[keep], theirs[keep]), lab.max()))
