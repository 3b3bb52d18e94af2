#!/usr/bin/python3
"""Reads a TIFF file with tifffile and dumps it for the export tests.

Usage: tiff_dump.py IN.tif HEADER.txt DATA.f64
HEADER: the dtype and the shape on one line; DATA: the samples as float64, C order.
"""
import sys

import numpy as np
import tifffile

a = tifffile.imread(sys.argv[1])
with open(sys.argv[2], "w") as f:
    f.write(str(a.dtype) + " " + " ".join(str(s) for s in a.shape) + "\n")
a.astype(np.float64).tofile(sys.argv[3])
