"""Prints what tifffile reads from a TIFF volume written by Kestrin.

usage: files_check_tiff.py FILE
Output lines: "pages N", "shape ...", "dtype NAME", "pitch X Y Z" (private tags 65006-65008),
"sizez N" (tag 65003), then "values" and every value in array order, one per line.
"""
import sys

import numpy as np
import tifffile

with tifffile.TiffFile(sys.argv[1]) as tif:
    pages = tif.pages
    first = pages[0]
    data = np.stack([p.asarray() for p in pages])
    print("pages", len(pages))
    print("shape", *data.shape)
    print("dtype", data.dtype.name)
    print("pitch", *[first.tags[t].value for t in (65006, 65007, 65008)])
    print("sizez", first.tags[65003].value)
    print("photometric", int(first.photometric))
    print("values")
    for v in data.ravel():
        print(repr(float(v)))
