# Precompiled headers for the simulator, its tools, the fuzz targets and the benchmark. The
# standard library and the JSON library are most of what each of their units parses, and their
# templates, instantiated once in the header, most of what each compiles: with the header a
# simulator unit compiles in about two thirds of the time. A precompiled header serves only units
# built with its flags, so there are two owners: one with the build's flags and one with those of
# driver code (cmake/DriverCode.cmake). Tests have their own (tests/CMakeLists.txt).
find_package(nlohmann_json CONFIG REQUIRED)

set(host_headers_source ${CMAKE_BINARY_DIR}/HostHeaders.cpp)
file(CONFIGURE OUTPUT ${host_headers_source} CONTENT "// the precompiled host headers' owner\n")
foreach(owner host_headers host_headers_driver)
  add_library(${owner} OBJECT ${host_headers_source})
  target_link_libraries(${owner} PRIVATE nlohmann_json::nlohmann_json)
  target_precompile_headers(${owner} PRIVATE <algorithm> <array> <cstdint> <cstring> <functional>
                            <map> <memory> <optional> <string> <string_view> <vector>
                            <nlohmann/json.hpp>)
endforeach()
boardfw_driver_code(host_headers_driver)

# boardfw_host_headers(<target>): the target takes the precompiled header of its flags. Module
# code (freestanding), C code and targets with compile options of their own (the libFuzzer
# harnesses) compile without it.
function(boardfw_host_headers target)
  get_target_property(type ${target} TYPE)
  get_target_property(options ${target} COMPILE_OPTIONS)
  get_target_property(c_sources ${target} SOURCES)
  list(FILTER c_sources INCLUDE REGEX "\\.c$")
  if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY)$"
     OR target MATCHES "^(host|test)_headers" OR c_sources OR "-fsanitize=fuzzer" IN_LIST options
     OR "-ffreestanding" IN_LIST options)
    return()
  endif()
  get_target_property(driver ${target} BOARDFW_DRIVER_CODE)
  if(driver)
    target_precompile_headers(${target} REUSE_FROM host_headers_driver)
  else()
    target_precompile_headers(${target} REUSE_FROM host_headers)
  endif()
endfunction()

# boardfw_host_headers_under(<folder>): boardfw_host_headers for every target of <folder> and
# the folders below it.
function(boardfw_host_headers_under folder)
  get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    boardfw_host_headers(${target})
  endforeach()
  get_property(folders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
  foreach(subfolder ${folders})
    boardfw_host_headers_under(${subfolder})
  endforeach()
endfunction()
