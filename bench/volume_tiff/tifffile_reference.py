"""Reference side of the TIFF benchmark.

usage: tifffile_reference.py write FILE SIZE    writes a SIZE^3 uint16 volume, one page per slice
       tifffile_reference.py read FILE REPEATS  prints the best wall-clock seconds of imread, the
                                                shape, the checksum and the versions measured
"""
import sys
import time

import numpy as np
import tifffile

mode, path = sys.argv[1], sys.argv[2]
if mode == "write":
    n = int(sys.argv[3])
    rng = np.random.default_rng(1)
    data = rng.integers(0, 4096, size=(n, n, n), dtype=np.uint16)
    tifffile.imwrite(path, data, photometric="minisblack")
    print(int(data.astype(np.uint64).sum()))
else:
    best = float("inf")
    for _ in range(int(sys.argv[3])):
        t0 = time.perf_counter()
        a = tifffile.imread(path)
        best = min(best, time.perf_counter() - t0)
    print(f"{best:.6f} {a.shape[0]} {a.shape[1]} {a.shape[2]} {int(a.astype(np.uint64).sum())} "
          f"tifffile-{tifffile.__version__} numpy-{np.__version__}")
