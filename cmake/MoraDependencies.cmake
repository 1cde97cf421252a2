# Third-party components: zlib, libjpeg(-turbo), libpng, libdeflate, CLI11,
# nlohmann-json and GoogleTest. Native builds use Debian's packages; MinGW
# builds use Debian's MinGW zlib, libjpeg-turbo, libpng and libdeflate built by
# scripts/build-windows-deps into build/deps/<triplet>, GoogleTest compiled
# from Debian's source copy, and the host's header-only libraries through a
# folder of links (the host's /usr/include must not enter a Windows build).
# The 32-bit Linux build uses Debian's i386 libraries (multiarch packages,
# found through the toolchain's library architecture) and, like the MinGW
# builds, compiles GoogleTest from its source copy.

if(WIN32)
  set(MORA_DEPS_PREFIX "${CMAKE_SOURCE_DIR}/build/deps/${MORA_TRIPLET}" CACHE PATH
      "Prefix holding libraries built for the Windows target")
  list(PREPEND CMAKE_PREFIX_PATH ${MORA_DEPS_PREFIX})
  list(PREPEND CMAKE_FIND_ROOT_PATH ${MORA_DEPS_PREFIX})

  set(host_headers ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${host_headers})
  foreach(dir CLI nlohmann)
    if(NOT EXISTS ${host_headers}/${dir})
      file(CREATE_LINK /usr/include/${dir} ${host_headers}/${dir} SYMBOLIC)
    endif()
  endforeach()
  add_library(mora_header_libs INTERFACE)
  target_include_directories(mora_header_libs SYSTEM INTERFACE ${host_headers})
  add_library(CLI11::CLI11 ALIAS mora_header_libs)
  add_library(nlohmann_json::nlohmann_json ALIAS mora_header_libs)
else()
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
endif()

if(WIN32)
  # Debian's MinGW zlib ships libz.a beside an import library for zlib1.dll;
  # the programs are linked statically, so take the archive.
  set(ZLIB_USE_STATIC_LIBS ON)
  foreach(lib libjpeg.a libpng16.a libdeflate.a)
    if(NOT EXISTS ${MORA_DEPS_PREFIX}/lib/${lib})
      message(FATAL_ERROR "${lib} for ${MORA_TRIPLET} is missing in ${MORA_DEPS_PREFIX}: "
        "run scripts/build-windows-deps")
    endif()
  endforeach()
endif()
if(CMAKE_CROSSCOMPILING AND NOT WIN32)
  # The 32-bit Linux programs are linked statically (see its toolchain
  # file): take the libraries' archives. Set here because the platform
  # files, read after the toolchain file, set the suffixes again.
  set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
endif()
find_package(ZLIB REQUIRED)
find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)

if(MORA_BUILD_TESTS)
  if(CMAKE_CROSSCOMPILING)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # Recent GoogleTest sources define the GTest:: names themselves.
    foreach(lib gtest gtest_main gmock)
      if(NOT TARGET GTest::${lib})
        add_library(GTest::${lib} ALIAS ${lib})
      endif()
    endforeach()
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# libdeflate: CRC-32 and whole-stream inflating several times faster than
# zlib's. Native builds take Debian's libdeflate-dev when it is installed, the
# MinGW builds the static library that scripts/build-windows-deps made. The
# 32-bit Linux build keeps zlib for both (the same results), which keeps the
# zlib variant built and tested.
if(WIN32)
  add_library(mora::libdeflate STATIC IMPORTED)
  set_target_properties(mora::libdeflate PROPERTIES
    IMPORTED_LOCATION ${MORA_DEPS_PREFIX}/lib/libdeflate.a
    INTERFACE_INCLUDE_DIRECTORIES ${MORA_DEPS_PREFIX}/include)
  message(STATUS "CRC-32 and inflating in memory: libdeflate (${MORA_DEPS_PREFIX}/lib/libdeflate.a)")
elseif(NOT CMAKE_CROSSCOMPILING)
  find_path(MORA_LIBDEFLATE_INCLUDE_DIR libdeflate.h)
  find_library(MORA_LIBDEFLATE_LIBRARY deflate)
  if(MORA_LIBDEFLATE_INCLUDE_DIR AND MORA_LIBDEFLATE_LIBRARY)
    add_library(mora::libdeflate UNKNOWN IMPORTED)
    set_target_properties(mora::libdeflate PROPERTIES
      IMPORTED_LOCATION ${MORA_LIBDEFLATE_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${MORA_LIBDEFLATE_INCLUDE_DIR})
    message(STATUS "CRC-32 and inflating in memory: libdeflate (${MORA_LIBDEFLATE_LIBRARY})")
  else()
    message(STATUS "CRC-32 and inflating in memory: zlib (libdeflate-dev is not installed)")
  endif()
endif()

# ISA-L: inflating piece by piece several times faster than zlib's inflater
# (entries extracted into files, picture blocks). Debian packages it for the
# host (libisal-dev); elsewhere zlib's inflater gives the same results.
if(NOT CMAKE_CROSSCOMPILING)
  find_path(MORA_ISAL_INCLUDE_DIR isa-l/igzip_lib.h)
  find_library(MORA_ISAL_LIBRARY isal)
  if(MORA_ISAL_INCLUDE_DIR AND MORA_ISAL_LIBRARY)
    add_library(mora::isal UNKNOWN IMPORTED)
    set_target_properties(mora::isal PROPERTIES
      IMPORTED_LOCATION ${MORA_ISAL_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${MORA_ISAL_INCLUDE_DIR})
    message(STATUS "Inflating piece by piece: ISA-L (${MORA_ISAL_LIBRARY})")
  else()
    message(STATUS "Inflating piece by piece: zlib (libisal-dev is not installed)")
  endif()
endif()
