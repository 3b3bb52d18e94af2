# Tests of the transfer-function painting helpers (header-only, QtGui over the plain holder).
find_package(Qt6 REQUIRED COMPONENTS Gui)
kestrin_add_test(transfunc_paint_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/transfunc_paint_test.cpp
  LIBS kvolume Qt6::Gui)
