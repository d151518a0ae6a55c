# Kestrune-setup.exe (target `installer`, part of the default build): the
# stripped Kestrune.exe packed by makensis (Debian's nsis) with
# packaging/kestrune.nsi. Skipped, with a note, without makensis.

find_program(KESTRUNE_MAKENSIS makensis)
if(NOT KESTRUNE_MAKENSIS)
  message(STATUS "makensis not found (Debian package nsis): no Kestrune-setup.exe")
  return()
endif()

set(_script ${CMAKE_CURRENT_SOURCE_DIR}/packaging/kestrune.nsi)
set(_icon ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/kestrune.ico)
set(_staged ${CMAKE_CURRENT_BINARY_DIR}/installer/Kestrune.exe)
set(_setup ${CMAKE_CURRENT_BINARY_DIR}/Kestrune-setup.exe)
add_custom_command(
  OUTPUT ${_setup}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/installer
  # Installed without the debugging symbols of the build.
  COMMAND ${CMAKE_STRIP} -o ${_staged} $<TARGET_FILE:kestrune>
  COMMAND ${KESTRUNE_MAKENSIS} -V2 -INPUTCHARSET UTF8 -DVERSION=${PROJECT_VERSION}
          -DAGENT_EXE=${_staged} -DICON=${_icon} -DOUTFILE=${_setup} ${_script}
  DEPENDS kestrune ${_script} ${_icon}
  COMMENT "Packing Kestrune-setup.exe"
  VERBATIM)
add_custom_target(installer ALL DEPENDS ${_setup})
