# One CTest test per gtest suite of a test program: a suite's tests run one after another in a
# process of their own. Starting a sanitized test program takes about 0.3 s, more than most tests,
# so a process per suite rather than per test keeps the test run short while suites stay apart.
# The suites are listed when ctest starts, so a suite added to a program needs no new configure.
#
#   engine_suite_tests(<program> [X_TESTS <gtest filter>] [TIMEOUT <seconds>])
#
# X_TESTS names the tests that start an X server: they run apart from the others, as one test per
# suite holding the x_display lock (two xvfb-run -a started at once can pick the same display).
function(engine_suite_tests target)
  cmake_parse_arguments(ARG "" "X_TESTS;TIMEOUT" "" ${ARGN})
  set(script "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake")
  file(GENERATE OUTPUT "${script}" CONTENT
"set(program \"$<TARGET_FILE:${target}>\")
set(directory \"${CMAKE_CURRENT_BINARY_DIR}\")
set(x_tests \"${ARG_X_TESTS}\")
set(timeout \"${ARG_TIMEOUT}\")
include(\"${PROJECT_SOURCE_DIR}/tests/SuiteTestsAdd.cmake\")
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${script}")
endfunction()

# What every test program shares: gtest and gmock, gtest's header precompiled (parsing it took
# half the compile time of a small test source), and no position independence (the program starts
# without relocating its sanitizer metadata, a third less time per process).
function(engine_test_program target)
  target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock)
  target_link_options(${target} PRIVATE -no-pie)
  target_precompile_headers(${target} PRIVATE <gtest/gtest.h>)
  # Without the header's time stamp in it, a compiler cache can reuse what the header compiled.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${target} PRIVATE "SHELL:-Xclang -fno-pch-timestamp")
  endif()
endfunction()
