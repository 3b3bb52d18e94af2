#!/usr/bin/python3
"""Reference timings: vtkMarchingCubes and vtkFlyingEdges3D on a raw float32 field.

Usage: vtk_mc.py FILE W H D ISO EXTENT_X EXTENT_Y EXTENT_Z REPEATS
Prints one line per filter: "<name> <best seconds> <points> <triangles>".
"""
import sys
import time

import numpy as np
import vtk
from vtk.util import numpy_support


def main():
    path = sys.argv[1]
    W, H, D = (int(a) for a in sys.argv[2:5])
    iso = float(sys.argv[5])
    ext = [float(a) for a in sys.argv[6:9]]
    repeats = int(sys.argv[9])
    data = np.fromfile(path, dtype=np.float32)
    assert data.size == W * H * D, "raw file size does not match the dimensions"
    img = vtk.vtkImageData()
    img.SetDimensions(W, H, D)
    sp = (ext[0] / W, ext[1] / H, ext[2] / D)
    img.SetSpacing(*sp)
    img.SetOrigin(0.5 * sp[0], 0.5 * sp[1], 0.5 * sp[2])
    arr = numpy_support.numpy_to_vtk(data, deep=0, array_type=vtk.VTK_FLOAT)
    arr.SetName("f")
    img.GetPointData().SetScalars(arr)

    for name, cls in (("vtkMarchingCubes", vtk.vtkMarchingCubes), ("vtkFlyingEdges3D", vtk.vtkFlyingEdges3D)):
        best = None
        pts = tris = 0
        for _ in range(repeats):
            f = cls()
            f.SetInputData(img)
            f.SetValue(0, iso)
            t0 = time.perf_counter()
            f.Update()
            dt = time.perf_counter() - t0
            out = f.GetOutput()
            pts, tris = out.GetNumberOfPoints(), out.GetNumberOfPolys()
            best = dt if best is None else min(best, dt)
            del f, out
        print("%s %.6f %d %d" % (name, best, pts, tris), flush=True)
    print("VTK %s, vtkSMPTools %s %d threads" % (vtk.vtkVersion.GetVTKVersion(), vtk.vtkSMPTools.GetBackend(),
                                                 vtk.vtkSMPTools.GetEstimatedNumberOfThreads()),
          flush=True)


if __name__ == "__main__":
    main()
