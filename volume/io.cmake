# kvolume_io: loading volumes into the holder by file type, the ".muxa" file and the exports, as
# free functions over TextureManager.  It sits above kvolume_files (readers and writers) and
# kvolume_regions (mask table, filters, mask files), so both link down only.  Plain C++.
kestrin_library(kvolume_io
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/io/load.cpp
    ${CMAKE_CURRENT_LIST_DIR}/io/muxa_save.cpp
    ${CMAKE_CURRENT_LIST_DIR}/io/exports.cpp
  PUBLIC_LIBS kvolume kvolume_files kvolume_regions kplatform OpenMP::OpenMP_CXX)
