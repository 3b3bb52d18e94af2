# Tests of kvolume_regions (mask-ID table, filters, mask files, ".muxa") and of the exports and
# the ".muxa" writer over the holder (kvolume_io).
# Reference scripts run with Debian's /usr/bin/python3 (scipy, tifffile); the tests skip when
# that interpreter lacks them.
set(KESTRIN_REGIONS_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/scripts)

kestrin_add_test(filters_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/filters_test.cpp
  LIBS kvolume_regions)
target_compile_definitions(filters_test PRIVATE
  KESTRIN_REGIONS_SCRIPTS="${KESTRIN_REGIONS_SCRIPTS}")

kestrin_add_test(regions_table_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/regions_table_test.cpp
  LIBS kvolume_regions)

kestrin_add_test(maskfile_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/maskfile_test.cpp
  LIBS kvolume_regions)

kestrin_add_test(muxa_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/muxa_test.cpp
  LIBS kvolume_regions kvolume_io)

kestrin_add_test(regions_export_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/regions_export_test.cpp
  LIBS kvolume_regions kvolume_io)
target_compile_definitions(regions_export_test PRIVATE
  KESTRIN_REGIONS_SCRIPTS="${KESTRIN_REGIONS_SCRIPTS}")
