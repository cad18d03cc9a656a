# The Debian package: `cpack -G DEB` in a build folder (the Makefile's `package` target) gives
# quillet_<version>_amd64.deb with the installed layout under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quillet developers")
set(CPACK_PACKAGE_CONTACT "The Quillet developers <maintainers@quillet.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "pack, upload and find the web pages of Ethernet measuring devices")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillet packs a folder of web pages into one web file, uploads a web file
or a firmware image to a device over TFTP and waits until the device has
restarted, finds the devices on the local network by UDP broadcast and can
give a device a new IP address. The console programs quillet-cli and
sitepack do the same jobs for scripts.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quillet.org/)
# The libraries linked are found by dpkg-shlibdeps; what is loaded as a plugin or run as a child
# program is named by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite, curl")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
include(CPack)
