# kview_plain: the volume box and its view-aligned slices, the right-half smoothing (plain C++,
# no GL, no Qt).
# kview: GL context and camera, main view, volume renderer, redraw helper, visualisation modes.
kestrin_library(kview_plain
  SOURCES vol_slicing.cpp smooth_right_half.cpp
  PRIVATE_LIBS OpenMP::OpenMP_CXX)

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets OpenGL OpenGLWidgets)
set(OpenGL_GL_PREFERENCE GLVND)
find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
find_package(GLEW REQUIRED)

set(KVIEW_SOURCES
  GLSetup.cpp
  TOGL.cpp
  TOGL_gl.cpp
  frame_gl.cpp
  CKestrinView.cpp
  ViewModeHost.cpp
  VolRendManager.cpp
  SubPaneManager.cpp
  redraw.cpp
  drop_dispatch.cpp
  StateVisStd.cpp
  StateVisStd_gl.cpp
  TDlgVisStd.cpp
  StateVisOrgCrs.cpp
  TDlgVisOrgCrs.cpp)

kestrin_library(kview
  SOURCES ${KVIEW_SOURCES}
  PUBLIC_LIBS kview_plain kplatform Qt6::Widgets Qt6::OpenGL Qt6::OpenGLWidgets
              OpenGL::GL OpenGL::GLU GLEW::GLEW OpenMP::OpenMP_CXX
              kview_panel
              kvolume kvolume_gl
              kgeom kgeom_gl
              kgeom_surf_gl kvolume_regions
              kapp)
set_target_properties(kview PROPERTIES AUTOMOC ON)

# The shader sources sit beside the executable (and the tests run from bin/).
add_custom_target(kview_shaders
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin/shader
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/shader ${CMAKE_BINARY_DIR}/bin/shader
  COMMENT "Copying shader/ to bin/shader")
add_dependencies(kview kview_shaders)
