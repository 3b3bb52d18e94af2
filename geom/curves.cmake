# Surfaces from volumes and back, strokes and tubes (plain: no GL, no Qt), their drawing
# members and the cached spheres (kgeom_surf_gl), and B-spline fitting (kgeom_spline, apart
# because it solves through the sparse matrix of ksolve, which itself builds on the tube).
kestrin_library(kgeom_surf
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/marching_cubes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/marching_cubes_tables.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mesh_rasterise.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tstroke3D.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tstroke3D_tube.cpp
  PUBLIC_LIBS kgeom OpenMP::OpenMP_CXX)

find_package(OpenGL REQUIRED)
kestrin_library(kgeom_surf_gl
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Tstroke3D_gl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Tstroke3D_tube_gl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sphere_cache_gl.cpp
  PUBLIC_LIBS kgeom_surf OpenGL::GL OpenGL::GLU)

kestrin_library(kgeom_spline
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bspline.cpp
  PUBLIC_LIBS kgeom ksolve)
