# The Debian package, kestrune_<version>_<arch>.deb (cmake --build BUILD
# --target package): the agent in /usr/bin, its systemd user unit, its
# manual page and its documents. The version is the project's; the
# dependencies are what dpkg-shlibdeps finds the program linked against.

# The package installs to /usr, whatever CMAKE_INSTALL_PREFIX a build folder
# holds (a first configure that stopped for a missing dependency caches
# /usr/local): every destination below is relative, and CPack puts them
# under this prefix. `cmake --install` lays out the same tree below its
# prefix; the unit names the packaged program.
set(KESTRUNE_PACKAGE_PREFIX /usr)
set(KESTRUNE_MAINTAINER "Kestrune maintainers <kestrune@ostrelian.com.tr>"
    CACHE STRING "Maintainer field of the Debian package")

set(_gen ${CMAKE_CURRENT_BINARY_DIR}/package)
set(_docdir share/doc/kestrune)
# The date of the manual page and the change log: SOURCE_DATE_EPOCH when set,
# so that a rebuild of one commit gives the same bytes.
string(TIMESTAMP KESTRUNE_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP KESTRUNE_RELEASE_STAMP "%a, %d %b %Y %H:%M:%S +0000" UTC)

install(TARGETS kestrune RUNTIME DESTINATION bin)

set(KESTRUNE_INSTALLED_PROGRAM ${KESTRUNE_PACKAGE_PREFIX}/bin/kestrune)
configure_file(packaging/kestrune.service.in ${_gen}/kestrune.service @ONLY)
# User units live in lib/, whatever the architecture.
install(FILES ${_gen}/kestrune.service DESTINATION lib/systemd/user)

# The Debian change log, made from NEWS: one entry per "Version X.Y.Z" of
# NEWS, its items as they stand. The newest must be the project's version; it
# gets the build's date, an older one the date NEWS gives it ("Version 0.1.0,
# 2026-12-08").
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/NEWS)
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/NEWS _news)
set(_changelog "")
set(_entry_version "")
set(_entry_stamp "")
set(_entry_items "")
macro(_kestrune_close_entry)
  if(_entry_version)
    string(APPEND _changelog "kestrune (${_entry_version}) stable; urgency=medium\n\n"
                             "${_entry_items}\n -- ${KESTRUNE_MAINTAINER}  ${_entry_stamp}\n\n")
  endif()
endmacro()
foreach(_line IN LISTS _news)
  if(_line MATCHES "^Version ([0-9][0-9.]*)(, ([0-9-]+))?")
    _kestrune_close_entry()
    set(_entry_version ${CMAKE_MATCH_1})
    set(_entry_items "")
    if(NOT _changelog)
      if(NOT _entry_version STREQUAL PROJECT_VERSION)
        message(FATAL_ERROR "NEWS begins with version ${_entry_version}, the project is "
                            "${PROJECT_VERSION}: give NEWS an entry for it")
      endif()
      set(_entry_stamp "${KESTRUNE_RELEASE_STAMP}")
    elseif(CMAKE_MATCH_3)
      execute_process(COMMAND date -u -R -d "${CMAKE_MATCH_3} 12:00"
                      OUTPUT_VARIABLE _entry_stamp OUTPUT_STRIP_TRAILING_WHITESPACE)
    else()
      message(FATAL_ERROR "NEWS: version ${_entry_version} has no date (Version X.Y.Z, YYYY-MM-DD)")
    endif()
  elseif(_entry_version AND _line MATCHES "^\\* ")
    string(APPEND _entry_items "  ${_line}\n")
  elseif(_entry_version AND _line MATCHES "^  [^ ]")
    string(APPEND _entry_items "  ${_line}\n")
  endif()
endforeach()
_kestrune_close_entry()
file(WRITE ${_gen}/changelog "${_changelog}")
configure_file(doc/kestrune.1.in ${_gen}/kestrune.1 @ONLY)
foreach(_file kestrune.1 changelog)
  add_custom_command(
    OUTPUT ${_gen}/${_file}.gz
    COMMAND gzip -9 -n -c ${_file} > ${_file}.gz
    DEPENDS ${_gen}/${_file}
    WORKING_DIRECTORY ${_gen}
    VERBATIM)
endforeach()
add_custom_target(package-documents ALL DEPENDS ${_gen}/kestrune.1.gz ${_gen}/changelog.gz)
install(FILES ${_gen}/kestrune.1.gz DESTINATION share/man/man1)
# The technician's and support's documents; not the developers'.
install(FILES doc/install.md doc/operations.md doc/Melrova.ini packaging/copyright
              ${_gen}/changelog.gz
        DESTINATION ${_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${KESTRUNE_PACKAGE_PREFIX})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reporting agent for a restaurant's point-of-sale installation")
set(CPACK_PACKAGE_DESCRIPTION "\
Kestrune runs beside the point-of-sale programs and their database server.
Every ten minutes it reads the business day's sales, writes a sales summary
page and uploads it by FTP to the restaurant's folder on the maker's server.
On request it exports the year's expense movements with their receipt images.
It runs as a systemd user service; kestrune setup writes its settings.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTRUNE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
