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

# Man pages and the changelog are installed gzipped, as Debian keeps them. gzip -n leaves the
# name and time out of the header, so the same source gives the same bytes.
find_program(TESSARY_GZIP gzip REQUIRED)
set(TESSARY_GZIPPED)
foreach(doc man/tessary.1 man/analyser-sim.1 changelog)
  get_filename_component(name ${doc} NAME)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${out}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
                     COMMAND sh -c "\"$0\" -9 -n -c \"$1\" > \"$2\"" ${TESSARY_GZIP}
                             ${TESSARY_PACKAGING_DIR}/${doc} ${out}
                     DEPENDS ${TESSARY_PACKAGING_DIR}/${doc} VERBATIM)
  list(APPEND TESSARY_GZIPPED ${out})
endforeach()
add_custom_target(packaging_docs ALL DEPENDS ${TESSARY_GZIPPED})

# Directories in the package are rwxr-xr-x whatever the umask of the one who builds it.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/tessary.1.gz ${CMAKE_CURRENT_BINARY_DIR}/packaging/analyser-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(TESSARY_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/tessary)
install(FILES ${TESSARY_PACKAGING_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${TESSARY_DOC_DIR})
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
set(TESSARY_DEBIAN_MAINTAINER "Tessary developers <developers@tessary.org>" CACHE STRING
    "Maintainer field of the Debian package, a name and <e-mail address>")
set(CPACK_PACKAGE_CONTACT "${TESSARY_DEBIAN_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "noise figure and gain by the Y-factor method with a spectrum analyser")
# Debian wants the lines of the long description shorter than 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Tessary measures the noise figure and the gain of an amplifier, mixer or\n"
    "receiver by the Y-factor method, driving a spectrum analyser over RS-232\n"
    "with SCPI commands. It comes with analyser-sim, a simulated analyser with\n"
    "a noise source and a DUT on its bench.")
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
# dpkg-shlibdeps adds the C and C++ runtime (and the Qt libraries again) with the versions this
# build needs; cpack -G DEB then needs dpkg-dev, which every Debian build machine has.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
include(CPack)
