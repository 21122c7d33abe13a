# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in the build folder makes
# setupreel_<version>_<arch>.deb from the install rules of the whole project.
add_subdirectory("${CMAKE_CURRENT_LIST_DIR}/../packaging" packaging)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME setupreel)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Setupreel developers")
set(CPACK_PACKAGE_CONTACT "The Setupreel developers <developers@setupreel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "installs a series of setup programs unattended")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debug information is left out; the build folder keeps it.
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://setupreel.org/")
# CPack puts the summary above this as the first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Setupreel installs a series of setup programs one after another. Build a
program list of setup files, each with an optional switch such as a
silent-install option, save it as a list file (*.SR), and later, on this or
another machine, load it and start the install run: each setup file is
started in turn and waited for, while the window shows the current file,
the programs remaining and a progress bar.
.
Windows setup programs (.exe, .msi, .bat) run through Wine. Lists can also
be run, checked and inspected from a terminal, without a display.
.
Most Windows setup programs are 32-bit, and on amd64 the recommended wine
brings only 64-bit Wine. For 32-bit setups, run as root:
 dpkg --add-architecture i386
 apt-get update
 apt-get install wine32:i386")
# Run-time dependencies come from the binaries; Wine only for Windows setups.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS wine)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
