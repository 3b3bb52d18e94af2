"""Writes TIFF volumes with tifffile for the reader tests, each with the array it holds.

usage: files_make_tiffs.py OUTDIR

For every NAME.tif it writes NAME.bin: the values a reader should give, as little-endian float64
in page, row, column (and sample) order, rows in file order.  Files the reader must refuse have
no .bin.
"""
import sys

import numpy as np
import tifffile

out = sys.argv[1]
D, H, W = 5, 7, 9
z, y, x = np.meshgrid(np.arange(D), np.arange(H), np.arange(W), indexing="ij")
rng = np.random.default_rng(12345)


def save(name, data, expected=None, **kw):
    tifffile.imwrite(f"{out}/{name}.tif", data, **kw)
    if expected is not None:
        np.asarray(expected, dtype="<f8").tofile(f"{out}/{name}.bin")


g8 = ((x * 7 + y * 13 + z * 29) % 256).astype(np.uint8)
save("g8", g8, g8, photometric="minisblack")
g16 = ((x * 1000 + y * 37 + z * 4099) % 65536).astype(np.uint16)
save("g16", g16, g16, photometric="minisblack")
save("g16be", g16, g16, photometric="minisblack", byteorder=">")
save("g8strips", g8, g8, photometric="minisblack", rowsperstrip=2)
gi16 = (g16.astype(np.int32) - 30000).astype(np.int16)
save("gi16", gi16, gi16, photometric="minisblack")
gu32 = (g16.astype(np.uint32) * 65521 + 7).astype(np.uint32)
save("gu32", gu32, gu32.astype(np.float32), photometric="minisblack")
g32f = (rng.standard_normal((D, H, W)) * 1000).astype(np.float32)
save("g32f", g32f, g32f, photometric="minisblack")
save("g32fbe", g32f, g32f, photometric="minisblack", byteorder=">")
g64f = rng.standard_normal((D, H, W)) * 1e6
save("g64f", g64f, g64f.astype(np.float32), photometric="minisblack")
rgb8 = np.stack([g8, (255 - g8), ((x * 31 + z) % 256).astype(np.uint8)], axis=-1).astype(np.uint8)
save("rgb8", rgb8, rgb8, photometric="rgb")
rgb16 = np.stack([g16, (g16 // 3), ((y * 5000 + x) % 65536).astype(np.uint16)], axis=-1).astype(np.uint16)
save("rgb16planar", np.moveaxis(rgb16, -1, 1), rgb16, photometric="rgb", planarconfig="separate")
save("miniswhite8", g8, 255 - g8.astype(np.int32), photometric="miniswhite")
ga8 = np.stack([g8, np.full_like(g8, 200)], axis=-1)
save("greyalpha8", ga8, g8, photometric="minisblack", planarconfig="contig", extrasamples=["unassalpha"])

# Files the reader refuses.
big = np.zeros((3, 32, 32), np.uint8)
save("tiled", big, tile=(16, 16), photometric="minisblack")
save("zlib", g16, photometric="minisblack", compression="zlib")
save("palette", g8, photometric="palette", colormap=np.zeros((3, 256), np.uint16))
save("float16", g32f.astype(np.float16), photometric="minisblack")
save("single", g8[0], photometric="minisblack")
tifffile.imwrite(f"{out}/sizes.tif", g8[0], photometric="minisblack")
tifffile.imwrite(f"{out}/sizes.tif", np.zeros((H, W + 4), np.uint8), photometric="minisblack", append=True)
