# Unity builds by folder: a target's sources are compiled one folder at a time, as one translation
# unit per folder, so that the standard library and the JSON headers are parsed, and their
# templates compiled, once per folder instead of once per file. A file added to a folder joins its
# folder's unit: names a source file defines at file scope (anonymous namespace, static) must
# differ from those of the other files in its folder.

# boardfw_unity_by_folder(<target>)
function(boardfw_unity_by_folder target)
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  foreach(source ${sources})
    get_filename_component(path ${source} ABSOLUTE BASE_DIR ${source_dir})
    get_filename_component(folder ${path} DIRECTORY)
    file(RELATIVE_PATH group ${CMAKE_SOURCE_DIR} ${folder})
    set_source_files_properties(${path} TARGET_DIRECTORY ${target} PROPERTIES
                                UNITY_GROUP "${group}")
  endforeach()
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_MODE GROUP)
endfunction()
