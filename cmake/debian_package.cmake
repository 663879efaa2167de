# `cpack` in the build folder makes a .deb of the installation under /usr.
# Its dependencies come from the binaries (dpkg-shlibdeps, package dpkg-dev).
set(QUORVANE_PACKAGE_MAINTAINER "Quorvane developers <quorvane@localhost>" CACHE STRING
  "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Host software for a USB inertial motion tracker")
set(CPACK_PACKAGE_DESCRIPTION
  "The tracker library (libQuorvane) with its header, CMake package and pkg-config file; \
the configuration tool, the mouse emulator, a console demo, a tracker simulator and the \
orientation replay; the udev rule that gives the logged-in user the tracker's port.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVANE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file for packages built against the library, and the loader's
# cache brought up to date after installing or removing it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/postinst
  ${PROJECT_SOURCE_DIR}/cmake/debian/postrm ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The build keeps its debug information; the package does not need it.
set(CPACK_STRIP_FILES ON)
include(CPack)
