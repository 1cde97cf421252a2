# Compiler options shared by every target of the project.
add_library(mora_options INTERFACE)
target_compile_options(mora_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow
  -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual -Wimplicit-fallthrough)
if(MORA_WARNINGS_AS_ERRORS)
  target_compile_options(mora_options INTERFACE -Werror)
endif()
target_include_directories(mora_options INTERFACE ${CMAKE_SOURCE_DIR}/src)
if(MORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "MORA_FUZZ needs clang (libFuzzer); use the fuzz preset")
  endif()
  # Libraries get libFuzzer's coverage hooks and both sanitizers; only the
  # targets themselves link libFuzzer and its main (tests/fuzz).
  target_compile_options(mora_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(mora_options INTERFACE -fsanitize=address,undefined)
elseif(MORA_SANITIZE)
  target_compile_options(mora_options INTERFACE -fsanitize=address,undefined
    -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(mora_options INTERFACE -fsanitize=address,undefined)
endif()
if(NOT WIN32)
  # 64-bit file offsets and times on every POSIX target, 32-bit ones
  # included: volumes, setup programs and installed files may pass 2 GiB,
  # and MS-DOS times run to 2107.
  target_compile_definitions(mora_options INTERFACE _FILE_OFFSET_BITS=64 _TIME_BITS=64)
endif()
if(WIN32)
  # Unicode W calls only; no min/max macros; static runtime so no DLLs are needed.
  target_compile_definitions(mora_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
    NOMINMAX _WIN32_WINNT=0x0601)
  target_link_options(mora_options INTERFACE -static -static-libgcc -static-libstdc++)
  # Every function and datum in a section of its own, and the linker keeps
  # only what a program reaches: setup.exe goes onto every disk and carries
  # none of the writers and encoders the libraries also hold.
  target_compile_options(mora_options INTERFACE -ffunction-sections -fdata-sections)
  target_link_options(mora_options INTERFACE -Wl,--gc-sections)
endif()

# Where size_t, pointers and long have 32 bits (mingw-i686, the shipped
# build, and linux-i686), -Wconversion flags every implicit narrowing of a
# 64-bit size, offset or count on its way to an allocation, a seek or a
# loop bound. The archive and stream code is kept free of them: a
# narrowing that is meant is written as a cast after a check.
function(mora_check_narrowing)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    foreach(item ${ARGN})
      if(TARGET ${item})
        target_compile_options(${item} PRIVATE -Wconversion)
      else()
        set_property(SOURCE ${item} APPEND PROPERTY COMPILE_OPTIONS -Wconversion)
      endif()
    endforeach()
  endif()
endfunction()
