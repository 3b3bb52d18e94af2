# kvolume_files: Image3D, the TIFF reader and writers, the readers of the volume file types (TIFF,
# ".sph", ".traw3D_ss", BMP, 16-bit raw and DICOM stacks).  Plain C++: no Qt Widgets, no GL.
kestrin_library(kvolume_files
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/Image3D.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTiffIO.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TTiffIO_tags.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tiff_write.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sph_reader.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dicom_medcon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/volume_readers.cpp
  PUBLIC_LIBS kvolume kplatform OpenMP::OpenMP_CXX)
