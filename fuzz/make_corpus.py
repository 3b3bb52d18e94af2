#!/usr/bin/python3
"""Writes the seed corpus of the fuzz targets (fuzz/corpus/<target>/): a few small valid files of
each format and a few damaged ones.  Run again after changing a format: python3 fuzz/make_corpus.py"""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def put(target, name, data):
    d = os.path.join(ROOT, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def tiff(w, h, pages, spp=1, pitch=None):
    """Little-endian, 8-bit samples, one strip per page, optional private pitch tags."""
    out = bytearray(b"II*\0\0\0\0\0")
    next_at = 4
    for p in range(pages):
        strip = bytes((p * 31 + i) & 255 for i in range(w * h * spp))
        off = len(out)
        out += strip
        bits_at = 0
        if spp > 1:
            bits_at = len(out)
            out += struct.pack("<%dH" % spp, *([8] * spp))
        if len(out) % 2:
            out += b"\0"
        entries = [(256, 3, 1, w), (257, 3, 1, h),
                   (258, 3, spp, bits_at if spp > 1 else 8), (259, 3, 1, 1),
                   (262, 3, 1, 2 if spp == 3 else 1), (273, 4, 1, off), (277, 3, 1, spp),
                   (278, 3, 1, h), (279, 4, 1, len(strip))]
        if pitch:
            for k, tag in enumerate((65000, 65001, 65002)):
                entries.append((tag, 11, 1, struct.unpack("<I", struct.pack("<f", pitch[k]))[0]))
        ifd = len(out)
        struct.pack_into("<I", out, next_at, ifd)
        out += struct.pack("<H", len(entries))
        for tag, typ, count, value in sorted(entries):
            if typ == 3 and count == 1:
                out += struct.pack("<HHIHH", tag, typ, count, value, 0)
            else:
                out += struct.pack("<HHII", tag, typ, count, value)
        next_at = len(out)
        out += b"\0\0\0\0"
    return bytes(out)


def sph(w, h, d):
    def rec(b):
        return struct.pack("<i", len(b)) + b + struct.pack("<i", len(b))
    vals = struct.pack("<%df" % (w * h * d), *[float(i) for i in range(w * h * d)])
    return (rec(struct.pack("<ii", 1, 1)) + rec(struct.pack("<3i", w, h, d)) +
            rec(struct.pack("<3f", 0, 0, 0)) + rec(struct.pack("<3f", 0.5, 0.5, 2.0)) +
            rec(struct.pack("<if", 0, 0.0)) + rec(vals))


def bmp24(w, h):
    stride = (w * 3 + 3) // 4 * 4
    pix = b"".join(bytes((x * 40 + y) & 255 for x in range(w * 3)) + b"\0" * (stride - w * 3)
                   for y in range(h))
    head = struct.pack("<2sIHHI", b"BM", 54 + len(pix), 0, 0, 54)
    dib = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pix), 2835, 2835, 0, 0)
    return head + dib + pix


def bmp8(w, h):
    stride = (w + 3) // 4 * 4
    pal = b"".join(struct.pack("<BBBB", i, 255 - i, i // 2, 0) for i in range(256))
    pix = b"".join(bytes((x + y * 7) & 255 for x in range(w)) + b"\0" * (stride - w) for y in range(h))
    off = 54 + len(pal)
    head = struct.pack("<2sIHHI", b"BM", off + len(pix), 0, 0, off)
    dib = struct.pack("<IiiHHIIiiII", 40, w, -h, 1, 8, 0, len(pix), 2835, 2835, 256, 0)
    return head + dib + pal + pix


W, H, D = 4, 3, 2  # the mask the mask-file targets start from
N = W * H * D


def surface(nv, tris, base=0.1):
    b = struct.pack("<ii", nv, len(tris))
    for v in range(nv):
        b += struct.pack("<3d", base * v, 0.5, 1 - base * v)
    for t in tris:
        b += struct.pack("<3i", *t)
    return b


def ksmask2(chunks):
    return struct.pack("<4i", 1, W, H, D) + b"".join(chunks) + struct.pack("<i", 0)


def surfaces(special=None):
    return struct.pack("<i", 8) + b"".join(
        (special if (special and i == 3) else surface(0, [])) for i in range(256))


def muxa(magic=b"PELKO-MUXA", bits=8, size=(W, H, D)):
    n = size[0] * size[1] * size[2]
    ch = 1 if bits == 8 else 3
    body = bytes(i & 255 for i in range(n * ch)) + bytes(i % 4 for i in range(n))
    table = b"".join(bytes((i, i, i, 200 if i else 0)) for i in range(256))
    head = b"%s\n%d\nI\n%d,%d,%d\n0.500000,0.500000,1.000000\n" % ((magic, bits) + tuple(size))
    return head + body + table + b"\n\n\n"


def gcut(n, labels, regions, adjacency):
    b = struct.pack("<I", n) + struct.pack("<%dI" % n, *labels) + struct.pack("<I", len(regions))
    for vox in regions:
        b += struct.pack("<6f", 1, 2, 3, len(vox), 2 * len(vox), 3 * len(vox))
        b += struct.pack("<I", len(vox)) + struct.pack("<%dI" % len(vox), *vox)
    for adj in adjacency:
        b += struct.pack("<I", len(adj)) + struct.pack("<%dI" % len(adj), *adj)
    return b


def main():
    # TIFF: grey and colour stacks, with pitch tags; a cut one, a lying strip, not a TIFF.
    good = tiff(4, 3, 2)
    put("tiff", "grey_4x3x2.tif", good)
    put("tiff", "rgb_3x2x2.tif", tiff(3, 2, 2, spp=3))
    put("tiff", "grey_pitch.tif", tiff(2, 2, 3, pitch=(0.5, 0.5, 2.0)))
    put("tiff", "cut.tif", good[:30])
    lying = bytearray(good)
    lying[8 + 12 * 2 + 2 + 12 * 5 + 8: 8 + 12 * 2 + 2 + 12 * 5 + 12] = struct.pack("<I", 0x7FFFFFF0)
    put("tiff", "strip_past_end.tif", bytes(lying))
    put("tiff", "not_tiff.tif", b"hello, not a TIFF")

    # ".sph": single precision; cut; wrong first record.
    s = sph(3, 2, 2)
    put("sph", "small.sph", s)
    put("sph", "cut.sph", s[:-5])
    put("sph", "not_sph.sph", b"\x09\0\0\0" + s[4:])

    # ".traw3D_ss": int32 W, H, D; float64 pitch; int16 voxels.
    t = struct.pack("<3i3d", 3, 2, 2, 0.5, 0.5, 1.0) + struct.pack("<12h", *range(-6, 6))
    put("traw3d_ss", "small.traw3D_ss", t)
    put("traw3d_ss", "cut.traw3D_ss", t[:-3])
    put("traw3d_ss", "negative_size.traw3D_ss", struct.pack("<3i3d", -3, 2, 2, 1, 1, 1))
    put("traw3d_ss", "zero_pitch.traw3D_ss", struct.pack("<3i3d", 1, 1, 1, 0, 1, 1) + b"\0\0")

    # Raw 16-bit square slices (side from the file size).
    put("raw_stack", "side4.raw", struct.pack("<16h", *range(16)))
    put("raw_stack", "side1.raw", b"\x01\x02\x03")
    put("raw_stack", "empty.raw", b"")

    # BMP slices: 24-bit and top-down 8-bit palette; cut pixel data; not a BMP.
    b24 = bmp24(5, 3)
    put("bmp_stack", "rgb24_5x3.bmp", b24)
    put("bmp_stack", "palette8_topdown.bmp", bmp8(6, 4))
    put("bmp_stack", "cut_pixels.bmp", b24[:-7])
    put("bmp_stack", "not_bmp.bmp", b"BX" + b24[2:20])

    # ".ksmask2": the writer's order; chunks out of order and repeated; a bad surface; cut.
    vox = bytes(i % 5 for i in range(N))
    full = ksmask2([struct.pack("<i3d", 2, 0.5, 0.5, 2.0), struct.pack("<i", 3) + vox,
                    struct.pack("<i", 4) + struct.pack("<256I", *range(256)),
                    struct.pack("<i", 5) + bytes(range(256)),
                    struct.pack("<i", 6) + struct.pack("<256i", *([1] * 5 + [0] * 251)),
                    struct.pack("<i", 7) + struct.pack("<256i", *([0] * 256)),
                    surfaces(surface(3, [(0, 1, 2)]))])
    put("ksmask2", "written_order.ksmask2", full)
    put("ksmask2", "repeated_chunks.ksmask2",
        ksmask2([struct.pack("<i", 3) + vox, struct.pack("<i3d", 2, 1, 1, 1),
                 struct.pack("<i", 3) + bytes(N), struct.pack("<i3d", 2, 0.25, 0.25, 0.25)])
        + b"trailing bytes after the end mark")
    put("ksmask2", "bad_surface.ksmask2", ksmask2([surfaces(surface(3, [(0, 1, 7), (1, 1, 2)]))]))
    put("ksmask2", "cut.ksmask2", full[:-9])
    put("ksmask2", "other_size.ksmask2", struct.pack("<4i", 1, 9, 9, 9) + struct.pack("<i", 0))
    put("ksmask2", "unknown_chunk.ksmask2", ksmask2([struct.pack("<i", 12)]))

    # ".ksmask": version 3 (byte voxels), version 1 (int32 voxels and trailing curve blocks).
    rec = b"".join(struct.pack("<IBiB", 0x102030 * (k % 3), 200, k % 2, 0) +
                   (surface(3, [(0, 1, 2)]) if k == 2 else surface(0, [])) for k in range(256))
    v3 = struct.pack("<4i", 3, W, H, D) + vox + rec
    put("ksmask", "version3.ksmask", v3)
    rec1 = b"".join(struct.pack("<IBiB", k, 100, 0, 0) + surface(0, []) +
                    struct.pack("<i", 1) + struct.pack("<i", 1) + b"\0" * 8 + struct.pack("<3d", 1, 2, 3)
                    for k in range(256))
    put("ksmask", "version1.ksmask", struct.pack("<4i", 1, W, H, D) + struct.pack("<%di" % N, *vox) + rec1)
    put("ksmask", "version2_short.ksmask",
        struct.pack("<4i", 2, W, H, D) + struct.pack("<%di" % N, *vox) + rec[:40])
    put("ksmask", "cut_voxels.ksmask", struct.pack("<4i", 3, W, H, D) + vox[:7])
    put("ksmask", "other_size.ksmask", struct.pack("<4i", 3, 2, 2, 2) + bytes(8))

    # ".muxa": one and three channels; another first word; cut; a size the data cannot hold.
    m = muxa()
    put("muxa", "grey.muxa", m)
    put("muxa", "colour.muxa", muxa(bits=24))
    put("muxa", "other_word.muxa", muxa(magic=b"SOMETHING"))
    put("muxa", "cut.muxa", m[:-40])
    put("muxa", "huge_size.muxa", muxa(size=(W, H, D))[:0] +
        b"PELKO-MUXA\n8\nI\n100000,100000,100000\n1,1,1\n" + bytes(64))

    # The converter's header text.
    put("dicom_header", "ct.txt",
        "mwidth : 4\nmheight : 3\nnumber : 1\nbits : 16\ntype : 4\npixdim[1] : 0.5\n"
        "pixdim[2] : 0.5\npixdim[3] : 2.0\nquant_scale : 1.0\nintercept : -1024\n"
        "image_pos_pat[0] : 0\nimage_pos_pat[1] : 0\nimage_pos_pat[2] : 12.5\n")
    put("dicom_header", "no_values.txt", "mwidth :\nmheight\nbits : x\n")
    put("dicom_header", "huge.txt", "mwidth : 99999999999999\nmheight : -5\npixdim[1] : nan\n")

    # Graph-cut cache: N labels, R regions (means, sums, voxel lists), adjacency.
    g = gcut(4, [0, 0, 1, 1], [[0, 1], [2, 3]], [[1], []])
    put("gcut_cache", "two_regions.ksgcutprecomp", g)
    put("gcut_cache", "cut.ksgcutprecomp", g[:-6])
    put("gcut_cache", "label_out_of_range.ksgcutprecomp", gcut(2, [0, 5], [[0], [1]], [[1], []]))
    put("gcut_cache", "voxel_twice.ksgcutprecomp", gcut(2, [0, 0], [[0, 0]], [[]]))

    # Control points: "%f, %f, %f," a line.
    put("ctrl_points", "three.txt", "1.000000, 2.000000, 3.000000,\n4.5, 5.5, 6.5,\n7,8,9\n")
    put("ctrl_points", "broken.txt", "1.0, 2.0, x,\n")
    put("ctrl_points", "not_finite.txt", "1e400, 2, 3,\n")

    # Seed groups.
    put("seed_file", "two_groups.txt",
        "groupNum 2\ngroup 0 seedNum 2\ncolor 1.000000 0.000000 0.000000\n1 2 3\n4 5 6\n"
        "group 1 seedNum 1\ncolor 0.000000 0.500000 1.000000\n7 8 9\n")
    put("seed_file", "index_out_of_range.txt", "groupNum 1\ngroup 3 seedNum 1\ncolor 1 1 1\n1 2 3\n")
    put("seed_file", "too_many.txt", "groupNum 100000\n")
    put("seed_file", "missing_seed.txt", "groupNum 1\ngroup 0 seedNum 2\ncolor 1 0 0\n1 2 3\n")

    # Camera files: the pose alone, and the set-up with a one-dimensional transfer function.
    pose = "0.000000 0.000000 5.000000\n0.000000 0.000000 0.000000\n0.000000 1.000000 0.000000\n"
    put("camera_files", "pose.kscam", pose)
    put("camera_files", "setup.kscamtf",
        pose + "sliceNum    290\nglobalTrans 0.125000\nbackColor   0.000000\n"
        "pitch       0.500000 0.500000 2.000000\nwinLv 0 0 0 255 255 255\nKS_VIS_I 256 \n" +
        "".join("%d %d %d\n" % (i, i, i) for i in range(256)))
    put("camera_files", "eye_at_centre.kscam", "1 1 1\n1 1 1\n0 1 0\n")
    put("camera_files", "zero_pitch.kscamtf", pose + "sliceNum 100\nglobalTrans 0\nbackColor 0\n"
        "pitch 0 1 1\nwinLv 0 0 0 1 1 1\n")
    # A value of the 1-D table that is not a number (found by the fuzzer).
    put("camera_files", "nan_in_table.kscamtf", pose + "sliceNum 100\nglobalTrans 0\nbackColor 0\n"
        "pitch 1 1 1\nwinLv 0 0 0 1 1 1\nKS_VIS_I 256\nnan\n")

    # Contour files of the contour-mesh mode: one contour on a two-triangle canvas, none, and
    # damaged copies.
    fib = ("#RBFMeshData 2 1\n0.000000 0.000000 -1.000000\n0.000000 0.000000 5.000000\n"
           "0.000000 1.000000 0.000000\ncanvas 4 2\n0.000000 0.000000 5.000000\n"
           "10.000000 0.000000 5.000000\n10.000000 10.000000 5.000000\n0.000000 10.000000 5.000000\n"
           "0 1 2\n0 2 3\ncpSize 3\n2.000000 2.000000 5.000000\n8.000000 2.000000 5.000000\n"
           "5.000000 8.000000 5.000000\ncpRad      0.010000\ncontRad    0.010000\nbInsideDir 1\n"
           "bClosed    1\n")
    trailer = ("Winterval     4.000000\nWcolor        1.000000\nWblend        0.100000\n"
               "Wnormal       0.500000\nWrbfOffset    0.000000\nWinsideOffset 0.000000\n#RBFMeshDataEnd")
    put("rbf_fib", "one_contour.kestrnRbfFib", fib + trailer)
    put("rbf_fib", "no_contour.kestrnRbfFib", "#RBFMeshData 2 0\n" + trailer)
    put("rbf_fib", "cut.kestrnRbfFib", (fib + trailer)[:200])
    put("rbf_fib", "corner_out_of_range.kestrnRbfFib", (fib + trailer).replace("0 2 3", "0 2 4"))
    put("rbf_fib", "huge_count.kestrnRbfFib", "#RBFMeshData 2 2000000000\n" + trailer)

    # Contour files of the two-step contour-mesh mode: one contour on its quad, none, and
    # damaged copies.
    axis = ("0.600000 0.600000 0.300000\n0.600000 0.600000 1.175000\n"
            "0.000000 -1.000000 0.000000\n1.000000 0.000000 0.000000\n")
    s2 = ("#ContMeshData1 1\n" + axis +
          "0.600000 0.600000 -1.000000\n0.600000 0.600000 0.300000\n0.000000 1.000000 0.000000\n"
          "0.000000 0.000000 0.300000\n1.200000 0.000000 0.300000\n1.200000 1.200000 0.300000\n"
          "0.000000 1.200000 0.300000\n" + "0.000000 0.000000 1.000000\n" * 4 +
          "0 1 2\n0 2 3\ncpSize 3\n0.500000 0.500000 0.300000\n0.700000 0.500000 0.300000\n"
          "0.600000 0.700000 0.300000\ncpRad      0.010000\ncontRad    0.010000\nbInsideDir 1\n"
          "bClosed    0\n")
    s2end = ("param_Wcolor      2.000000\nparam_rbf_Offset  0.000000\nparam_hrbf_Offset 0.000000\n"
             "param_color_pitch 0.000000\n#ContMeshDataEnd")
    put("contmesh_s2", "one_contour.kestrnContMeshS2", s2 + s2end)
    put("contmesh_s2", "no_contour.kestrnContMeshS2", "#ContMeshData1 0\n" + axis + s2end)
    put("contmesh_s2", "cut.kestrnContMeshS2", (s2 + s2end)[:300])
    put("contmesh_s2", "corner_out_of_range.kestrnContMeshS2", (s2 + s2end).replace("0 2 3", "0 2 4"))
    put("contmesh_s2", "huge_count.kestrnContMeshS2", "#ContMeshData1 2000000000\n" + axis + s2end)


if __name__ == "__main__":
    main()
