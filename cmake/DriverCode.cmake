# Code that checks or packages the modules without running the simulator's boots: unit tests of
# the modules and the board reader, the image and firmware-file tools, the documentation check.
# A build may compile it with other flags than the simulator: the test preset compiles it
# unoptimised, which takes a third of the time -O2 does under the sanitizers, with the same
# sanitizers and warnings. Code linked with the simulator stays optimised: the linker keeps one
# copy of each inline function (the JSON library's, the standard containers'), and an unoptimised
# copy from a test file would be the one the simulator runs.
set(BOARDFW_DRIVER_CODE_FLAGS "" CACHE STRING
    "Compile options for code that is not linked with the simulator (unit tests, tools)")
set(BOARDFW_SIMULATOR_LIBRARIES boardsim_core boardsim_sweep boardsim_fuzz_targets)

# boardfw_driver_code(<target>...)
function(boardfw_driver_code)
  foreach(target ${ARGN})
    target_compile_options(${target} PRIVATE ${BOARDFW_DRIVER_CODE_FLAGS})
    set_target_properties(${target} PROPERTIES BOARDFW_DRIVER_CODE TRUE)
  endforeach()
endfunction()

# Whether <target> links one of the simulator's libraries directly: <out> is TRUE or FALSE.
function(boardfw_links_simulator target out)
  get_target_property(libraries ${target} LINK_LIBRARIES)
  set(${out} FALSE PARENT_SCOPE)
  foreach(library ${BOARDFW_SIMULATOR_LIBRARIES})
    if(library IN_LIST libraries)
      set(${out} TRUE PARENT_SCOPE)
    endif()
  endforeach()
endfunction()
