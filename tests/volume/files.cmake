# Tests of kvolume_files (Image3D, TIFF, ".sph", DICOM through medcon) and of loading by type
# (kvolume_io).
# Fixtures are made at test time by independent tools (tifffile and pydicom through Debian's
# /usr/bin/python3, libtiff's tiffcp, gfortran, medcon); a test skips when its tool is missing.
set(KESTRIN_FILES_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/scripts)

kestrin_add_test(tiff_io_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tiff_read_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tiff_write_test.cpp
  LIBS kvolume_files
  TIMEOUT 120)
target_compile_definitions(tiff_io_test PRIVATE FILES_SCRIPT_DIR="${KESTRIN_FILES_SCRIPTS}")

kestrin_add_test(files_load_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/files_sph_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/files_dicom_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/files_volume_test.cpp
  LIBS kvolume_files kvolume_io
  TIMEOUT 120)
target_compile_definitions(files_load_test PRIVATE FILES_SCRIPT_DIR="${KESTRIN_FILES_SCRIPTS}")
