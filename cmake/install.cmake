# SPDX-License-Identifier: Apache-2.0
# Where an installed system keeps korvane, the simulator and their manual pages.
#
#   sbin/korvane                    the administrator's tool        (component korvane)
#   share/man/man8/korvane.8.gz
#   share/doc/korvane/              README.md, changelog.gz (CHANGELOG.md), copyright
#   share/bash-completion/completions/korvane
#   lib/systemd/system/             korvane-backup.service and .timer, not enabled
#   lib/tmpfiles.d/korvane.conf     the run lock, made at boot
#   libexec/zapisim/zapisim         the simulator and its preload   (component zapisim)
#   libexec/zapisim/libzapisim.so   library, side by side: zapisim finds the library
#   bin/zapisim -> ../libexec/...   next to its own resolved executable
#   share/man/man1/zapisim.1.gz
#   share/doc/zapisim/              zapisim.md, copyright
#   share/bash-completion/completions/zapisim
#
# `cmake --install` honours --prefix and the DESTDIR environment variable; the
# Debian packages (debian/) are made from the same rules.
include(GNUInstallDirs)

# Installing takes what is built and never starts a build itself (the Makefile's
# install target builds first), so the install tests leave the build tree alone.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(KORVANE_ZAPISIM_DIR ${CMAKE_INSTALL_LIBEXECDIR}/zapisim)
set(KORVANE_STAGE_DIR ${CMAKE_BINARY_DIR}/install-stage)
# The licence of both packages in Debian's machine-readable form (DEP-5), as each
# package's share/doc/PACKAGE/copyright.
set(KORVANE_COPYRIGHT ${PROJECT_SOURCE_DIR}/debian/copyright)
set(KORVANE_COMPLETIONS_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Manual pages and the upstream changelog go out compressed with gzip -9n, as Debian
# ships them (reproducibly: no name or time stamp in the header), by the build target
# TARGET. Without gzip they are installed as written.
find_program(KORVANE_GZIP gzip)

function(korvane_install_compressed source name target destination component)
  if(KORVANE_GZIP)
    set(compressed ${KORVANE_STAGE_DIR}/${name}.gz)
    add_custom_command(
      OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${KORVANE_STAGE_DIR}
      COMMAND sh -c "\"$0\" -9 -n -c \"$1\" > \"$2\"" ${KORVANE_GZIP} ${source} ${compressed}
      DEPENDS ${source}
      COMMENT "Compressing ${name}"
      VERBATIM)
    add_custom_target(${target} ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${destination} COMPONENT ${component})
  else()
    install(FILES ${source} DESTINATION ${destination} RENAME ${name} COMPONENT ${component})
  endif()
endfunction()

function(korvane_install_manual_page page section component)
  korvane_install_compressed(${PROJECT_SOURCE_DIR}/docs/${page}.${section} ${page}.${section}
    ${page}_manual_page ${CMAKE_INSTALL_MANDIR}/man${section} ${component})
endfunction()

# The tool: an administrator's command, so sbin and section 8.
if(TARGET korvane)
  install(TARGETS korvane RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT korvane)
  korvane_install_manual_page(korvane 8 korvane)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${KORVANE_COPYRIGHT}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvane COMPONENT korvane)
  # CHANGELOG.md under the name Debian gives an upstream changelog.
  korvane_install_compressed(${PROJECT_SOURCE_DIR}/CHANGELOG.md changelog korvane_changelog
    ${CMAKE_INSTALL_DATADIR}/doc/korvane korvane)
  install(FILES ${PROJECT_SOURCE_DIR}/completion/korvane
    DESTINATION ${KORVANE_COMPLETIONS_DIR} COMPONENT korvane)
  # The daily backup, for systemd to find under /usr or /usr/local; enabling it is the
  # administrator's choice (systemctl enable --now korvane-backup.timer). The service
  # names the tool by the path it is installed at, so it is made when installing,
  # for the prefix given then.
  install(CODE "
    set(KORVANE_INSTALLED_TOOL \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SBINDIR}/korvane\")
    configure_file(\"${PROJECT_SOURCE_DIR}/systemd/korvane-backup.service\"
      \"${KORVANE_STAGE_DIR}/korvane-backup.service\" @ONLY)" COMPONENT korvane)
  install(FILES ${KORVANE_STAGE_DIR}/korvane-backup.service
    ${PROJECT_SOURCE_DIR}/systemd/korvane-backup.timer
    DESTINATION lib/systemd/system COMPONENT korvane)
  install(FILES ${PROJECT_SOURCE_DIR}/systemd/korvane.tmpfiles
    DESTINATION lib/tmpfiles.d RENAME korvane.conf COMPONENT korvane)
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
  install(FILES ${PROJECT_SOURCE_DIR}/completion/zapisim
    DESTINATION ${KORVANE_COMPLETIONS_DIR} COMPONENT zapisim)
endif()
