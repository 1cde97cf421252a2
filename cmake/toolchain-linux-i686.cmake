# 32-bit Linux (i686): Debian's cross compiler, the i386 libraries of
# Debian's multiarch packages (zlib1g-dev:i386, libjpeg62-turbo-dev:i386,
# libpng-dev:i386), everything linked statically so that the programs need
# no loader search of their own, and QEMU's user-mode emulator to run them:
# the kernels here cannot execute 32-bit programs. This is the build in
# which size_t, pointers and long are 32 bits wide while the code runs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MORA_TRIPLET i686-linux-gnu)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
find_program(MORA_QEMU_I386 qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${MORA_QEMU_I386})
