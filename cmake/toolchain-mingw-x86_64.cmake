# The 64-bit Windows build, whose tests run under Wine (32-bit programs
# cannot run on these machines).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MORA_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
