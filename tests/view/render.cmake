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
  GUI)
