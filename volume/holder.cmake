# kvolume: the volume holder's data, texture images and transfer functions.  Plain C++: no Qt, no
# GL (pictures are read and written through the platform's picture codec).
# kvolume_gl: the GL members (texture creation and upload) of the same classes.
find_package(OpenGL REQUIRED)
find_package(GLEW REQUIRED)

kestrin_library(kvolume
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/app_paths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/volume_values.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TOGL1DImage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TOGL2DImage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TOGL3DImage.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TransFunc_1D.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TransFunc_2D.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextureManager.cpp
    ${CMAKE_CURRENT_LIST_DIR}/replace_file.cpp
  PUBLIC_LIBS kplatform
  PRIVATE_LIBS OpenMP::OpenMP_CXX)

kestrin_library(kvolume_gl
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/TOGL1DImage_gl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TOGL2DImage_gl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TOGL3DImage_gl.cpp
  PUBLIC_LIBS kvolume
  PRIVATE_LIBS GLEW::GLEW OpenGL::GL)
