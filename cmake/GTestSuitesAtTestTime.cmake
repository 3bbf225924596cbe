# Run by CTest before the tests: adds one test per suite of ${gtest_executable}, listing the
# suites again only when the executable is newer than the last list.
if(NOT EXISTS "${gtest_executable}")
  # A test whose command does not exist fails, and its name says why.
  add_test("${gtest_target}_NOT_BUILT" "${gtest_target}_NOT_BUILT")
  return()
endif()

if(NOT EXISTS "${gtest_suites_file}" OR "${gtest_executable}" IS_NEWER_THAN "${gtest_suites_file}")
  execute_process(COMMAND "${gtest_executable}" --gtest_list_tests
                  WORKING_DIRECTORY "${gtest_working_directory}" TIMEOUT 60
                  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "listing the tests of ${gtest_executable} failed (${status}):\n"
                        "${listing}${errors}\nRun it by hand with --gtest_list_tests to see why.")
  endif()
  # Suite lines start in the first column and end in a dot (value-parameterised suites add a
  # comment). Brackets and semicolons in such comments would upset CMake's lists: drop them.
  string(REGEX REPLACE "[][;]" "" listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  set(tests "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^([^ #]+)\\.( +#.*)?$")
      set(suite "${CMAKE_MATCH_1}")
      set(test "${gtest_target}.${suite}")
      string(APPEND tests
             "add_test(\"${test}\" \"${gtest_executable}\" \"--gtest_filter=${suite}.*\")\n"
             "set_tests_properties(\"${test}\" PROPERTIES WORKING_DIRECTORY "
             "\"${gtest_working_directory}\")\n")
    endif()
  endforeach()
  if(tests STREQUAL "")
    message(FATAL_ERROR "${gtest_executable} lists no test suites:\n${listing}")
  endif()
  file(WRITE "${gtest_suites_file}" "${tests}")
endif()
include("${gtest_suites_file}")
