#!/usr/bin/python3
"""Reference results of the volume filters, computed with scipy.ndimage.

Usage: filters_reference.py OP W H D IN OUT [args...]
Volumes are raw files, x fastest, then y, then z (numpy shape (D, H, W), C order).
  smooth  W H D in.f32 out.f32 ITERATIONS
  erode   W H D in.u8  out.u8  X0 Y0 Z0 X1 Y1 Z1
  dilate  W H D in.u8  out.u8  X0 Y0 Z0 X1 Y1 Z1
  label   W H D in.u8  out.i32 VALUE            (out: count, then the labels)
  sample  W H D in.f32 out.f64 PX PY PZ POS.f64 (POS: n x 3 positions x, y, z)
"""
import sys

import numpy as np
from scipy import ndimage


def main():
    op = sys.argv[1]
    W, H, D = (int(v) for v in sys.argv[2:5])
    src, dst = sys.argv[5], sys.argv[6]
    rest = sys.argv[7:]
    if op == "smooth":
        v = np.fromfile(src, dtype=np.float32).reshape(D, H, W)
        d = np.arange(-2, 3)
        dz, dy, dx = np.meshgrid(d, d, d, indexing="ij")
        w = np.exp(-2.0 * (dx * dx + dy * dy + dz * dz))  # the full 5x5x5 table
        den = ndimage.correlate(np.ones((D, H, W)), w, mode="constant", cval=0.0)
        for _ in range(int(rest[0])):
            num = ndimage.correlate(v.astype(np.float64), w, mode="constant", cval=0.0)
            v = (num / den).astype(np.float32)
        v.tofile(dst)
    elif op in ("erode", "dilate"):
        v = np.fromfile(src, dtype=np.uint8).reshape(D, H, W)
        x0, y0, z0, x1, y1, z1 = (int(a) for a in rest[:6])
        box = np.zeros_like(v, dtype=bool)
        box[z0:z1, y0:y1, x0:x1] = True
        cross = ndimage.generate_binary_structure(3, 1)
        fg = v == 255
        if op == "erode":
            r = ndimage.binary_erosion(fg, structure=cross, mask=box, border_value=0)
        else:
            r = ndimage.binary_dilation(fg, structure=cross, mask=box, border_value=0)
        out = v.copy()
        out[fg & ~r] = 0
        out[~fg & r] = 255
        out.tofile(dst)
    elif op == "label":
        v = np.fromfile(src, dtype=np.uint8).reshape(D, H, W)
        lab, n = ndimage.label(v == int(rest[0]), structure=np.ones((3, 3, 3), dtype=bool))
        np.concatenate([[n], lab.ravel()]).astype(np.int32).tofile(dst)
    elif op == "sample":
        v = np.fromfile(src, dtype=np.float32).reshape(D, H, W).astype(np.float64)
        pitch = np.array([float(a) for a in rest[:3]])
        pos = np.fromfile(rest[3], dtype=np.float64).reshape(-1, 3)
        size = np.array([W, H, D], dtype=np.float64)
        f = np.clip(pos / pitch - 0.5, 0.0, size - 1)  # voxel centres at (i + 0.5) * pitch
        coords = f[:, ::-1].T  # (z, y, x) rows for the (D, H, W) array
        ndimage.map_coordinates(v, coords, order=1, mode="nearest").astype(np.float64).tofile(dst)
    else:
        sys.exit("unknown op " + op)


main()
