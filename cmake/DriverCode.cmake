# Code that checks or packages the modules rather than simulating them: the tests, the image and
# firmware-file tools, the boardsim tool's command line, the benchmark driver. A build may compile
# it with other flags than the simulator: the test preset compiles it unoptimised, which takes a
# third of the time -O2 does under the sanitizers, with the same sanitizers and warnings. The
# simulator itself stays optimised; see boardfw_simulator_first for code linked with it.
set(BOARDFW_DRIVER_CODE_FLAGS "" CACHE STRING
    "Compile options for the code of the tests and tools (not the simulator)")
set(BOARDFW_SIMULATOR_LIBRARIES boardsim_core boardsim_sweep boardsim_fuzz_targets)
# What every one of them links from this project.
set(BOARDFW_SIMULATOR_BASE_LIBRARIES boardsim_core boardsim_board peimage)

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

# Puts the simulator's libraries that <target> links, whole, ahead of <target>'s own objects on
# its link line. The linker keeps the first copy it meets of an inline function compiled into
# several objects (the JSON library's, the standard containers'); with the test's own objects
# first, the simulator would run the test's unoptimised copies, which made the scenario tests
# take two to three times as long. Only needed where driver code has flags of its own.
function(boardfw_simulator_first target)
  if(NOT BOARDFW_DRIVER_CODE_FLAGS)
    return()
  endif()
  get_target_property(libraries ${target} LINK_LIBRARIES)
  set(whole ${BOARDFW_SIMULATOR_BASE_LIBRARIES})
  foreach(library ${BOARDFW_SIMULATOR_LIBRARIES})
    if(library IN_LIST libraries)
      list(APPEND whole ${library})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES whole)
  list(TRANSFORM whole REPLACE "(.+)" "$<TARGET_FILE:\\1>" OUTPUT_VARIABLE archives)
  target_link_options(${target} PRIVATE LINKER:--whole-archive ${archives}
                      LINKER:--no-whole-archive)
endfunction()
