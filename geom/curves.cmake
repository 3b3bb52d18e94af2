# Surfaces from volumes and back, strokes, tubes and B-splines (plain: no GL, no Qt), and
# their drawing members (kgeom_surf_gl).
kestrin_library(kgeom_surf
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/marching_cubes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/marching_cubes_tables.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mesh_rasterise.cpp
  PUBLIC_LIBS kgeom OpenMP::OpenMP_CXX)
