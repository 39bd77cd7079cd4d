# Runs during the installation (see Install.cmake): fills the installed folders into the manual
# pages and the systemd units, compresses the manual pages, and installs both.
#
# Set by the caller: QUENLOR_SOURCE_DIR, QUENLOR_STAGE_DIR, QUENLOR_VERSION and the folders
# relative to the prefix (QUENLOR_*_DIR_REL). CMAKE_INSTALL_PREFIX is the installation's prefix.

# Each prefix (and DESTDIR) gets its own staging folder, so that two installations from one
# build folder at the same time do not write the same files.
string(MD5 stage_key "$ENV{DESTDIR}|${CMAKE_INSTALL_PREFIX}")
set(stage "${QUENLOR_STAGE_DIR}/${stage_key}")
file(REMOVE_RECURSE "${stage}")
file(MAKE_DIRECTORY "${stage}/man" "${stage}/systemd")

set(QUENLOR_BIN_DIR "${CMAKE_INSTALL_PREFIX}/${QUENLOR_BIN_DIR_REL}")
set(QUENLOR_PROGRAM_DIR "${CMAKE_INSTALL_PREFIX}/${QUENLOR_PROGRAM_DIR_REL}")
set(QUENLOR_DOC_DIR "${CMAKE_INSTALL_PREFIX}/${QUENLOR_DOC_DIR_REL}")
set(QUENLOR_UNIT_DIR "${CMAKE_INSTALL_PREFIX}/${QUENLOR_UNIT_DIR_REL}")

foreach(page quenlor quenlor-batch aceadmin)
  configure_file("${QUENLOR_SOURCE_DIR}/packaging/man/${page}.1" "${stage}/man/${page}.1" @ONLY)
  # gzip -n: no name or time stamp in the file, so equal pages give equal packages.
  execute_process(COMMAND gzip -9 -n -f "${stage}/man/${page}.1" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress the manual page ${page}.1")
  endif()
endforeach()
file(INSTALL "${stage}/man/quenlor.1.gz" "${stage}/man/quenlor-batch.1.gz" "${stage}/man/aceadmin.1.gz"
     DESTINATION "${CMAKE_INSTALL_PREFIX}/${QUENLOR_MAN_DIR_REL}/man1")

configure_file("${QUENLOR_SOURCE_DIR}/packaging/systemd/quenlor-batch.service.in"
               "${stage}/systemd/quenlor-batch.service" @ONLY)
configure_file("${QUENLOR_SOURCE_DIR}/packaging/systemd/quenlor-batch.timer"
               "${stage}/systemd/quenlor-batch.timer" COPYONLY)
file(INSTALL "${stage}/systemd/quenlor-batch.service" "${stage}/systemd/quenlor-batch.timer"
     DESTINATION "${QUENLOR_UNIT_DIR}")
