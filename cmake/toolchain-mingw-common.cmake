# Shared part of the MinGW-w64 toolchain files; they set
# CMAKE_SYSTEM_PROCESSOR and MORA_TRIPLET first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${MORA_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORA_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MORA_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MORA_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# GCC 12's -Wrestrict misfires inside libstdc++'s std::string code when
# inlined at -O3 (GCC bug 105651, fixed in GCC 13); with -Werror it would
# fail correct code, so the MinGW builds leave that one warning off (as a
# compile option, so that build folders configured earlier get it too).
add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
