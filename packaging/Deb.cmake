# The Debian package, made by CPack's DEB generator from the same install rules as
# `cmake --install`, so the package and an install by hand cannot drift apart. scripts/package
# builds it from the `package` preset (prefix /usr, Debian's hardening flags, stripped at link).
#
# Dependencies come from dpkg-shlibdeps over the installed programs. What it cannot see is named
# here: the Qt platform plugins are loaded at run time, pkexec runs the installer, and
# systemctl starts the installed helper.
#
# Installing the package does not install the helper. Its socket belongs to the one user who
# approved it, and a package install has no such user; so the window starts with its "Install
# Helper" prompt, which asks an administrator through pkexec. Removing the package stops and
# deletes an installed helper, its units and its files (deb/prerm).

# Packages are stripped when linked: stripping after signing would cut off the signatures.
set(CPACK_STRIP_FILES OFF)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ferrolux)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tarquell)
set(CPACK_PACKAGE_CONTACT "Tarquell <support@tarquell.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "monitor of the chip's power, frequency and temperature")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Ferrolux shows what the computer's chip is doing as live scrolling graphs\n"
  "in one small window: package, CPU, GPU and DRAM power, core and GPU\n"
  "frequency, CPU and GPU temperature, and CPU and GPU utilization, with CSV\n"
  "logging. `ferrolux record` measures the energy of a command and\n"
  "`ferrolux serve` exports every series to Prometheus.\n"
  "\n"
  "Power and frequency need root: a small privileged helper, installed from\n"
  "the window with an administrator's approval, runs the sampler once per\n"
  "request.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tarquell.com/ferrolux")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, pkexec, systemd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_SOURCE_DIR}/deb/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/deb)
include(CPack)

# Debian's copyright and changelog files, the changelog compressed reproducibly.
file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/deb/changelog _first LIMIT_COUNT 1)
if(NOT _first MATCHES "^ferrolux \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/deb/changelog starts with \"${_first}\"; its newest entry must "
                      "be the project's version, ${PROJECT_VERSION}")
endif()
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/ferrolux)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/deb/changelog > ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  DEPENDS deb/changelog VERBATIM)
add_custom_target(ferrolux-changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES deb/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${_doc})
