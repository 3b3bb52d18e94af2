#!/usr/bin/env python3
"""Writes the three pseudo-colour tables shader/psued1.bmp (rainbow), psued2.bmp (hot metal) and
psued3.bmp (cool to warm) as 256 x 8 24-bit BMP files.  Every row holds the same table; entry i of
the table is column i.  Plain Python, no packages needed:

    python3 tools/make_pseudo_color_bmps.py [output_dir]   (default: shader/ beside tools/)
"""
import colorsys
import os
import struct
import sys

WIDTH, HEIGHT = 256, 8


def rainbow(t):
    # Hue from blue (low values) through cyan, green, yellow to red (high values).
    r, g, b = colorsys.hsv_to_rgb((1.0 - t) * 240.0 / 360.0, 1.0, 1.0)
    return r, g, b


def hot_metal(t):
    # Black -> red -> yellow -> white.
    return min(1.0, 3.0 * t), min(1.0, max(0.0, 3.0 * t - 1.0)), min(1.0, max(0.0, 3.0 * t - 2.0))


def cool_warm(t):
    # Blue -> light grey -> red, linear in RGB through the middle.
    cool, mid, warm = (59, 76, 192), (221, 221, 221), (180, 4, 38)
    a, b, s = (cool, mid, 2.0 * t) if t < 0.5 else (mid, warm, 2.0 * t - 1.0)
    return tuple((a[k] + (b[k] - a[k]) * s) / 255.0 for k in range(3))


def write_bmp(path, table):
    row = bytearray()
    for r, g, b in table:
        row += bytes((b, g, r))  # BMP pixels are B, G, R
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = bytes(row) * HEIGHT
    header_size = 14 + 40
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", header_size + len(pixels), 0, 0, header_size))
        f.write(struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(pixels), 2835, 2835, 0, 0))
        f.write(pixels)


def to_bytes(fn):
    return [tuple(int(round(255.0 * max(0.0, min(1.0, c)))) for c in fn(i / 255.0)) for i in range(WIDTH)]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "shader")
    os.makedirs(out, exist_ok=True)
    for name, fn in (("psued1.bmp", rainbow), ("psued2.bmp", hot_metal), ("psued3.bmp", cool_warm)):
        write_bmp(os.path.join(out, name), to_bytes(fn))


if __name__ == "__main__":
    main()
