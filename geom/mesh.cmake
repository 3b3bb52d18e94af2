# Vectors, matrices, the triangle mesh and the clipping surface (plain: no GL, no Qt).
kestrin_library(kgeom
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/vec3.cpp
    ${CMAKE_CURRENT_LIST_DIR}/matrix3.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTriangleMesh.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTriangleMesh_io.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTriangleMesh_smooth.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTriangleMesh_pick.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTriangleMesh_remesh.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTriangleMesh_holes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ClipSurface.cpp
  PUBLIC_LIBS OpenMP::OpenMP_CXX)

# Drawing members of the mesh (immediate-mode OpenGL).
find_package(OpenGL REQUIRED)
kestrin_library(kgeom_gl
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/TTriangleMesh_gl.cpp
  PUBLIC_LIBS kgeom OpenGL::GL OpenGL::GLU)
