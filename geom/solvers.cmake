# Dense and sparse solvers.  The solver component (UMFPACK behind our five entry points) is a
# shared library next to the executable, loaded at start-up; without it the own sparse LU serves.
find_path(UMFPACK_INCLUDE_DIR suitesparse/umfpack.h)
find_library(UMFPACK_LIBRARY umfpack)

kestrin_library(ksolve
  SOURCES TDenseSqMat.cpp TDenseMatEx.cpp dense_lu_kernels.cpp TSparseMatrix.cpp sparse_lu.cpp
          umfpack_component.cpp Tstroke3D_fiber.cpp
  PUBLIC_LIBS kplatform kgeom kgeom_surf OpenMP::OpenMP_CXX ${CMAKE_DL_LIBS})
set_source_files_properties(dense_lu_kernels.cpp PROPERTIES COMPILE_OPTIONS "-O3")

if(UMFPACK_INCLUDE_DIR AND UMFPACK_LIBRARY)
  add_library(kestrin_umfpack SHARED umfpack_component/umfpack_component.cpp)
  target_include_directories(kestrin_umfpack PRIVATE ${UMFPACK_INCLUDE_DIR})
  target_link_libraries(kestrin_umfpack PRIVATE ${UMFPACK_LIBRARY})
  set_target_properties(kestrin_umfpack PROPERTIES CXX_VISIBILITY_PRESET hidden
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  # The component is found beside the program; anything that links ksolve builds it too.
  add_dependencies(ksolve kestrin_umfpack)
else()
  message(WARNING "UMFPACK not found: the solver component is not built")
endif()
