# Tests of kgeom (vectors, matrices, triangle mesh, clipping surface) and kgeom_gl.
kestrin_add_test(test_geom_vec
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vec_math_test.cpp
  LIBS kgeom)

kestrin_add_test(test_geom_mesh
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/mesh_construct_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mesh_query_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mesh_edit_test.cpp
  LIBS kgeom)
target_compile_definitions(test_geom_mesh PRIVATE KESTRIN_MESH_TEST_DIR="${CMAKE_CURRENT_LIST_DIR}")

# Drawing into an offscreen framebuffer: needs an X display (the suite runs it under Xvfb).
find_package(Qt6 COMPONENTS Gui OpenGL)
if(Qt6_FOUND)
  kestrin_add_test(test_geom_mesh_gl GUI SHUFFLED
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/mesh_draw_test.cpp
    LIBS kgeom_gl Qt6::Gui Qt6::OpenGL)
endif()
