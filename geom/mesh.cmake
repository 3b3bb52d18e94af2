# Vectors, matrices, the triangle mesh and the clipping surface (plain: no GL, no Qt).
kestrin_library(kgeom
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/vec3.cpp
    ${CMAKE_CURRENT_LIST_DIR}/matrix3.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTriangleMesh.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTriangleMesh_io.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ClipSurface.cpp
  PUBLIC_LIBS OpenMP::OpenMP_CXX)
