# How Quelmar is installed, from the one version of project():
#
#  - on the MinGW cross build, the target quelmar_installer runs makensis on
#    packaging/windows/quelmar.nsi with the Release quelmar.exe and writes
#    quelmar-<version>-setup.exe into the build directory;
#  - natively, `cpack -G DEB` makes quelmar_<version>_<arch>.deb: the program,
#    the udev rule, the manual page, the README and the Debian copyright and
#    changelog.
#
# scripts/package.sh builds both into dist/; scripts/test-package.sh checks
# them (installs, starts, uninstalls).

set(QUELMAR_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

# The Debian changelog names the version it describes: a version raised here
# without its entry there would ship a package whose history stops short.
file(STRINGS ${QUELMAR_PACKAGING_DIR}/debian/changelog _quelmar_changelog_top LIMIT_COUNT 1)
if(NOT _quelmar_changelog_top MATCHES "^quelmar \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: its first entry is not for version ${PROJECT_VERSION}; "
                      "add one at its top")
endif()

if(WIN32)
  find_program(QUELMAR_MAKENSIS makensis)
  if(QUELMAR_MAKENSIS AND TARGET quelmar)
    set(QUELMAR_INSTALLER ${CMAKE_BINARY_DIR}/quelmar-${PROJECT_VERSION}-setup.exe)
    add_custom_command(
      OUTPUT ${QUELMAR_INSTALLER}
      COMMAND ${QUELMAR_MAKENSIS} -V2 -INPUTCHARSET UTF8 -DVERSION=${PROJECT_VERSION}
              -DVERSION_QUAD=${QUELMAR_VERSION_QUAD} -DEXE=$<TARGET_FILE:quelmar>
              -DICON=${PROJECT_SOURCE_DIR}/ui/win32/quelmar.ico -DOUTFILE=${QUELMAR_INSTALLER}
              ${QUELMAR_PACKAGING_DIR}/windows/quelmar.nsi
      DEPENDS quelmar ${QUELMAR_PACKAGING_DIR}/windows/quelmar.nsi ${PROJECT_SOURCE_DIR}/ui/win32/quelmar.ico
      COMMENT "Windows installer ${QUELMAR_INSTALLER}"
      VERBATIM)
    add_custom_target(quelmar_installer DEPENDS ${QUELMAR_INSTALLER})
  endif()
else()
  include(GNUInstallDirs)
  set(_quelmar_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/quelmar)
  set(_quelmar_out ${CMAKE_BINARY_DIR}/packaging)

  # Debian ships manual pages and changelogs compressed with gzip -9n (no
  # name, no time stamp: the same bytes at every build). The manual page
  # names the version.
  configure_file(${QUELMAR_PACKAGING_DIR}/quelmar.1 ${_quelmar_out}/quelmar.1 @ONLY)
  configure_file(${QUELMAR_PACKAGING_DIR}/debian/changelog ${_quelmar_out}/changelog COPYONLY)
  set(_quelmar_gzipped)
  foreach(name quelmar.1 changelog)
    add_custom_command(
      OUTPUT ${_quelmar_out}/${name}.gz
      COMMAND gzip -9nkf ${_quelmar_out}/${name}
      DEPENDS ${_quelmar_out}/${name}
      VERBATIM)
    list(APPEND _quelmar_gzipped ${_quelmar_out}/${name}.gz)
  endforeach()
  add_custom_target(quelmar_package_files ALL DEPENDS ${_quelmar_gzipped})

  install(FILES ${_quelmar_out}/quelmar.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${_quelmar_out}/changelog.gz ${QUELMAR_PACKAGING_DIR}/debian/copyright ${PROJECT_SOURCE_DIR}/README.md
                ${PROJECT_SOURCE_DIR}/docs/linux-usb.md
          DESTINATION ${_quelmar_doc})
  # udev reads /usr/lib/udev/rules.d (the package's place; /etc/udev/rules.d
  # is the administrator's), whatever the library directory is called.
  install(FILES ${QUELMAR_PACKAGING_DIR}/udev/60-quelmar.rules DESTINATION lib/udev/rules.d)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME quelmar)
  set(CPACK_PACKAGE_VENDOR "Proyecto Quelmar")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
      OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Proyecto Quelmar <maintainers@quelmar.invalid>")
  set(CPACK_DEBIAN_PACKAGE_SECTION misc)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Depends from the libraries the program links (dpkg-shlibdeps).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for a USB weighing and sorting scale")
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Quelmar finds and configures the scale, calibrates it against a reference
weight, shows the live weight, sends the limits of its eight sorting lines and
counts items and kilograms per line while production runs, storing every item
as it is counted. It keeps a calibration file, limits files and dated
statistics reports.
.
This is the terminal (ncurses) program, in Spanish. It drives the real scale
over libusb (a udev rule gives the plugdev group and the user at the seat
access to it) or a simulated scale for trying it out.")
  include(CPack)
endif()
