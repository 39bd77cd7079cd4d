# Installation rules (cmake --install) and the Debian package (cpack, see scripts/package).
#
# Layout, relative to the prefix (/usr for the package, /usr/local by default):
#
#   lib/quenlor/quenlor, quenlor-batch, aceadmin   the programs
#   lib/quenlor/libace32.so                        the engine, beside them
#   bin/quenlor, bin/quenlor-batch, bin/aceadmin   links to the programs, on the search path
#   share/man/man1/*.1.gz                          manual pages
#   share/doc/quenlor/                             the user guide and aceadmin's reference
#   share/applications/quenlor.desktop             the desktop entry, with
#   share/icons/hicolor/scalable/apps/quenlor.svg  the tool's icon
#   lib/systemd/system/quenlor-batch.{service,timer}  the nightly run (installed, not enabled)
#
# The components load libace32 by name, beside the executable first, then through the system's
# search path. The engine is private to these programs, so it lives beside them in their own
# folder rather than in the shared library folders: no other program can pick it up by
# accident, another library of that name elsewhere on the system never shadows it, and no
# ldconfig run is needed. The links in bin/ resolve to that folder: "beside the executable" is
# taken from the executable's real path, and aceadmin, which links the engine, finds it through
# its run path $ORIGIN. The settings and branding files that the programs look for beside
# themselves (pellmar.cfg, oem.ico, oeminfo.dat) therefore go into lib/quenlor/ as well.
include(GNUInstallDirs)

set(QUENLOR_INSTALL_PROGRAM_DIR "lib/quenlor" CACHE STRING
    "Folder of the programs and the engine, relative to the prefix")
set(QUENLOR_INSTALL_UNIT_DIR "lib/systemd/system" CACHE STRING
    "Folder of the systemd units, relative to the prefix")
set(QUENLOR_INSTALL_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/quenlor")

# The packaged programs are built by "all"; cmake --install and cpack do not build by
# themselves, so that packaging never starts a build of the tests (scripts/package builds
# exactly what it installs).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(TARGETS quenlor quenlor-batch aceadmin ace32
        RUNTIME DESTINATION ${QUENLOR_INSTALL_PROGRAM_DIR}
        LIBRARY DESTINATION ${QUENLOR_INSTALL_PROGRAM_DIR}
        NAMELINK_SKIP)

# Relative links, made in the build folder and installed as links: they hold for any prefix.
file(RELATIVE_PATH program_dir_from_bin "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${QUENLOR_INSTALL_PROGRAM_DIR}")
set(link_dir ${CMAKE_BINARY_DIR}/packaging/links)
file(MAKE_DIRECTORY ${link_dir})
foreach(program quenlor quenlor-batch aceadmin)
  file(CREATE_LINK ${program_dir_from_bin}/${program} ${link_dir}/${program} SYMBOLIC)
  install(FILES ${link_dir}/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/packaging/quenlor.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/quenlor.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${QUENLOR_INSTALL_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/tools/README.md DESTINATION ${QUENLOR_INSTALL_DOC_DIR} RENAME aceadmin.md)

# The manual pages and the service name the installed folders, which are known only when the
# installation runs (cmake --install --prefix, or cpack's prefix): they are filled in then.
install(CODE "
  set(QUENLOR_SOURCE_DIR \"${CMAKE_SOURCE_DIR}\")
  set(QUENLOR_STAGE_DIR \"${CMAKE_BINARY_DIR}/packaging/stage\")
  set(QUENLOR_VERSION \"${PROJECT_VERSION}\")
  set(QUENLOR_BIN_DIR_REL \"${CMAKE_INSTALL_BINDIR}\")
  set(QUENLOR_PROGRAM_DIR_REL \"${QUENLOR_INSTALL_PROGRAM_DIR}\")
  set(QUENLOR_DOC_DIR_REL \"${QUENLOR_INSTALL_DOC_DIR}\")
  set(QUENLOR_MAN_DIR_REL \"${CMAKE_INSTALL_MANDIR}\")
  set(QUENLOR_UNIT_DIR_REL \"${QUENLOR_INSTALL_UNIT_DIR}\")
  include(\"${CMAKE_SOURCE_DIR}/cmake/InstallConfigured.cmake\")
")

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quenlor)
set(CPACK_PACKAGE_VENDOR "Quenlor")
set(CPACK_PACKAGE_CONTACT "Quenlor maintainers <quenlor@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rebuilds the indexes of every table of a Pellmar installation")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Database Quenlor rebuilds every index of every table of every data dictionary of a Pellmar
installation, from a window (quenlor) or unattended (quenlor-batch, with a systemd timer for
the nightly run). It brings its own client database engine (libace32) and the engine's admin
and SQL shell, aceadmin.")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The package's dependencies are those of its binaries, as dpkg-shlibdeps finds them; the engine
# is resolved inside the package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_STRIP_FILES ON)
# Install with DESTDIR, so that the installation sees the package's real prefix (/usr) and
# writes it into the manual pages and the service.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
    ${CMAKE_SOURCE_DIR}/packaging/debian/prerm
    ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
