# Debian packages by CPack: `cmake --build build --target package` makes
# zarvex_<version>_<arch>.deb (the desktop program and zarvex-qr) and
# zarvex-notifyd_<version>_<arch>.deb (the service), from the components of
# cmake/install.cmake. Dependencies are read from the binaries (dpkg-shlibdeps).
if(NOT (UNIX AND NOT APPLE))
  return()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarvex)
set(CPACK_PACKAGE_VENDOR "Zarvex developers")
set(CPACK_PACKAGE_CONTACT "Zarvex developers <dev@zarvex.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL zarvex notifyd)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_ZARVEX_PACKAGE_NAME zarvex)
set(CPACK_DEBIAN_ZARVEX_PACKAGE_SECTION utils)
# Qt's platform plugins are loaded at run time, so shlibdeps cannot see them:
# X11's always, Wayland's for Wayland desktops.
set(CPACK_DEBIAN_ZARVEX_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_ZARVEX_PACKAGE_RECOMMENDS "qt6-wayland, fonts-wqy-microhei | fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_ZARVEX_PACKAGE_SUGGESTS "zarvex-notifyd")
set(CPACK_COMPONENT_ZARVEX_DESCRIPTION "watch spots on the screen and be alerted when they change
Zarvex watches spots on your screen while you look elsewhere. Mark a spot
with Ctrl+W; during a monitoring run every marked spot is read once a
second, and Zarvex alerts you by e-mail (through zarvex-notifyd) and by a
sound when a spot's colour changes, or when it stays the same for a number
of seconds you choose. It works on X11 desktops, and on Wayland desktops as
far as each one lets a program read the screen and claim a key.
.
The package also holds zarvex-qr, a command-line QR Code encoder.")

set(CPACK_DEBIAN_NOTIFYD_PACKAGE_NAME zarvex-notifyd)
set(CPACK_DEBIAN_NOTIFYD_PACKAGE_SECTION net)
set(CPACK_DEBIAN_NOTIFYD_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_NOTIFYD_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/zarvex-notifyd/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/zarvex-notifyd/prerm
  ${PROJECT_SOURCE_DIR}/packaging/debian/zarvex-notifyd/postrm)
set(CPACK_COMPONENT_NOTIFYD_DESCRIPTION "notification service of Zarvex
zarvex-notifyd is the HTTP service the desktop program Zarvex asks for the
newest version and to send alert mails. Accepted mails are kept on disk
until an SMTP relay took them or they were written to an outbox folder.
.
The systemd unit is installed but not enabled; it starts once
/etc/zarvex/notifyd.ini is written.")

include(CPack)
