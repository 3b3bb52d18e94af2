"""Writes DICOM slices with pydicom for the medcon loader tests.

usage: files_make_dicom.py OUTDIR

OUTDIR/series a'b/ holds three CT slices "slice 'N'.dcm" (N = 0, 1, 2) of 6 x 4 signed 16-bit
samples s = 3x + 7y + 11z - 500 with rescale slope 2 and intercept -1024, pixel spacing 0.5 (rows)
and 0.75 (columns), slice thickness 2.0 and slice positions 2.5 apart.  Besides: rgb.dcm (2 x 2
RGB), u8.dcm (unsigned 8-bit, all 200), tall.dcm (6 x 5), frames.dcm (two frames) and cut.dcm (a
slice whose pixel data end early).  Series named out of slice order: shuffled/, reversed/, uneven/
and nopos/ (see named_series below).
"""
import os
import sys

import numpy as np
from pydicom.dataset import FileDataset, FileMetaDataset
from pydicom.uid import CTImageStorage, ExplicitVRLittleEndian, generate_uid

out = sys.argv[1]


def dataset(path, rows, cols):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = CTImageStorage
    meta.MediaStorageSOPInstanceUID = generate_uid()
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = FileDataset(path, {}, file_meta=meta, preamble=b"\0" * 128)
    ds.SOPClassUID = CTImageStorage
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.Modality = "CT"
    ds.PatientName = "Test"
    ds.PatientID = "1"
    ds.StudyInstanceUID = "1.2.3"
    ds.SeriesInstanceUID = "1.2.3.4"
    ds.Rows, ds.Columns = rows, cols
    ds.PixelSpacing = [0.5, 0.75]
    ds.SliceThickness = 2.0
    ds.ImageOrientationPatient = [1, 0, 0, 0, 1, 0]
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    return ds


def grey16(path, arr, z, frames=1, position=None, orientation=None, spacing=None):
    ds = dataset(path, arr.shape[-2], arr.shape[-1])
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = "MONOCHROME2"
    ds.BitsAllocated = 16
    ds.BitsStored = 16
    ds.HighBit = 15
    ds.PixelRepresentation = 1
    ds.RescaleSlope = 2
    ds.RescaleIntercept = -1024
    if position is None:
        ds.ImagePositionPatient = [-10.0, 20.0, 30.0 + 2.5 * z]
    elif position != "none":
        ds.ImagePositionPatient = position
    if orientation == "none":
        del ds.ImageOrientationPatient
    elif orientation is not None:
        ds.ImageOrientationPatient = orientation
    if spacing is not None:
        ds.SpacingBetweenSlices = spacing
    ds.InstanceNumber = z + 1
    if frames > 1:
        ds.NumberOfFrames = frames
    ds.PixelData = arr.astype("<i2").tobytes()
    ds.save_as(path, write_like_original=False)


series = os.path.join(out, "series a'b")
os.makedirs(series, exist_ok=True)
H, W = 4, 6
y, x = np.mgrid[0:H, 0:W]
for z in range(3):
    grey16(os.path.join(series, f"slice '{z}'.dcm"), 3 * x + 7 * y + 11 * z - 500, z)

# Series whose names are not in slice order; the samples of slice k are 100k + x + 10y.
# "n<i>.dcm" holds slice order[i].
def named_series(name, order, **kw):
    d = os.path.join(out, name)
    os.makedirs(d, exist_ok=True)
    for i, k in enumerate(order):
        grey16(os.path.join(d, f"n{i:02d}.dcm"), 100 * k + x + 10 * y, k, **{a: f(k) for a, f in kw.items()})


# Axial, 2.5 mm apart (thickness 2.0), names shuffled.
named_series("shuffled", [5, 11, 0, 8, 2, 10, 3, 7, 1, 9, 4, 6], position=lambda k: [0.0, 0.0, 2.5 * k])
# Sagittal (normal -x), 1.5 mm apart, names in reverse order; all slices share z.
named_series("reversed", [4, 3, 2, 1, 0], position=lambda k: [10.0 - 1.5 * k, -3.0, 7.0],
             orientation=lambda k: [0, 1, 0, 0, 0, -1])
# No orientation (ordered along z), positions 0, 2, 4, 7: uneven.
named_series("uneven", [2, 0, 3, 1], position=lambda k: [1.0, 2.0, [0.0, 2.0, 4.0, 7.0][k]],
             orientation=lambda k: "none")
# No positions: the names' order stays; the spacing between slices is 3.5.
named_series("nopos", [2, 0, 1], position=lambda k: "none", orientation=lambda k: "none",
             spacing=lambda k: 3.5)

grey16(os.path.join(out, "tall.dcm"), np.zeros((5, W)), 0)
grey16(os.path.join(out, "frames.dcm"), np.zeros((2, H, W)), 0, frames=2)
grey16(os.path.join(out, "cut.dcm"), 3 * x + 7 * y, 0)
with open(os.path.join(out, "cut.dcm"), "r+b") as f:
    f.seek(0, 2)
    f.truncate(f.tell() - 20)

ds = dataset(os.path.join(out, "rgb.dcm"), 2, 2)
ds.SamplesPerPixel = 3
ds.PhotometricInterpretation = "RGB"
ds.PlanarConfiguration = 0
ds.BitsAllocated = 8
ds.BitsStored = 8
ds.HighBit = 7
ds.PixelRepresentation = 0
ds.PixelData = bytes([10, 20, 30, 200, 1, 2, 0, 0, 0, 5, 250, 7])
ds.save_as(os.path.join(out, "rgb.dcm"), write_like_original=False)

ds = dataset(os.path.join(out, "u8.dcm"), 2, 3)
ds.SamplesPerPixel = 1
ds.PhotometricInterpretation = "MONOCHROME2"
ds.BitsAllocated = 8
ds.BitsStored = 8
ds.HighBit = 7
ds.PixelRepresentation = 0
ds.PixelData = bytes([200] * 6)
ds.save_as(os.path.join(out, "u8.dcm"), write_like_original=False)
