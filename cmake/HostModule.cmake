# Host builds of the firmware modules: each module becomes a shared object that the simulator
# loads once per image instance. Module sources are compiled as on the firmware side
# (freestanding, no exceptions, no RTTI); only the backend of the base layer differs.

set(BOARDFW_MODULE_FLAGS -ffreestanding -fno-exceptions -fno-rtti -fno-threadsafe-statics
    -fno-builtin -fvisibility=hidden)

# add_host_module(<name> SOURCES <files...> [DEFINITIONS <defs...>])
function(add_host_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEFINITIONS" ${ARGN})
  add_library(${name}Host SHARED ${ARG_SOURCES} ${BOARDFW_BASE_LIBRARY_SOURCES}
              ${BOARDFW_BASE_HOST_SOURCES})
  target_include_directories(${name}Host PRIVATE ${BOARDFW_INCLUDE_DIRS}
                             ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${name}Host PRIVATE BOARDFW_HOST ${ARG_DEFINITIONS})
  target_compile_options(${name}Host PRIVATE ${BOARDFW_MODULE_FLAGS})
  # Resolve everything at load time, so the writable segment holds only module data.
  target_link_options(${name}Host PRIVATE -Wl,-z,now -Wl,-z,relro -Wl,--no-undefined
                      -nostdlib++)
  if(BOARDFW_SANITIZE)
    # The sanitizer runtime lives in the loading executable.
    target_link_options(${name}Host PRIVATE -Wl,--unresolved-symbols=ignore-all)
  endif()
  set_target_properties(${name}Host PROPERTIES OUTPUT_NAME ${name} PREFIX ""
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/modules)
endfunction()
