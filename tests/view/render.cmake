# Tests of kview (GL context and camera, main view, volume renderer, visualisation modes).
kestrin_add_test(render_slicing
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_slicing_test.cpp
  LIBS kview_plain)

kestrin_add_test(render_camera
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_camera_test.cpp
  LIBS kview)

kestrin_add_test(render_visstd
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_visstd_test.cpp
  LIBS kmodes_vis)

kestrin_add_test(render_drop
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_drop_test.cpp
  LIBS kview)

find_package(Qt6 REQUIRED COMPONENTS Test)
kestrin_add_test(render_view
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_view_test.cpp
  LIBS kmodes_vis Qt6::Test
  GUI)

kestrin_add_test(render_nocontext
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/render_nocontext_test.cpp
  LIBS kmodes_vis Qt6::Test
  GUI SHUFFLED)

# Slice planes and cut surface: plain geometry, no display.
kestrin_add_test(slice_planes
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/slice_planes_test.cpp
  LIBS kview_plain)

# The slice panes docked beside the main view, and the standard mode's drags (Xvfb).
kestrin_add_test(render_panes
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/panes_test.cpp
  LIBS kmodes_vis Qt6::Test
  GUI)

# The program started with a 16-bit TIFF and driven like a user: planes, pane zoom, a cut, a
# ruler, modes 0-3 (Xvfb).  Screenshots in ${build}/artefacts/panes_e2e.
kestrin_add_test(render_panes_e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/panes_e2e_test.cpp
  LIBS kestrin_e2e kmodes_vis
  GUI)
target_compile_definitions(render_panes_e2e PRIVATE KESTRIN_ARTEFACTS="${CMAKE_BINARY_DIR}/artefacts")
