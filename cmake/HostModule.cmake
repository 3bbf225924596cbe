# Host builds of the firmware modules: each module becomes a shared object that the simulator
# loads once per image instance. Module sources are compiled as on the firmware side
# (freestanding, no exceptions, no RTTI); only the backend of the base layer differs.

set(BOARDFW_MODULE_FLAGS -ffreestanding -fno-exceptions -fno-rtti -fno-threadsafe-statics -funwind-tables
    -fvisibility=hidden)
# (unwind tables let the simulator end a run that is stuck in module code, e.g. an error stop)

# The entry glue each module kind uses (Base/EntryPoint/<Glue>EntryPoint.cpp).
function(boardfw_entry_glue glue out)
  set(${out} ${CMAKE_SOURCE_DIR}/Base/EntryPoint/${glue}EntryPoint.cpp PARENT_SCOPE)
endfunction()

# add_host_module(<name> ENTRY_GLUE <Dxe|Pei> ENTRY_POINT <function>
#                 SOURCES <files...> [DEFINITIONS <defs...>])
# Builds <build>/modules/<name>.so (target <name>Host).
function(add_host_module name)
  cmake_parse_arguments(ARG "" "ENTRY_GLUE;ENTRY_POINT" "SOURCES;DEFINITIONS" ${ARGN})
  boardfw_entry_glue(${ARG_ENTRY_GLUE} glue)
  add_library(${name}Host SHARED ${ARG_SOURCES} ${glue} ${BOARDFW_BASE_LIBRARY_SOURCES}
              ${BOARDFW_BASE_HOST_SOURCES})
  target_include_directories(${name}Host PRIVATE ${BOARDFW_INCLUDE_DIRS}
                             ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${name}Host PRIVATE BOARDFW_HOST
                             MODULE_ENTRY_POINT=${ARG_ENTRY_POINT} ${ARG_DEFINITIONS})
  target_compile_options(${name}Host PRIVATE ${BOARDFW_MODULE_FLAGS})
  # Resolve everything at load time, so the writable segment holds only module data.
  target_link_options(${name}Host PRIVATE -Wl,-z,now -Wl,-z,relro -nostdlib++)
  if(NOT BOARDFW_SANITIZE)
    # With sanitizers the runtime's symbols come from the loading executable.
    target_link_options(${name}Host PRIVATE -Wl,--no-undefined)
  endif()
  set_target_properties(${name}Host PROPERTIES OUTPUT_NAME ${name} PREFIX ""
                        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/modules)
endfunction()
