# Installing Korvex as a desktop program (cmake --install) and its Debian package (cpack -G DEB).
# Included at the end of the top-level list, once the program's target exists.
include(GNUInstallDirs)

set(KORVEX_APP_ID io.github.korvex.Korvex)
set(KORVEX_HOMEPAGE https://korvex.github.io/)
set(KORVEX_SOURCE_URL https://github.com/korvex/korvex)
set(KORVEX_MAINTAINER "The Korvex developers <korvex@users.noreply.github.com>")
set(korvex_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(korvex_pkg_out ${PROJECT_BINARY_DIR}/packaging)
# Debian's documentation folder is named after the package, in lower case.
set(korvex_docdir ${CMAKE_INSTALL_DATADIR}/doc/korvex)

install(TARGETS korvex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${korvex_pkg}/${KORVEX_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${korvex_pkg}/${KORVEX_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 32 48 128 256)
  install(FILES ${korvex_pkg}/icons/${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME ${KORVEX_APP_ID}.png)
endforeach()
install(FILES ${korvex_pkg}/icons/scalable.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${KORVEX_APP_ID}.svg)

# The licences of what the program carries inside itself: the 7z engine names the package
# version it was taken from.
execute_process(COMMAND dpkg-query -W -f=\${Version} p7zip-full
  OUTPUT_VARIABLE KORVEX_7Z_PACKAGE_VERSION ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
configure_file(${korvex_pkg}/copyright.in ${korvex_pkg_out}/copyright @ONLY)
configure_file(${korvex_pkg}/changelog.in ${korvex_pkg_out}/changelog @ONLY)
install(FILES ${korvex_pkg_out}/copyright DESTINATION ${korvex_docdir})

# Manual page and changelog compressed as Debian wants them: gzip -9 without a time stamp,
# so that the same sources give the same bytes.
set(korvex_gzipped)
foreach(pair "${korvex_pkg}/korvex.1|korvex.1.gz" "${korvex_pkg_out}/changelog|changelog.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  add_custom_command(OUTPUT ${korvex_pkg_out}/${target}
    COMMAND gzip -9nc ${source} > ${korvex_pkg_out}/${target}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND korvex_gzipped ${korvex_pkg_out}/${target})
endforeach()
add_custom_target(korvex_packaging_docs ALL DEPENDS ${korvex_gzipped})
install(FILES ${korvex_pkg_out}/korvex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${korvex_pkg_out}/changelog.gz DESTINATION ${korvex_docdir})

# The package holds only the program and its files: cpack and "make install" need not build the
# tests and benchmarks first (scripts/make-deb builds what the package holds).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KORVEX_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KORVEX_HOMEPAGE})
# Files and folders are opened and shown, and mail composed, through the desktop's own tools;
# the libraries are added when cpack runs, once the binaries exist.
set(CPACK_DEBIAN_PACKAGE_DEPENDS xdg-utils)
file(GENERATE OUTPUT ${korvex_pkg_out}/CPackProjectConfig.cmake CONTENT "\
set(korvex_binaries $<TARGET_FILE:korvex> $<TARGET_FILE:korvex_hooklib> ${KORVEX_7Z_ENGINE})
set(korvex_shlibdeps_dir ${korvex_pkg_out}/shlibdeps)
include(${korvex_pkg}/ShlibDeps.cmake)
")
set(CPACK_PROJECT_CONFIG_FILE ${korvex_pkg_out}/CPackProjectConfig.cmake)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[small screen recorder for the X11 desktop
Korvex marks a region of the screen with a semi-transparent frame and records
it into an AVI file, with the pointer, clicks and a few keys drawn into the
frames, through a chosen codec. A toolbar and the Super+S key start and stop
the recording; recordings can be played, compressed into ZIP or 7z archives
and sent by mail.]])
include(CPack)
