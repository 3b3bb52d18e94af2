# Qt part of the platform layer: prompt service, progress delivery, edit/control pairs, signals.
if(TARGET kplatform_qt)
  kestrin_add_test(test_platform_qt
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_qt_prompts.cpp
            ${CMAKE_CURRENT_LIST_DIR}/test_qt_platform.cpp
            ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cpp
    LIBS kplatform_qt kui
    TIMEOUT 120)
  # On the X display: activation there is asynchronous.  Alone, as the keyboard focus is the
  # display's and another test's windows would take it.
  kestrin_add_test(test_platform_activation GUI SERIAL
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_qt_activation.cpp
            ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cpp
    LIBS kplatform_qt kui
    TIMEOUT 120)
  kestrin_add_test(test_platform_signal
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_qt_signal_quit.cpp
            ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cpp
    LIBS kplatform_qt
    TIMEOUT 120)
endif()

# The built-in BMP reader against QImage, and the Qt picture codec.
if(TARGET kplatform_qt)
  kestrin_add_test(test_image_codec_qt
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_qt_image_codec.cpp
            ${CMAKE_CURRENT_LIST_DIR}/qt_test_main.cpp
    LIBS kplatform_qt kui
    TIMEOUT 120)
endif()
