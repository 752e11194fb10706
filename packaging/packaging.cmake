# Installation and the Debian package: the program, the analyser simulator, their man pages,
# the desktop entry, the icon in every size and the AppStream metainfo.
#
#   cmake --install build --prefix ~/.local
#   cd build && cpack -G DEB
#
# The PNG sizes of the icon are rendered once from the SVG and committed
# (packaging/icons/render.sh), so neither the build nor the install needs an SVG renderer.

include(GNUInstallDirs)

# Installing and packaging take what has been built and build nothing themselves: without this,
# cpack would first build every target, tests included, before it packs two programs.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(TESSARY_APP_ID org.tessary.Tessary)
set(TESSARY_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

install(TARGETS tessary analyser-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${TESSARY_PACKAGING_DIR}/man/tessary.1 ${TESSARY_PACKAGING_DIR}/man/analyser-sim.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TESSARY_PACKAGING_DIR}/${TESSARY_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TESSARY_PACKAGING_DIR}/${TESSARY_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${TESSARY_PACKAGING_DIR}/icons/tessary.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${TESSARY_APP_ID}.svg)
foreach(size 48 128 256)
  install(FILES ${TESSARY_PACKAGING_DIR}/icons/tessary-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME ${TESSARY_APP_ID}.png)
endforeach()

# The Debian package. Debian 12 names its Qt 6 runtime libraries as below; the platform plugins
# (xcb, offscreen) come in a package of their own that nothing else pulls in.
set(CPACK_PACKAGE_NAME tessary)
set(CPACK_PACKAGE_VENDOR "Tessary")
set(TESSARY_PACKAGE_MAINTAINER "Tessary developers" CACHE STRING
    "Maintainer field of the Debian package, a name and <e-mail address>")
set(CPACK_PACKAGE_CONTACT "${TESSARY_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "noise figure and gain by the Y-factor method with a spectrum analyser")
set(CPACK_PACKAGE_DESCRIPTION
    "Tessary measures the noise figure and the gain of an amplifier, mixer or receiver by the\n"
    "Y-factor method, driving a spectrum analyser over RS-232 with SCPI commands. It comes\n"
    "with analyser-sim, a simulated analyser with a noise source and a DUT on its bench.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY tessary)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The package carries the programs without their debugging information.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6printsupport6 (>= 6.4), libqt6network6 (>= 6.4), libqt6svg6 (>= 6.4), libqt6sql6 (>= 6.4), libqt6sql6-sqlite (>= 6.4), qt6-qpa-plugins (>= 6.4)")
# Where dpkg-shlibdeps is at hand it adds the C and C++ runtime with the versions the build needs.
find_program(TESSARY_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TESSARY_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
