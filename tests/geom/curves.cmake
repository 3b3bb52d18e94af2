# Tests of marching cubes, rasterisation, strokes, tubes and B-splines.
kestrin_add_test(test_geom_mc
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/mc_closed_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/mc_cases_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/curves_mesh_checks.cpp
  LIBS kgeom_surf)

kestrin_add_test(test_geom_rasterise
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/curves_rasterise_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/curves_mesh_checks.cpp
  LIBS kgeom_surf)

kestrin_add_test(test_geom_strokes
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/curves_stroke_test.cpp
  LIBS kgeom_surf)

kestrin_add_test(test_geom_bspline
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/curves_bspline_test.cpp
  LIBS kgeom_spline)

find_package(Qt6 REQUIRED COMPONENTS Gui OpenGL)
kestrin_add_test(test_geom_draw GUI SHUFFLED
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/curves_draw_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/curves_gl_context.cpp
  LIBS kgeom_surf_gl Qt6::Gui Qt6::OpenGL)
