# Installing Nocturo as a desktop program (`cmake --install build --prefix P`) and its Debian
# package (`cpack -G DEB` in the build folder). The layout follows the freedesktop.org rules:
#   P/bin/nocturo, P/bin/nocturo-cli             the programs
#   P/share/nocturo/help/                        the help pages (looked up there when no help/
#                                                lies beside the executable)
#   P/share/applications/<id>.desktop            the menu entry, "Open with" for JPEG files
#   P/share/icons/hicolor/{scalable,NxN}/apps/   the icon: our SVG and PNGs drawn from it
#   P/share/metainfo/<id>.metainfo.xml           AppStream metadata
#   P/share/man/man1/                            a man page for each program
#   P/share/doc/nocturo/                         copyright and changelog
include(GNUInstallDirs)

# Installing (and so cpack) takes what is built instead of building every test and benchmark
# first; scripts/package.sh builds just the installed targets and runs cpack.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(NOCTURO_APP_ID io.github.nocturo.Nocturo)
set(NOCTURO_LICENSE GPL-3.0-or-later)
set(NOCTURO_HOMEPAGE https://nocturo.github.io)
set(NOCTURO_RELEASE_DATE 2026-12-11)
set(NOCTURO_MAINTAINER "The Nocturo authors <nocturo@users.noreply.github.com>")
set(NOCTURO_ICON_SIZES 16 22 24 32 48 64 128 256)

find_program(NOCTURO_RSVG_CONVERT rsvg-convert)
if(NOT NOCTURO_RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert draws the icon's PNG sizes from its SVG: install the Debian package "
                      "librsvg2-bin (scripts/setup.sh does)")
endif()
find_program(NOCTURO_GZIP gzip REQUIRED)

set(data_src ${CMAKE_SOURCE_DIR}/resources)
set(data_out ${CMAKE_BINARY_DIR}/install-data)

configure_file(${data_src}/desktop/nocturo.desktop.in ${data_out}/${NOCTURO_APP_ID}.desktop @ONLY)
configure_file(${data_src}/desktop/nocturo.metainfo.xml.in ${data_out}/${NOCTURO_APP_ID}.metainfo.xml @ONLY)

# The icon's PNG sizes, drawn from the SVG whenever it changes.
set(icon_svg ${data_src}/desktop/nocturo.svg)
set(generated)
foreach(size ${NOCTURO_ICON_SIZES})
  set(png ${data_out}/icons/${size}x${size}/${NOCTURO_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${data_out}/icons/${size}x${size}
    COMMAND ${NOCTURO_RSVG_CONVERT} --width=${size} --height=${size} --format=png --output=${png} ${icon_svg}
    DEPENDS ${icon_svg}
    COMMENT "Drawing the ${size}x${size} icon" VERBATIM)
  list(APPEND generated ${png})
endforeach()

# Man pages and the changelog carry the version and are installed compressed, as Debian wants
# them (-n: no time stamp, so that a rebuild gives the same bytes).
foreach(page nocturo.1 nocturo-cli.1)
  configure_file(${data_src}/man/${page} ${data_out}/man/${page} @ONLY)
  list(APPEND gzipped ${data_out}/man/${page})
endforeach()
configure_file(${data_src}/package/changelog.in ${data_out}/doc/changelog @ONLY)
list(APPEND gzipped ${data_out}/doc/changelog)
foreach(file ${gzipped})
  add_custom_command(OUTPUT ${file}.gz
    COMMAND ${NOCTURO_GZIP} -9 -n -k -f ${file}
    DEPENDS ${file} VERBATIM)
  list(APPEND generated ${file}.gz)
endforeach()
add_custom_target(nocturo_install_data ALL DEPENDS ${generated})

# Installed beside the system's libraries, the programs need no run path of their own (Qt's
# project set-up would give them $ORIGIN/../lib).
set_target_properties(nocturo nocturo-cli PROPERTIES INSTALL_RPATH "")
install(TARGETS nocturo nocturo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${data_src}/help/index.html ${data_src}/help/starsoft.html
        DESTINATION ${CMAKE_INSTALL_DATADIR}/nocturo/help)
install(FILES ${data_out}/${NOCTURO_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${data_out}/${NOCTURO_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${NOCTURO_APP_ID}.svg)
foreach(size ${NOCTURO_ICON_SIZES})
  install(FILES ${data_out}/icons/${size}x${size}/${NOCTURO_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${data_out}/man/nocturo.1.gz ${data_out}/man/nocturo-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${data_src}/package/copyright ${data_out}/doc/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/nocturo)

# The Debian package: nocturo_<version>_amd64.deb with the library packages found by
# dpkg-shlibdeps, and the font that the interface's Japanese text needs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nocturo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT ${NOCTURO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${NOCTURO_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bring out and count the stars of night-sky photographs")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Nocturo opens a JPEG night-sky photograph, extracts its stars (every pixel
that stands out from the sky background of its row is brightened and
saturated, bright stars are enlarged) and counts them. It shows the shooting
data that the picture's EXIF block carries and hands the shooting time to a
star-chart program. The interface is Japanese.
.
nocturo-cli runs the same star extraction and EXIF reading without a window.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${NOCTURO_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
set(CPACK_STRIP_FILES ON)
include(CPack)
