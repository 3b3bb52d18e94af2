# Tests of the shader programs, the GLSL layer, the rendering-parameter panel.
if(TARGET kview)
  find_package(OpenGL REQUIRED)
  find_package(GLEW REQUIRED)
  find_package(Qt6 REQUIRED COMPONENTS Gui Widgets)
  kestrin_add_test(shader_rules
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/shader_rules_test.cpp
    LIBS kview)

  kestrin_add_test(shader_programs GUI
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/shader_programs_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/shader_test_context.cpp
            ${CMAKE_CURRENT_LIST_DIR}/shader_test_gl.cpp
    LIBS kview GLEW::GLEW OpenGL::GL)
  target_compile_definitions(shader_programs PRIVATE KESTRIN_SHADER_DIR="${PROJECT_SOURCE_DIR}/shader/")

  # The overlay on the slice planes and pane slices against the image under it.  Pictures in
  # ${build}/artefacts/plane_overlay.
  kestrin_add_test(plane_overlay GUI
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/plane_overlay_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/shader_test_context.cpp
            ${CMAKE_CURRENT_LIST_DIR}/shader_test_gl.cpp
    LIBS kview GLEW::GLEW OpenGL::GL)
  target_compile_definitions(plane_overlay PRIVATE KESTRIN_ARTEFACTS="${CMAKE_BINARY_DIR}/artefacts")
endif()

if(TARGET kview)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  kestrin_add_test(visparam_panel
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/visparam_panel_test.cpp
    LIBS kview Qt6::Test)
endif()

if(TARGET kview AND TARGET kapp)
  kestrin_add_test(visparam_render GUI SHUFFLED
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/visparam_render_test.cpp
    LIBS kview kmodes_vis kapp Qt6::Test)
endif()
