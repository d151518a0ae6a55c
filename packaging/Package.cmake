# The Debian package, kestrune_<version>_<arch>.deb (cmake --build BUILD
# --target package): the agent in /usr/bin, its systemd user unit, its
# manual page and its documents. The version is the project's; the
# dependencies are what dpkg-shlibdeps finds the program linked against.

# The package's layout is also that of `cmake --install`, unless a prefix is given.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Installation prefix" FORCE)
endif()
include(GNUInstallDirs)
set(KESTRUNE_MAINTAINER "Kestrune maintainers <kestrune@ostrelian.com.tr>"
    CACHE STRING "Maintainer field of the Debian package")

set(_gen ${CMAKE_CURRENT_BINARY_DIR}/package)
set(_docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/kestrune)
# The date of the manual page and the change log: SOURCE_DATE_EPOCH when set,
# so that a rebuild of one commit gives the same bytes.
string(TIMESTAMP KESTRUNE_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP KESTRUNE_RELEASE_STAMP "%a, %d %b %Y %H:%M:%S +0000" UTC)

install(TARGETS kestrune RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(KESTRUNE_INSTALLED_PROGRAM ${CMAKE_INSTALL_FULL_BINDIR}/kestrune)
configure_file(packaging/kestrune.service.in ${_gen}/kestrune.service @ONLY)
# Not CMAKE_INSTALL_LIBDIR: user units live in lib/, whatever the architecture.
install(FILES ${_gen}/kestrune.service DESTINATION lib/systemd/user)

# A native package's change log: one entry for the version being packed.
file(WRITE ${_gen}/changelog.in
  "kestrune (@PROJECT_VERSION@) stable; urgency=medium\n\n"
  "  * Release @PROJECT_VERSION@.\n\n"
  " -- @KESTRUNE_MAINTAINER@  @KESTRUNE_RELEASE_STAMP@\n")
configure_file(${_gen}/changelog.in ${_gen}/changelog @ONLY)
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
install(FILES ${_gen}/kestrune.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md doc/Melrova.ini packaging/copyright ${_gen}/changelog.gz
        DESTINATION ${_docdir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
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
