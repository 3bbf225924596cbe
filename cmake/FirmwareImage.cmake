# Firmware builds of the modules: PE/COFF images (PE32+ for X64, PE32 for IA32) that UEFI
# firmware loads, compiled by clang for a Windows target and linked by lld-link. The same sources
# as the host build; the base layer's native backend replaces the host one.

# The firmware compiler must be clang whatever compiler builds the host code.
find_program(BOARDFW_FIRMWARE_CLANG NAMES clang++ REQUIRED)
find_program(BOARDFW_LLD_LINK NAMES lld-link REQUIRED)

set(BOARDFW_FIRMWARE_FLAGS -std=c++20 -ffreestanding -fno-exceptions -fno-rtti
    -fno-threadsafe-statics -fno-stack-protector -fno-asynchronous-unwind-tables
    -mno-stack-arg-probe -Os -fshort-wchar -ffunction-sections -fdata-sections
    -g -gcodeview -Wall -Wextra -Werror)
# (no stack probes: nothing provides __chkstk in firmware)

# Per architecture: the compiler's target and lld-link's machine.
set(BOARDFW_FIRMWARE_TARGET_X64 --target=x86_64-unknown-windows -mno-red-zone)
set(BOARDFW_FIRMWARE_MACHINE_X64 x64)
set(BOARDFW_FIRMWARE_TARGET_IA32 --target=i686-unknown-windows)
set(BOARDFW_FIRMWARE_MACHINE_IA32 x86)

# boardfw_firmware_objects(<out> OBJECT_DIR <dir> ARCH <X64|IA32> SOURCES <files...>
#                          [FLAGS <include and define flags...>] [DEPENDS <files...>])
# Adds a compile command per source; <out> lists the objects in the order of the sources.
function(boardfw_firmware_objects out)
  cmake_parse_arguments(ARG "" "OBJECT_DIR;ARCH" "SOURCES;FLAGS;DEPENDS" ${ARGN})
  set(objects)
  foreach(source ${ARG_SOURCES})
    get_filename_component(source ${source} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    # Objects mirror the source tree so that equal file names in two folders do not collide.
    file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${source})
    string(REPLACE "../" "__/" relative ${relative})
    set(object ${ARG_OBJECT_DIR}/${relative}.obj)
    add_custom_command(
      OUTPUT ${object}
      COMMAND ${BOARDFW_FIRMWARE_CLANG} ${BOARDFW_FIRMWARE_TARGET_${ARG_ARCH}}
              ${BOARDFW_FIRMWARE_FLAGS} ${ARG_FLAGS}
              -MD -MF ${object}.d -c ${source} -o ${object}
      DEPENDS ${source} ${ARG_DEPENDS}
      DEPFILE ${object}.d
      COMMENT "Compiling ${relative} for ${ARG_ARCH} firmware"
      COMMAND_EXPAND_LISTS VERBATIM)
    list(APPEND objects ${object})
  endforeach()
  set(${out} ${objects} PARENT_SCOPE)
endfunction()

# boardfw_include_flags(<out> <folders...>): the compiler's -I flags for <folders>.
function(boardfw_include_flags out)
  set(flags)
  foreach(dir ${ARGN})
    list(APPEND flags -I${dir})
  endforeach()
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

# add_firmware_base(<X64|IA32>)
# The base layer's objects for one architecture (target FirmwareBase<arch>), compiled once and
# linked into every image of that architecture: they see only the shared include folders, never a
# module's folder or definitions, so each image's copy would be the same object.
function(add_firmware_base arch)
  boardfw_include_flags(include_flags ${BOARDFW_INCLUDE_DIRS})
  set(object_dir ${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/FirmwareBase${arch}.dir)
  boardfw_firmware_objects(objects OBJECT_DIR ${object_dir} ARCH ${arch} FLAGS ${include_flags}
                           SOURCES ${BOARDFW_BASE_LIBRARY_SOURCES} ${BOARDFW_BASE_NATIVE_SOURCES})
  add_custom_target(FirmwareBase${arch} DEPENDS ${objects})
  set_property(GLOBAL PROPERTY BOARDFW_FIRMWARE_BASE_OBJECTS_${arch} ${objects})
endfunction()

# add_firmware_image(<name> ARCH <X64|IA32> ALIGN <bytes> ENTRY_GLUE <Dxe|Pei>
#                    ENTRY_POINT <function> SOURCES <files...> [DEFINITIONS <defs...>]
#                    [INCLUDE_DIRS <dirs...>] [OUTPUT_NAME <file stem>] [APPLICATION]
#                    [DEPENDS <generated headers...>])
# Builds <build>/images/<stem>.efi, its link map <build>/images/<stem>.map and its symbols
# <build>/images/<stem>.pdb (target <name>Image, part of ALL). <stem> defaults to <name>. The
# image is a boot service driver (subsystem 11), or a UEFI application (subsystem 10) with
# APPLICATION.
function(add_firmware_image name)
  cmake_parse_arguments(ARG "APPLICATION" "ARCH;ALIGN;ENTRY_GLUE;ENTRY_POINT;OUTPUT_NAME"
                        "SOURCES;DEFINITIONS;INCLUDE_DIRS;DEPENDS" ${ARGN})
  foreach(required ARCH ALIGN ENTRY_GLUE ENTRY_POINT SOURCES)
    if(NOT ARG_${required})
      message(FATAL_ERROR "add_firmware_image(${name}): ${required} is required")
    endif()
  endforeach()
  if(NOT DEFINED BOARDFW_FIRMWARE_MACHINE_${ARG_ARCH})
    message(FATAL_ERROR "add_firmware_image(${name}): ARCH must be X64 or IA32")
  endif()
  if(NOT ARG_OUTPUT_NAME)
    set(ARG_OUTPUT_NAME ${name})
  endif()
  if(ARG_APPLICATION)
    set(subsystem efi_application)
  else()
    set(subsystem efi_boot_service_driver)
  endif()

  boardfw_entry_glue(${ARG_ENTRY_GLUE} glue)
  boardfw_include_flags(include_flags ${BOARDFW_INCLUDE_DIRS} ${CMAKE_CURRENT_SOURCE_DIR}
                        ${ARG_INCLUDE_DIRS})
  set(define_flags -DMODULE_ENTRY_POINT=${ARG_ENTRY_POINT})
  foreach(def ${ARG_DEFINITIONS})
    list(APPEND define_flags -D${def})
  endforeach()

  set(object_dir ${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${name}Image.dir)
  set(compile OBJECT_DIR ${object_dir} ARCH ${ARG_ARCH} FLAGS ${include_flags} ${define_flags}
              DEPENDS ${ARG_DEPENDS})
  boardfw_firmware_objects(module_objects ${compile} SOURCES ${ARG_SOURCES})
  boardfw_firmware_objects(glue_object ${compile} SOURCES ${glue})
  get_property(base_objects GLOBAL PROPERTY BOARDFW_FIRMWARE_BASE_OBJECTS_${ARG_ARCH})
  set(objects ${module_objects} ${base_objects} ${glue_object})

  # /driver only silences lld-link's warning about /align below the page size; it sets no header
  # bit. /WX keeps every other link warning fatal. A fixed timestamp keeps the image reproducible.
  # /debug gives the image a CodeView (RSDS) debug entry; /pdbaltpath keeps the PDB name in it
  # short (the build folder's path would cost image bytes and say nothing on the target).
  # For x86, lld-link decorates the /entry name as cdecl does, so _ModuleEntryPoint resolves
  # to the glue's __ModuleEntryPoint.
  set(image ${CMAKE_BINARY_DIR}/images/${ARG_OUTPUT_NAME}.efi)
  set(map ${CMAKE_BINARY_DIR}/images/${ARG_OUTPUT_NAME}.map)
  set(pdb ${CMAKE_BINARY_DIR}/images/${ARG_OUTPUT_NAME}.pdb)
  add_custom_command(
    OUTPUT ${image} ${map} ${pdb}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/images
    COMMAND ${BOARDFW_LLD_LINK} /nologo /WX /nodefaultlib /subsystem:${subsystem}
            /entry:_ModuleEntryPoint /dll /driver /align:${ARG_ALIGN} /filealign:32 /opt:ref
            /opt:icf /timestamp:0 /machine:${BOARDFW_FIRMWARE_MACHINE_${ARG_ARCH}}
            /implib:${object_dir}/${ARG_OUTPUT_NAME}.lib
            /map:${map} /debug /pdb:${pdb} /pdbaltpath:${ARG_OUTPUT_NAME}.pdb /out:${image}
            ${objects}
    DEPENDS ${objects}
    COMMENT "Linking images/${ARG_OUTPUT_NAME}.efi"
    COMMAND_EXPAND_LISTS VERBATIM)
  add_custom_target(${name}Image ALL DEPENDS ${image})
  add_dependencies(${name}Image FirmwareBase${ARG_ARCH})
  # What a variant build of the same module needs to match.
  set_target_properties(${name}Image PROPERTIES BOARDFW_IMAGE ${image} BOARDFW_IMAGE_ARCH ${ARG_ARCH}
                        BOARDFW_IMAGE_ALIGN ${ARG_ALIGN})
endfunction()
