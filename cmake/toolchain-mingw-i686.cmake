# The shipped 32-bit Windows build. Its programs are built but not run here.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MORA_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
