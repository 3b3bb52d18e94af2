#!/usr/bin/python3
"""Reference for seeded region growing, written straight from the growth rule with heapq.

The front is a heap of (key, insertion number, voxel): the smallest key leaves first, equal keys
in insertion order.  Labels: 0 unvisited, -2 waiting, g + 1 member of group g.  A voxel that leaves the heap with no
labelled neighbour becomes unvisited again.

Input: argv[1] volume of float32 (x fastest), argv[2] text: "W H D ex ey ez", "groups n", then per
group "seeds s" and s lines "x y z".  Output: argv[3] uint8 labels, argv[4] text with one line
"sum mean count" (repr) per group.
"""
import heapq
import sys

import numpy as np


def main():
    spec = open(sys.argv[2]).read().split()
    W, H, D = int(spec[0]), int(spec[1]), int(spec[2])
    ext = [float(spec[3]), float(spec[4]), float(spec[5])]
    pos = 6
    assert spec[pos] == "groups"
    n = int(spec[pos + 1])
    pos += 2
    groups = []
    for _ in range(n):
        assert spec[pos] == "seeds"
        s = int(spec[pos + 1])
        pos += 2
        seeds = []
        for _ in range(s):
            seeds.append((float(spec[pos]), float(spec[pos + 1]), float(spec[pos + 2])))
            pos += 3
        groups.append(seeds)

    vals = [float(v) for v in np.fromfile(sys.argv[1], dtype=np.float32)]
    N = W * H * D
    assert len(vals) == N
    dims = (W, H, D)

    offsets = [(dx, dy, dz) for dz in (-1, 0, 1) for dy in (-1, 0, 1) for dx in (-1, 0, 1)
               if (dx, dy, dz) != (0, 0, 0)]

    def neighbours(v):
        x = v % W
        y = (v // W) % H
        z = v // (W * H)
        out = []
        for dx, dy, dz in offsets:
            nx, ny, nz = x + dx, y + dy, z + dz
            if 0 <= nx < W and 0 <= ny < H and 0 <= nz < D:
                out.append(nx + W * (ny + H * nz))
        return out

    def seed_voxel(p):
        ijk = []
        for a in range(3):
            if not (0.0 <= p[a] <= ext[a]):
                return None
            t = min(max(p[a] / ext[a] * dims[a], 0.0), float(dims[a] - 1))
            ijk.append(int(t))
        return ijk[0] + W * (ijk[1] + H * ijk[2])

    lab = [0] * N
    total = [0.0] * (n + 1)
    count = [0] * (n + 1)
    mean = [0.0] * (n + 1)
    heap = []
    order = 0

    def join(v, g):
        lab[v] = g
        total[g] += vals[v]
        count[g] += 1
        mean[g] = total[g] / count[g]

    def push_free(v, m):
        nonlocal order
        for u in neighbours(v):
            if lab[u] == 0:
                lab[u] = -2
                heapq.heappush(heap, (abs(vals[u] - m), order, u))
                order += 1

    for g, seeds in enumerate(groups):
        L = g + 1
        for p in seeds:
            v = seed_voxel(p)
            if v is None:
                continue
            if lab[v] == 0:
                join(v, L)
            push_free(v, mean[L])

    while heap:
        _, _, v = heapq.heappop(heap)
        near = sorted({lab[u] for u in neighbours(v) if lab[u] > 0})
        if not near:
            # Queued beside a seed that was itself waiting: unvisited again until a group reaches it.
            lab[v] = 0
            continue
        best = near[0]
        best_d = abs(mean[best] - vals[v])
        for L in near[1:]:
            d = abs(mean[L] - vals[v])
            if d < best_d:
                best, best_d = L, d
        join(v, best)
        push_free(v, mean[best])

    np.array([max(l, 0) for l in lab], dtype=np.uint8).tofile(sys.argv[3])
    with open(sys.argv[4], "w") as f:
        for L in range(1, n + 1):
            f.write("%r %r %d\n" % (total[L], mean[L], count[L]))


if __name__ == "__main__":
    main()
