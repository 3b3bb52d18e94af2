# kvolume_regions: the mask-ID table and region operations, volume filters, mask files, exports
# and the combined ".muxa" file.  Plain C++: no Qt Widgets, no GL.
kestrin_library(kvolume_regions
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/volume_filters.cpp
  PUBLIC_LIBS OpenMP::OpenMP_CXX)
