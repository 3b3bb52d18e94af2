# Tests of the volume holder (kvolume, no Qt) and of its GL texture upload (kvolume_gl, under
# Xvfb).
kestrin_add_test(volume_holder_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/holder_images_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/holder_volume_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/holder_transfer_test.cpp
  LIBS kvolume
  TIMEOUT 120)
target_compile_definitions(volume_holder_test PRIVATE KESTRIN_SOURCE_DIR="${PROJECT_SOURCE_DIR}")

find_package(Qt6 REQUIRED COMPONENTS Gui)
find_package(OpenGL REQUIRED)
find_package(GLEW REQUIRED)
kestrin_add_test(volume_holder_gl_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/holder_gl_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/holder_gl_context.cpp
  LIBS kvolume_gl Qt6::Gui GLEW::GLEW OpenGL::GL
  GUI SHUFFLED
  TIMEOUT 120)
