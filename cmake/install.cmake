# SPDX-License-Identifier: Apache-2.0
# Where an installed system keeps korvane, the simulator and their manual pages.
#
#   sbin/korvane                    the administrator's tool        (component korvane)
#   share/man/man8/korvane.8.gz
#   share/doc/korvane/              README.md, CHANGELOG.md, copyright
#   lib/systemd/system/             korvane-backup.service and .timer, not enabled
#   libexec/zapisim/zapisim         the simulator and its preload   (component zapisim)
#   libexec/zapisim/libzapisim.so   library, side by side: zapisim finds the library
#   bin/zapisim -> ../libexec/...   next to its own resolved executable
#   share/man/man1/zapisim.1.gz
#   share/doc/zapisim/              zapisim.md, copyright
#
# `cmake --install` honours --prefix and the DESTDIR environment variable; the
# Debian packages are made from the same rules (cmake/packaging.cmake).
include(GNUInstallDirs)

# Installing and packaging take what is built and never start a build themselves
# (the Makefile's install and package targets build first), so the packaging test
# can run cpack beside the other tests without touching the build tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(KORVANE_ZAPISIM_DIR ${CMAKE_INSTALL_LIBEXECDIR}/zapisim)
set(KORVANE_STAGE_DIR ${CMAKE_BINARY_DIR}/install-stage)
# The licence of both packages in Debian's machine-readable form (DEP-5), as each
# package's share/doc/PACKAGE/copyright.
set(KORVANE_COPYRIGHT ${PROJECT_SOURCE_DIR}/cmake/copyright)

# Manual pages go out compressed with gzip -9n, as Debian ships them (reproducibly:
# no name or time stamp in the header). Without gzip they are installed as written.
find_program(KORVANE_GZIP gzip)

function(korvane_install_manual_page page section component)
  set(source ${PROJECT_SOURCE_DIR}/docs/${page}.${section})
  if(KORVANE_GZIP)
    set(compressed ${KORVANE_STAGE_DIR}/${page}.${section}.gz)
    add_custom_command(
      OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KORVANE_STAGE_DIR}
      COMMAND sh -c "\"$0\" -9 -n -c \"$1\" > \"$2\"" ${KORVANE_GZIP} ${source} ${compressed}
      DEPENDS ${source}
      COMMENT "Compressing manual page ${page}(${section})"
      VERBATIM)
    add_custom_target(${page}_manual_page ALL DEPENDS ${compressed})
    install(FILES ${compressed}
      DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
  else()
    install(FILES ${source}
      DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
  endif()
endfunction()

# The tool: an administrator's command, so sbin and section 8.
if(TARGET korvane)
  install(TARGETS korvane RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT korvane)
  korvane_install_manual_page(korvane 8 korvane)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    ${KORVANE_COPYRIGHT} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvane COMPONENT korvane)
  # The daily backup, for systemd to find under /usr or /usr/local; enabling it is the
  # administrator's choice (systemctl enable --now korvane-backup.timer).
  install(FILES ${PROJECT_SOURCE_DIR}/systemd/korvane-backup.service
    ${PROJECT_SOURCE_DIR}/systemd/korvane-backup.timer
    DESTINATION lib/systemd/system COMPONENT korvane)
endif()

# The simulator: a test tool. The executable and its preload library stay together
# in a private directory; the command on the PATH is a relative symbolic link to it,
# so the installed tree can be moved (or unpacked under any root) as a whole.
if(TARGET zapisim AND TARGET zapisimlib)
  install(TARGETS zapisim RUNTIME DESTINATION ${KORVANE_ZAPISIM_DIR} COMPONENT zapisim)
  install(TARGETS zapisimlib LIBRARY DESTINATION ${KORVANE_ZAPISIM_DIR} COMPONENT zapisim)

  file(RELATIVE_PATH link_target
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBEXECDIR}/zapisim/zapisim)
  file(MAKE_DIRECTORY ${KORVANE_STAGE_DIR}/bin)
  file(CREATE_LINK ${link_target} ${KORVANE_STAGE_DIR}/bin/zapisim SYMBOLIC)
  install(FILES ${KORVANE_STAGE_DIR}/bin/zapisim
    DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT zapisim)

  korvane_install_manual_page(zapisim 1 zapisim)
  install(FILES ${KORVANE_COPYRIGHT}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zapisim COMPONENT zapisim)
  if(EXISTS ${PROJECT_SOURCE_DIR}/docs/zapisim.md)
    install(FILES ${PROJECT_SOURCE_DIR}/docs/zapisim.md
      DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zapisim COMPONENT zapisim)
  endif()
endif()
