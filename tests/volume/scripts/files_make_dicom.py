"""Writes DICOM slices with pydicom for the medcon loader tests.

usage: files_make_dicom.py OUTDIR

OUTDIR/series a'b/ holds three CT slices "slice 'N'.dcm" (N = 0, 1, 2) of 6 x 4 signed 16-bit
samples s = 3x + 7y + 11z - 500 with rescale slope 2 and intercept -1024, pixel spacing 0.5 (rows)
and 0.75 (columns), slice thickness 2.0 and slice positions 2.5 apart.  Besides: rgb.dcm (2 x 2
RGB), u8.dcm (unsigned 8-bit, all 200), tall.dcm (6 x 5), frames.dcm (two frames) and cut.dcm (a
slice whose pixel data end early).
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


def grey16(path, arr, z, frames=1):
    ds = dataset(path, arr.shape[-2], arr.shape[-1])
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = "MONOCHROME2"
    ds.BitsAllocated = 16
    ds.BitsStored = 16
    ds.HighBit = 15
    ds.PixelRepresentation = 1
    ds.RescaleSlope = 2
    ds.RescaleIntercept = -1024
    ds.ImagePositionPatient = [-10.0, 20.0, 30.0 + 2.5 * z]
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
