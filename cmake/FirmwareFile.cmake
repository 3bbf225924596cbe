# What a platform firmware build takes from a module: its FFS file (dependency expression, PE32,
# UI and version sections, written by our ffstool), the dependency expression alone, a UI name
# file and a binary INF that lists them, all next to the image in <build>/images/.

set(BOARDFW_BINARY_INF_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/BinaryModule.inf.in)

# add_firmware_file(<name> TYPE <PEIM|DRIVER|SMM> GUID <file guid> DEPEX <postfix expression>
#                   VERSION <text>)
# For the image of add_firmware_image(<name> ...): writes images/<name>.ffs, .depex, .ui and .inf
# (target <name>Ffs, part of ALL).
function(add_firmware_file name)
  cmake_parse_arguments(ARG "" "TYPE;GUID;DEPEX;VERSION" "" ${ARGN})
  foreach(required TYPE GUID DEPEX VERSION)
    if(NOT ARG_${required})
      message(FATAL_ERROR "add_firmware_file(${name}): ${required} is required")
    endif()
  endforeach()
  # The INF names of each file type: module type, dependency section, architecture.
  set(PEIM_module PEIM)
  set(PEIM_depex PEI_DEPEX)
  set(DRIVER_module DXE_DRIVER)
  set(DRIVER_depex DXE_DEPEX)
  set(SMM_module DXE_SMM_DRIVER)
  set(SMM_depex SMM_DEPEX)
  if(NOT DEFINED ${ARG_TYPE}_module)
    message(FATAL_ERROR "add_firmware_file(${name}): TYPE must be PEIM, DRIVER or SMM")
  endif()
  get_target_property(image ${name}Image BOARDFW_IMAGE)
  get_target_property(arch ${name}Image BOARDFW_IMAGE_ARCH)

  set(dir ${CMAKE_BINARY_DIR}/images)
  set(ffs ${dir}/${name}.ffs)
  set(depex ${dir}/${name}.depex)
  add_custom_command(
    OUTPUT ${ffs} ${depex}
    COMMAND ffstool file -o ${ffs} --type ${ARG_TYPE} --guid ${ARG_GUID} --image ${image}
            --depex ${ARG_DEPEX} --name ${name} --version ${ARG_VERSION}
    COMMAND ffstool depex -o ${depex} ${ARG_DEPEX}
    DEPENDS ${image} ffstool
    COMMENT "Writing images/${name}.ffs"
    VERBATIM)
  add_custom_target(${name}Ffs ALL DEPENDS ${ffs} ${depex})
  # What a variant build of the same module (the QEMU check's) needs to match.
  set_target_properties(${name}Ffs PROPERTIES BOARDFW_FFS ${ffs} BOARDFW_FFS_TYPE ${ARG_TYPE}
                        BOARDFW_FFS_GUID ${ARG_GUID} BOARDFW_FFS_DEPEX "${ARG_DEPEX}"
                        BOARDFW_FFS_VERSION ${ARG_VERSION})

  file(WRITE ${dir}/${name}.ui ${name})
  set(INF_NAME ${name})
  set(INF_GUID ${ARG_GUID})
  set(INF_MODULE_TYPE ${${ARG_TYPE}_module})
  set(INF_DEPEX_TYPE ${${ARG_TYPE}_depex})
  set(INF_ARCH ${arch})
  set(INF_VERSION ${ARG_VERSION})
  set(INF_DEPEX ${ARG_DEPEX})
  configure_file(${BOARDFW_BINARY_INF_TEMPLATE} ${dir}/${name}.inf @ONLY)
endfunction()
