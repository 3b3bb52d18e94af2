# kvolume_regions: the mask-ID table and region operations, volume filters, mask files, the
# resampling export and the reader of the combined ".muxa" file.  Plain C++: no Qt Widgets, no GL (the colour table's GL texture
# is made by TOGL1DImage in kvolume_gl).
kestrin_library(kvolume_regions
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/volume_filters.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TMaskIdTable.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mask_files.cpp
    ${CMAKE_CURRENT_LIST_DIR}/muxa_file.cpp
    ${CMAKE_CURRENT_LIST_DIR}/volume_export.cpp
  PUBLIC_LIBS kvolume kvolume_files kgeom kgeom_surf kplatform OpenMP::OpenMP_CXX)
