"""VTK timings on the sphere that mesh_bench wrote, for comparison with its figures.

Run with Debian's interpreter:  /usr/bin/python3 bench/geom_mesh/vtk_reference.py /tmp/kestrin_bench_mesh.obj
Prints VTK's time for building links (vtkPolyData.BuildLinks, the counterpart of the
winged-edge build), five Laplacian smoothing passes and an ASCII STL write.
"""
import sys
import time

from vtkmodules.vtkFiltersCore import vtkSmoothPolyDataFilter
from vtkmodules.vtkIOGeometry import vtkOBJReader, vtkSTLWriter

reader = vtkOBJReader()
reader.SetFileName(sys.argv[1])
reader.Update()
poly = reader.GetOutput()
print("mesh: %d vertices, %d triangles" % (poly.GetNumberOfPoints(), poly.GetNumberOfCells()))

t0 = time.perf_counter()
poly.BuildLinks()
print("vtk BuildLinks            %8.3f s" % (time.perf_counter() - t0))

smooth = vtkSmoothPolyDataFilter()
smooth.SetInputData(poly)
smooth.SetNumberOfIterations(5)
smooth.SetRelaxationFactor(1.0)
smooth.SetConvergence(0.0)
t0 = time.perf_counter()
smooth.Update()
print("vtk smoothing, 5 passes   %8.3f s" % (time.perf_counter() - t0))

writer = vtkSTLWriter()
writer.SetInputData(poly)
writer.SetFileTypeToASCII()
writer.SetFileName(sys.argv[1] + ".vtk.stl")
t0 = time.perf_counter()
writer.Write()
print("vtk ASCII STL write       %8.3f s" % (time.perf_counter() - t0))
