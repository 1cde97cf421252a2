# mora_add_unit_test(<name> [FRESH_HOME] [NO_WINE_RUNS] SOURCES ... LIBS ...)
# Builds one GoogleTest program and registers it with CTest. In the Windows
# x86_64 build the program runs under Wine (the toolchain's emulator), once
# with a Japanese and once with an English locale, each in the fresh Wine
# prefix that the wine_prefix fixture makes for this test run. In the
# sanitizer build the test is named <name>.asan. FRESH_HOME gives the program
# an empty POSIX state folder (MORA_HOME) for its whole run. NO_WINE_RUNS
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
  if(CMAKE_CROSSCOMPILING)
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
    if(MORA_SANITIZE)
      set(test_name ${name}.asan)
    endif()
    add_test(NAME ${test_name} COMMAND ${name})
    set_tests_properties(${test_name} PROPERTIES LABELS "unit" TIMEOUT 600)
  endif()
endfunction()
