# Installation under /usr and the Debian package (cpack -G DEB, see scripts/package).
include(GNUInstallDirs)

set(TIDEWIRE_PROGRAMS tidewire-console tidewire-soup)
if(TIDEWIRE_GUI)
  list(APPEND TIDEWIRE_PROGRAMS tidewire)
endif()
install(TARGETS ${TIDEWIRE_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md docs/formats.md docs/fbb-setup.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/debian/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Manual pages, compressed as Debian wants them.
foreach(page tidewire-console tidewire-soup tidewire)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${page}.1.gz
    COMMAND gzip -n -9 -c ${PROJECT_SOURCE_DIR}/packaging/man/${page}.1
      > ${PROJECT_BINARY_DIR}/${page}.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/man/${page}.1)
  list(APPEND TIDEWIRE_MAN_PAGES ${PROJECT_BINARY_DIR}/${page}.1.gz)
endforeach()
add_custom_target(tidewire_man_pages ALL DEPENDS ${TIDEWIRE_MAN_PAGES})
if(NOT TIDEWIRE_GUI)
  list(REMOVE_ITEM TIDEWIRE_MAN_PAGES ${PROJECT_BINARY_DIR}/tidewire.1.gz)
endif()
install(FILES ${TIDEWIRE_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/systemd/tidewire.service packaging/systemd/tidewire.timer
  DESTINATION lib/systemd/system)
install(DIRECTORY packaging/station/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tidewire/station)

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
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "gateway between Internet e-mail/news and an FBB packet BBS")
# The synopsis comes from the summary; this is the extended description only.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Tidewire carries e-mail and Usenet news between an Internet account and an\n"
  "FBB packet-radio BBS (LinFBB). It turns fetched mail and news into FBB's\n"
  "import file and what FBB exports for the gateway into SOUP reply packets,\n"
  "server answers, acknowledgements and delivery errors. The package holds the\n"
  "desktop program, the terminal front end, the SOUP client for POP3, SMTP and\n"
  "NNTP with TLS, and a systemd timer that runs one pass every five minutes.")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fbb, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/prerm
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
