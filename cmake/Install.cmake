# cmake --install: the program and the board simulator in bin/, the menu entry,
# the icon and the README. cpack -G DEB makes kelvalog_<version>_amd64.deb.
include(GNUInstallDirs)

if(TARGET kelvalog)
  install(TARGETS kelvalog RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET kelvalog-boardsim)
  install(TARGETS kelvalog-boardsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kelvalog.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kelvalog.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
# Drawn from the SVG by packaging/render-icon.sh and kept in the source tree,
# so building needs no SVG renderer.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kelvalog-256.png
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/256x256/apps
        RENAME kelvalog.png)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvalog)
# Debian wants the changelog compressed to the utmost and without a time stamp.
execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog
                OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvalog)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kelvalog.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME kelvalog)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvalog)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kelvalog maintainers")
# The project's address, the same as in packaging/copyright and packaging/changelog.
set(CPACK_PACKAGE_CONTACT "Kelvalog maintainers <maintainers@kelvalog.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "data logger for the Dravon I2C sensor interface board")
set(CPACK_PACKAGE_DESCRIPTION
    "Kelvalog reads the text lines the Dravon I2C sensor interface board sends\nover a serial port, decodes them into up to eight channels, averages and\nfilters them, shows them and logs them to a SYLK file, a TAB-delimited file\nor a live LibreOffice Calc sheet.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # kelvalog_<version>_<architecture>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries as dpkg-shlibdeps finds them, plus the window's font
# and, for the worksheet log, the office.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libreoffice-calc")
include(CPack)
