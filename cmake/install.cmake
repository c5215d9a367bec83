# What `cmake --install` puts under the prefix on Linux: the three programs,
# the shipped data, the menu entry with its icon, the AppStream description,
# man pages, and the notification service's systemd unit. Two components: the
# desktop program with zarvex-qr ("zarvex") and the service ("notifyd"), one
# Debian package each (cmake/packaging.cmake).
if(NOT (UNIX AND NOT APPLE))
  return()
endif()
include(GNUInstallDirs)

# The desktop entry's name: Wayland compositors and the desktop portal know
# the program by it, so it never changes.
set(ZARVEX_APP_ID org.zarvex.Zarvex)
set(pkg ${PROJECT_SOURCE_DIR}/packaging)

# Man pages and changelogs go compressed, as Debian wants them; gzip -n keeps
# the archive free of time stamps, so builds are reproducible.
function(zarvex_gzip source output)
  add_custom_command(OUTPUT ${output} COMMAND gzip -9nc ${source} > ${output} DEPENDS ${source} VERBATIM)
  set_property(TARGET zarvex_install_files APPEND PROPERTY SOURCES ${output})
endfunction()
add_custom_target(zarvex_install_files ALL)
set(gz ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${gz})
foreach(page zarvex.1 zarvex-qr.1 zarvex-notifyd.8)
  zarvex_gzip(${pkg}/man/${page} ${gz}/${page}.gz)
endforeach()
zarvex_gzip(${pkg}/debian/changelog ${gz}/changelog.gz)

# The desktop program and zarvex-qr.
set(doc ${CMAKE_INSTALL_DATAROOTDIR}/doc)
install(TARGETS zarvex-qr RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT zarvex)
install(FILES ${gz}/zarvex-qr.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT zarvex)
install(FILES ${pkg}/debian/copyright ${gz}/changelog.gz DESTINATION ${doc}/zarvex COMPONENT zarvex)
if(TARGET zarvex)
  install(TARGETS zarvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT zarvex)
  install(FILES ${gz}/zarvex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT zarvex)
  # An installed copy finds its defaults in <prefix>/share/zarvex and keeps
  # the user's settings in the user's own folder.
  install(FILES ${PROJECT_SOURCE_DIR}/data/config.ini ${PROJECT_SOURCE_DIR}/data/tx.wav
          DESTINATION ${CMAKE_INSTALL_DATADIR}/zarvex COMPONENT zarvex)
  install(FILES ${pkg}/linux/${ZARVEX_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT zarvex)
  install(FILES ${pkg}/linux/${ZARVEX_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
          COMPONENT zarvex)
  install(DIRECTORY ${pkg}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons COMPONENT zarvex)
  install(FILES ${pkg}/icons/${ZARVEX_APP_ID}.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          COMPONENT zarvex)
endif()

# The notification service, for servers.
if(TARGET zarvex-notifyd)
  install(TARGETS zarvex-notifyd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT notifyd)
  install(FILES ${gz}/zarvex-notifyd.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT notifyd)
  install(FILES ${pkg}/notifyd/zarvex-notifyd.service DESTINATION lib/systemd/system COMPONENT notifyd)
  install(FILES ${pkg}/notifyd/notifyd.ini DESTINATION ${doc}/zarvex-notifyd/examples COMPONENT notifyd)
  install(FILES ${pkg}/debian/copyright ${gz}/changelog.gz DESTINATION ${doc}/zarvex-notifyd COMPONENT notifyd)
endif()
