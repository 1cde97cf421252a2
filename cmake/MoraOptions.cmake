# Compiler options shared by every target of the project.
add_library(mora_options INTERFACE)
target_compile_options(mora_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow
  -Wnon-virtual-dtor -Wcast-align -Wunused -Woverloaded-virtual -Wimplicit-fallthrough)
if(MORA_WARNINGS_AS_ERRORS)
  target_compile_options(mora_options INTERFACE -Werror)
endif()
target_include_directories(mora_options INTERFACE ${CMAKE_SOURCE_DIR}/src)
if(MORA_SANITIZE)
  target_compile_options(mora_options INTERFACE -fsanitize=address,undefined
    -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(mora_options INTERFACE -fsanitize=address,undefined)
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
