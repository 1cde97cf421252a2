# mora_add_unit_test(<name> [FRESH_HOME] [NO_WINE_RUNS] SOURCES ... LIBS ...)
# Builds one GoogleTest program and registers it with CTest. In the Windows
# x86_64 build the program runs under Wine (the toolchain's emulator), once
# with a Japanese and once with an English locale, each in the fresh Wine
# prefix that the wine_prefix fixture makes for this test run. In the
# sanitizer build the test is named <name>.asan; in the 32-bit Linux build
# it runs under QEMU's user-mode emulator (the toolchain's emulator) and is
# named <name>.i686, with the label "i686". FRESH_HOME gives the program an
# empty POSIX state folder (MORA_HOME) for its whole run. NO_WINE_RUNS
# leaves the Windows build's runs to the caller (a test that needs a prefix or
# a display of its own registers them itself).
function(mora_add_unit_test name)
  cmake_parse_arguments(ARG "FRESH_HOME;NO_WINE_RUNS" "" "SOURCES;LIBS" ${ARGN})
  if(ARG_FRESH_HOME)
    list(APPEND ARG_SOURCES ${PROJECT_SOURCE_DIR}/tests/support/test_home.cpp)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
    mora_options)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  if(WIN32)
    if(CMAKE_CROSSCOMPILING_EMULATOR AND NOT ARG_NO_WINE_RUNS)
      foreach(locale ja_JP.UTF-8 en_US.UTF-8)
        string(SUBSTRING ${locale} 0 2 tag)
        add_test(NAME ${name}.${tag} COMMAND ${name})
        set_tests_properties(${name}.${tag} PROPERTIES LABELS "wine"
          ENVIRONMENT "MORA_WINE_LOCALE=${locale};MORA_WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix-${tag}"
          FIXTURES_REQUIRED wine_prefix_${tag} TIMEOUT 600)
      endforeach()
    endif()
  else()
    # The sanitizer build's tests carry a suffix so that one CTest run over
    # several build trees names each test once.
    set(test_name ${name})
    set(label unit)
    if(MORA_SANITIZE)
      set(test_name ${name}.asan)
    elseif(CMAKE_CROSSCOMPILING)
      set(test_name ${name}.${CMAKE_SYSTEM_PROCESSOR})
      set(label ${CMAKE_SYSTEM_PROCESSOR})
    endif()
    add_test(NAME ${test_name} COMMAND ${name})
    set_tests_properties(${test_name} PROPERTIES LABELS ${label} TIMEOUT 600)
  endif()
endfunction()

# mora_child_command(<variable> <target>)
# The command by which a test starts the program of target as a child
# process: the program itself, or, where the build runs its programs under
# an emulator (the 32-bit Linux build), a small script beside it that starts
# it through that emulator. The kernel cannot run such a program directly,
# and a child started by the test would not pass through CTest's emulator.
function(mora_child_command variable target)
  if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR AND NOT WIN32)
    set(script ${CMAKE_BINARY_DIR}/bin/${target}-emulated)
    get_property(made GLOBAL PROPERTY mora_child_command_${target})
    if(NOT made)
      set_property(GLOBAL PROPERTY mora_child_command_${target} TRUE)
      file(GENERATE OUTPUT ${script}
        CONTENT "#!/bin/sh\nexec \"${CMAKE_CROSSCOMPILING_EMULATOR}\" \"$<TARGET_FILE:${target}>\" \"$@\"\n"
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
          WORLD_READ WORLD_EXECUTE)
    endif()
    set(${variable} ${script} PARENT_SCOPE)
  else()
    set(${variable} $<TARGET_FILE:${target}> PARENT_SCOPE)
  endif()
endfunction()
