# Warnings and sanitizers for every target of the project.
add_compile_options(-Wall -Wextra -Wno-unused-parameter)

option(KESTRIN_TSAN "Build with ThreadSanitizer (only the tests that run threads are made)" OFF)

if(KESTRIN_SANITIZE AND KESTRIN_TSAN)
  message(FATAL_ERROR "KESTRIN_SANITIZE and KESTRIN_TSAN cannot be combined")
endif()

if(KESTRIN_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer -O1 -g)
  add_link_options(-fsanitize=thread)
endif()

if(KESTRIN_SANITIZE)
  # GCC leaves float-cast-overflow out of "undefined" (clang has it there): name it, so that a
  # NaN, an infinity or an out-of-range value converted to an integer stops the run as well.
  add_compile_options(-fsanitize=address,undefined,float-cast-overflow -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined,float-cast-overflow)
  add_link_options(-fsanitize=address,undefined,float-cast-overflow)
  # Keep the sanitized build reasonably fast: the suite runs large numeric kernels.
  if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    add_compile_options(-O1)
  endif()
endif()

# kestrin_library(NAME SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# A static library whose headers are found from the project root ("geom/TTriangleMesh.h").
function(kestrin_library name)
  cmake_parse_arguments(KL "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${KL_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${KL_PUBLIC_LIBS} PRIVATE ${KL_PRIVATE_LIBS})
endfunction()
