# GoogleTest executables are registered with CTest as one test per test suite. A test per case
# would start an executable (and, under AddressSanitizer, its runtime and its leak check at exit)
# over five hundred times; per suite, a failure is still easy to place and the output names the
# case. Each test is named EXECUTABLE.SUITE (two executables may have suites of the same name).
# The suites are read from the executable when CTest runs, so building runs no tests.
set(boardfw_gtest_suites_at_test_time ${CMAKE_CURRENT_LIST_DIR}/GTestSuitesAtTestTime.cmake)

function(boardfw_gtest_suites target)
  set(include_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_suites_include.cmake)
  file(GENERATE OUTPUT ${include_file} CONTENT
       "set(gtest_target ${target})
set(gtest_executable \"$<TARGET_FILE:${target}>\")
set(gtest_suites_file \"${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake\")
set(gtest_working_directory \"${CMAKE_CURRENT_BINARY_DIR}\")
include(\"${boardfw_gtest_suites_at_test_time}\")
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${include_file})
endfunction()
