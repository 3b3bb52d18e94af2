# kview_panel: the shader programs over GLSL, the rendering-parameter panel and its
# transfer-function editor.  Qt Widgets + GL + GLEW.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
find_package(OpenGL REQUIRED)
find_package(GLEW REQUIRED)

kestrin_library(kview_panel
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/TDlgVisParam.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TDlgVisParam_editor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TDlgVisParam_pitch.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTransFuncEditor.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TSheder.cpp
    ${CMAKE_CURRENT_LIST_DIR}/glsl_program.cpp
  PUBLIC_LIBS
    Qt6::Widgets
    kview
    kvolume
    kvolume_gl
    kvolume_regions
    kplatform_qt
    kplatform
  PRIVATE_LIBS
    GLEW::GLEW OpenGL::GL)
set_target_properties(kview_panel PROPERTIES AUTOMOC ON)
