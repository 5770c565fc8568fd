# SPDX-License-Identifier: Apache-2.0
# Debian packages, made by CPack from the install rules (cmake/install.cmake):
#   korvane   the tool and its manual page
#   zapisim   the simulated storage system, for rehearsals and tests
# `make package` builds both; the dependencies come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KORVANE maintainers")
set(CPACK_PACKAGE_CONTACT "KORVANE maintainers <maintainers@users.noreply.c-seed-af23ddbd.example>")
# No CPACK_PACKAGE_DESCRIPTION_SUMMARY: CPack would put it in front of each
# package's own synopsis, the first line of its description below.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL korvane)
if(TARGET zapisim AND TARGET zapisimlib)
  list(APPEND CPACK_COMPONENTS_ALL zapisim)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debian revision 1 of the upstream version (korvane_1.1.0-1_amd64.deb): a package
# made from an upstream release, whose changelog.Debian.gz says so.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_DEBIAN_KORVANE_PACKAGE_NAME korvane)
set(CPACK_DEBIAN_KORVANE_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_KORVANE_PACKAGE_SUGGESTS zapisim)
set(CPACK_DEBIAN_KORVANE_DESCRIPTION
"back up and restore the object IDs of Ostrel pools and volumes
korvane copies the 16-byte directory object IDs (Tavro Object IDs) of all
pools, or of all volumes, of an Ostrel storage system between the running
system and a plain XML-like text file, in either direction: 'get' saves them
before a reinstall, 'put' gives them back afterwards. It talks to the storage
system through its admin device /dev/zapi and admin directories.")

set(CPACK_DEBIAN_ZAPISIM_PACKAGE_NAME zapisim)
set(CPACK_DEBIAN_ZAPISIM_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_ZAPISIM_PACKAGE_ENHANCES korvane)
set(CPACK_DEBIAN_ZAPISIM_DESCRIPTION
"simulated Ostrel storage system for rehearsing korvane
zapisim keeps a simulated Ostrel storage system (pools, volumes, their states
and object IDs) in an ordinary directory, and runs a program with that system
standing in for the admin device /dev/zapi and the admin directories, through
a preloaded library. It can inject faults and journals every device request.
Meant for rehearsing backups and restores with korvane and for testing; it
needs no root and changes no real storage system.")

include(CPack)
