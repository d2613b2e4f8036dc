# Desktop integration and the Debian package.
#
#   cmake --install <build> --prefix ~/.local     (or /usr/local, with sudo)
#   cd <build> && cpack -G DEB                     -> zorvan_<version>_<arch>.deb
#
# The executables carry their own install rules (src/, tools/cli, tools/devsim). Here: the
# desktop entry, the icons of the hicolor theme and the MIME type of the document files. Debian's
# own triggers (desktop-file-utils, shared-mime-info, hicolor-icon-theme) refresh the desktop,
# MIME and icon caches when the package puts files into those folders, so the package needs no
# maintainer scripts.

set(ZORVAN_DATA_DIR ${PROJECT_SOURCE_DIR}/data)

install(FILES ${ZORVAN_DATA_DIR}/zorvan.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZORVAN_DATA_DIR}/icons/hicolor/scalable/apps/zorvan.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${ZORVAN_DATA_DIR}/icons/hicolor/scalable/mimetypes/application-x-zorvan.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/mimetypes)
install(FILES ${ZORVAN_DATA_DIR}/mime/zorvan.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# The install test installs this very build tree into a scratch prefix.
if(TARGET test_app_Install)
    target_compile_definitions(test_app_Install PRIVATE
        ZORVAN_BUILD_DIR="${CMAKE_BINARY_DIR}"
        ZORVAN_CMAKE_COMMAND="${CMAKE_COMMAND}")
    add_dependencies(test_app_Install zorvan zorvanctl)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorvan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zorvan developers")
set(CPACK_PACKAGE_CONTACT "Zorvan developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus RTU master for configuring and watching a channel-map device")
set(CPACK_PACKAGE_INSTALL_DIRECTORY zorvan)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME zorvan)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Zorvan developers")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zorvan builds the channel map of a Modbus RTU device as an XML document, reads the device's tag catalogue, writes the map into the device and reads it back over a serial port. It then polls the mapped values live in a list and a chart; zorvanctl does the same from a shell and zorvan-devsim simulates the device on a pseudo-terminal.")
# Library dependencies are read off the executables by dpkg-shlibdeps. The SVG icon engine is a
# plug-in that Qt loads at run time, which no linker record shows: name it, and Qt's own
# translations, which the program loads for Russian and Ukrainian.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-translations-l10n")

include(CPack)
