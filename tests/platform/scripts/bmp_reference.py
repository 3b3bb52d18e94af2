#!/usr/bin/python3
"""BMP files written and read by Pillow, as references for the built-in picture codec.

  bmp_reference.py make DIR   writes DIR/<name>.bmp and DIR/<name>.rgb (the colours Pillow shows
                              for it: W*H*3 bytes R, G, B, top row first) for 1-, 8-, 24- and
                              32-bit files of odd sizes
  bmp_reference.py read FILE OUT
                              reads FILE with Pillow, writes its colours to OUT as above and
                              prints "W H BITS"
"""
import sys

import numpy as np
from PIL import Image


def make(folder):
    rng = np.random.default_rng(7)
    w, h = 13, 7  # odd width: every depth pads its rows
    pictures = {
        "mono": Image.fromarray((rng.integers(0, 2, (h, w)) * 255).astype(np.uint8)).convert("1"),
        "grey": Image.fromarray(rng.integers(0, 256, (h, w), dtype=np.uint8), "L"),
        "rgb": Image.fromarray(rng.integers(0, 256, (h, w, 3), dtype=np.uint8), "RGB"),
        "rgba": Image.fromarray(rng.integers(0, 256, (h, w, 4), dtype=np.uint8), "RGBA"),
    }
    pal = Image.fromarray(rng.integers(0, 40, (h, w), dtype=np.uint8), "P")
    pal.putpalette(rng.integers(0, 256, 40 * 3, dtype=np.uint8).tolist())
    pictures["palette"] = pal
    for name, im in pictures.items():
        path = f"{folder}/{name}.bmp"
        im.save(path)
        with Image.open(path) as back:
            open(f"{folder}/{name}.rgb", "wb").write(back.convert("RGB").tobytes())


def read(path, out):
    with Image.open(path) as im:
        bits = {"1": 1, "L": 8, "P": 8, "RGB": 24, "RGBA": 32}.get(im.mode, 0)
        open(out, "wb").write(im.convert("RGB").tobytes())
        print(im.size[0], im.size[1], bits, im.format)


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        read(sys.argv[2], sys.argv[3])
