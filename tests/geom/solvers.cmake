# Tests of the dense and sparse solvers.
# A solver component that lacks one entry point, for the loader's fall-back.
add_library(kestrin_umfpack_incomplete SHARED ${CMAKE_CURRENT_LIST_DIR}/solver_incomplete_component.cpp)
set_target_properties(kestrin_umfpack_incomplete PROPERTIES
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)

kestrin_add_test(test_solvers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/solver_dense_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/solver_sparse_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/solver_fiber_test.cpp
  LIBS ksolve)
add_dependencies(test_solvers kestrin_umfpack_incomplete)
if(TARGET kestrin_umfpack)
  add_dependencies(test_solvers kestrin_umfpack)
endif()
target_compile_definitions(test_solvers PRIVATE
  KESTRIN_INCOMPLETE_COMPONENT="$<TARGET_FILE:kestrin_umfpack_incomplete>")
