#!/usr/bin/python3
"""Reference results for the region-growing kernels, computed with numpy, scipy.ndimage and colorsys.

Usage: rgrow_reference.py OP DIR
DIR holds params.txt ("key value..." lines) and raw volumes, x fastest, then y, then z
(numpy shape (D, H, W)): ch0.f32 [ch1.f32 ch2.f32] [grad.f32] flags.u8.  The result goes to
DIR/out.u8 (flags after the operation) and, for hsv, DIR/hsv.f64 (H, S, V per voxel).

  flood  test (dist|thr), conn (26|6), r or lo/hi/glo/ghi, extent, seeds (x y z per line in seeds.txt)
  shape  r, coef, extent, seeds
  threshold  lo, hi, glo, ghi
  fill | erode | dilate
  hsv    lo, hi (channel data ranges), blo, bhi (H S V bounds), glo, ghi
"""
import colorsys
import sys

import numpy as np
from scipy import ndimage


def load(d):
    p = {}
    with open(d + "/params.txt") as f:
        for line in f:
            k, *v = line.split()
            p[k] = v
    W, H, D = (int(v) for v in p["size"])
    C = int(p["channels"][0])
    shape = (D, H, W)
    ch = [np.fromfile("%s/ch%d.f32" % (d, k), dtype=np.float32).reshape(shape) for k in range(C)]
    try:
        grad = np.fromfile(d + "/grad.f32", dtype=np.float32).reshape(shape)
    except FileNotFoundError:
        grad = None
    flags = np.fromfile(d + "/flags.u8", dtype=np.uint8).reshape(shape)
    return p, (W, H, D), ch, grad, flags


def seed_voxels(p, dims, d):
    """Seeds in box coordinates -> voxels (x, y, z); None for a seed outside the box."""
    ext = [float(v) for v in p["extent"]]
    out = []
    with open(d + "/seeds.txt") as f:
        for line in f:
            pt = [float(v) for v in line.split()]
            if not all(0 <= pt[a] <= ext[a] for a in range(3)):
                out.append(None)
                continue
            v = [min(max(int(np.trunc(pt[a] / (ext[a] / dims[a]))), 0), dims[a] - 1) for a in range(3)]
            out.append(tuple(v))
    return out


def distance_pass(ch, flags, seed, r):
    """flags != 0 and r*r > d*d in float32, summed channel by channel."""
    x, y, z = seed
    rr = np.float32(r) * np.float32(r)
    d2 = None
    for c in ch:
        t = c[z, y, x] - c
        t = t * t
        d2 = t if d2 is None else d2 + t
    return (flags != 0) & (rr > d2)


def threshold_pass(p, ch, grad, flags):
    lo = [float(v) for v in p["lo"]]
    hi = [float(v) for v in p["hi"]]
    g = grad.astype(np.float64)
    ok = (flags != 0) & (float(p["glo"][0]) <= g) & (g <= float(p["ghi"][0]))
    for k, c in enumerate(ch):
        c = c.astype(np.float64)
        ok &= (lo[k] <= c) & (c <= hi[k])
    return ok


def structure(conn):
    return np.ones((3, 3, 3), bool) if conn == 26 else ndimage.generate_binary_structure(3, 1)


def write_flags(d, flags, selected):
    out = np.where(flags == 0, 0, np.where(selected, 255, 1)).astype(np.uint8)
    out.tofile(d + "/out.u8")


def op_flood(d):
    p, dims, ch, grad, flags = load(d)
    conn = int(p["conn"][0])
    union = np.zeros(flags.shape, bool)
    for s in seed_voxels(p, dims, d):
        if s is None or flags[s[2], s[1], s[0]] == 0:
            continue
        if p["test"][0] == "dist":
            ok = distance_pass(ch, flags, s, float(p["r"][0]))
        else:
            ok = threshold_pass(p, ch, grad, flags)
        ok[s[2], s[1], s[0]] = True  # the seed itself is never tested
        lab, _ = ndimage.label(ok, structure=structure(conn))
        union |= lab == lab[s[2], s[1], s[0]]
    write_flags(d, flags, union)


def op_shape(d):
    """Shape growth in whole-volume waves: supports gain the weights of each wave's front."""
    p, dims, ch, grad, flags = load(d)
    r, coef = float(p["r"][0]), int(p["coef"][0])
    offs = np.indices((3, 3, 3)).reshape(3, -1).T - 1
    weights = np.zeros((3, 3, 3))
    for dz, dy, dx in offs:
        zeros = int(dx == 0) + int(dy == 0) + int(dz == 0)
        weights[dz + 1, dy + 1, dx + 1] = {0: 2, 1: 3, 2: 4, 3: 0}[zeros]
    union = np.zeros(flags.shape, bool)
    for s in seed_voxels(p, dims, d):
        if s is None or flags[s[2], s[1], s[0]] == 0:
            continue
        ok = distance_pass(ch, flags, s, r)
        grown = np.zeros(flags.shape, bool)
        grown[s[2], s[1], s[0]] = True
        front = grown.copy()
        support = np.zeros(flags.shape)
        wave = 0
        while front.any():
            gain = ndimage.correlate(front.astype(float), weights, mode="constant", cval=0.0)
            open_ = ok & ~grown
            support[open_] += gain[open_]
            bound = 1 if wave < 3 else coef
            front = open_ & (support > 0) & (support >= bound)
            grown |= front
            wave += 1
        union |= grown
    write_flags(d, flags, union)


def op_threshold(d):
    p, dims, ch, grad, flags = load(d)
    write_flags(d, flags, threshold_pass(p, ch, grad, flags))


def op_tools(d, op):
    p, dims, ch, grad, flags = load(d)
    fg = flags == 255
    cross = ndimage.generate_binary_structure(3, 1)
    if op == "fill":
        res = ndimage.binary_fill_holes(fg, structure=cross)
    elif op == "erode":
        res = ndimage.binary_erosion(fg, structure=cross, border_value=0)
    else:
        res = ndimage.binary_dilation(fg, structure=cross, border_value=0)
    write_flags(d, flags, res)


def op_hsv(d):
    p, dims, ch, grad, flags = load(d)
    lo = [float(v) for v in p["lo"]]
    hi = [float(v) for v in p["hi"]]
    blo = [float(v) for v in p["blo"]]
    bhi = [float(v) for v in p["bhi"]]
    glo, ghi = float(p["glo"][0]), float(p["ghi"][0])
    flat = [c.ravel().astype(np.float64) for c in ch]
    g = grad.ravel().astype(np.float64)
    fl = flags.ravel()
    hsv = np.zeros((fl.size, 3))
    sel = np.zeros(fl.size, bool)
    for i in range(fl.size):
        # an empty data range normalises to 0
        rgb = [(flat[k][i] - lo[k]) / (hi[k] - lo[k]) if hi[k] != lo[k] else 0.0 for k in range(3)]
        h, s, v = colorsys.rgb_to_hsv(*rgb)
        h *= 360.0
        hsv[i] = (h, s, v)
        sel[i] = blo[0] <= h <= bhi[0] and blo[1] <= s <= bhi[1] and blo[2] <= v <= bhi[2] and glo <= g[i] <= ghi
    hsv.tofile(d + "/hsv.f64")
    write_flags(d, fl, sel)


def main():
    op, d = sys.argv[1], sys.argv[2]
    if op == "flood":
        op_flood(d)
    elif op == "shape":
        op_shape(d)
    elif op == "threshold":
        op_threshold(d)
    elif op in ("fill", "erode", "dilate"):
        op_tools(d, op)
    elif op == "hsv":
        op_hsv(d)
    else:
        sys.exit("unknown op " + op)


if __name__ == "__main__":
    main()
