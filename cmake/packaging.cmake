# Installation under /usr and the Debian package (cpack -G DEB, see scripts/package).
include(GNUInstallDirs)

# Two binary packages: "tidewire" (console, client, units, station template) for headless
# stations, "tidewire-gui" (the window) beside it for a desktop.
install(TARGETS tidewire-console tidewire-soup RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  COMPONENT console)
install(FILES README.md docs/formats.md docs/fbb-setup.md packaging/debian/README.Debian
  packaging/debian/copyright ${PROJECT_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT console)
# Manual pages, compressed as Debian wants them.
function(tidewire_man_page page section component)
  set(gz ${PROJECT_BINARY_DIR}/${page}.${section}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND gzip -n -9 -c ${PROJECT_SOURCE_DIR}/packaging/man/${page}.${section} > ${gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/man/${page}.${section})
  add_custom_target(tidewire_man_${page} ALL DEPENDS ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()
tidewire_man_page(tidewire-console 1 console)
tidewire_man_page(tidewire-soup 1 console)
tidewire_man_page(tidewire-station 5 console)
install(FILES packaging/systemd/tidewire.service packaging/systemd/tidewire.timer
  DESTINATION lib/systemd/system COMPONENT console)
install(DIRECTORY packaging/station/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tidewire/station
  COMPONENT console)
if(TIDEWIRE_GUI)
  install(TARGETS tidewire RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
  tidewire_man_page(tidewire 1 gui)
  install(FILES packaging/desktop/tidewire.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  install(FILES packaging/desktop/tidewire.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT gui)
  install(FILES packaging/debian/copyright ${PROJECT_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tidewire-gui COMPONENT gui)
endif()

# Debian wants the changelog compressed, with the highest compression and no time stamp.
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND gzip -n -9 -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
    > ${PROJECT_BINARY_DIR}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
add_custom_target(tidewire_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tidewire)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tidewire developers <tidewire@example.org>")
# Each description: its first line is the synopsis, the rest the extended description.
string(CONCAT CPACK_DEBIAN_CONSOLE_DESCRIPTION
  "gateway between Internet e-mail/news and an FBB packet BBS\n"
  "Tidewire carries e-mail and Usenet news between an Internet account and an\n"
  "FBB packet-radio BBS (LinFBB). It turns fetched mail and news into FBB's\n"
  "import file and what FBB exports for the gateway into SOUP reply packets,\n"
  "server answers, acknowledgements and delivery errors. The package holds the\n"
  "terminal front end, the SOUP client for POP3, SMTP and NNTP with TLS, and a\n"
  "systemd timer that runs one pass every five minutes; the window is in the\n"
  "package tidewire-gui.")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL console)
if(TIDEWIRE_GUI)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME tidewire)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_RECOMMENDS "fbb, ca-certificates, acl")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SUGGESTS "tidewire-gui")
set(CPACK_DEBIAN_GUI_PACKAGE_NAME tidewire-gui)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "tidewire (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION hamradio)
string(CONCAT CPACK_DEBIAN_GUI_DESCRIPTION
  "window of the Tidewire packet BBS gateway\n"
  "The desktop program of the Tidewire gateway: GO and AutoGO, the settings\n"
  "dialogs, the user database, the log, backup and restore, in one window.\n"
  "The gateway itself, its SOUP client and the systemd units are in the\n"
  "package tidewire.")
set(CPACK_DEBIAN_CONSOLE_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/prerm
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
