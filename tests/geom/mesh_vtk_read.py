"""Reads an OBJ and an ASCII STL file with VTK and prints their point and triangle counts."""
import sys

from vtkmodules.vtkIOGeometry import vtkOBJReader, vtkSTLReader


def counts(reader, path):
    reader.SetFileName(path)
    reader.Update()
    poly = reader.GetOutput()
    tris = sum(1 for i in range(poly.GetNumberOfCells()) if poly.GetCell(i).GetNumberOfPoints() == 3)
    return poly.GetNumberOfPoints(), tris


obj = counts(vtkOBJReader(), sys.argv[1])
stl_reader = vtkSTLReader()
stl_reader.MergingOn()  # STL repeats the corners per facet; shared corners become one point
stl = counts(stl_reader, sys.argv[2])
print("obj %d %d" % obj)
print("stl %d %d" % stl)
