# The Debian package (cpack -G DEB, through scripts/package). Dependencies come from the
# binaries (dpkg-shlibdeps); the window's Qt platform plugins and the CJK font its Chinese user
# interface needs are recommended, as the headless program runs without either.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarq)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tervan)
set(CPACK_PACKAGE_CONTACT "Zarq developers <zarq@tervan.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dynamic-DNS client with a tray icon and a headless service")
set(CPACK_PACKAGE_DESCRIPTION
    "Zarq signs a name of the dynamic-DNS service in, reports the machine's\n"
    "public IPv4 address (and, when asked, its LAN address), keeps the sign-in\n"
    "alive with a heartbeat every five minutes and signs out when it ends. It\n"
    "lives in the tray and starts at log-in. Without a display it runs\n"
    "headless, also as a systemd user service.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE http://www.tervan.com)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
