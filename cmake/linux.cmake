# What `cmake --install` puts in place on Linux (GNUInstallDirs layout): the program and the
# simulator, the desktop entry, the icon in the hicolor theme, the AppStream metadata, the
# manual pages and the package's documentation; and the .deb that CPack makes of it
# (cpack -G DEB), whose library dependencies dpkg-shlibdeps works out.
include(GNUInstallDirs)

set(TARVEL_APP_ID org.tarvel.tarvel)  # the desktop entry's and the AppStream component's id
set(linux_packaging ${CMAKE_SOURCE_DIR}/packaging/linux)
set(generated ${CMAKE_BINARY_DIR}/packaging)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tarvel)

install(TARGETS tarvel tarvel-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (cpack, cmake --install --strip) also drops the compilers' notes, as
# Debian's own packages do.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program tarvel tarvel-sim)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
    endforeach()
  endif()")
install(FILES ${linux_packaging}/${TARVEL_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${linux_packaging}/${TARVEL_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/png/tarvel-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tarvel.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/resources/tarvel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${linux_packaging}/copyright DESTINATION ${doc_dir})

# Manual pages and the changelog carry the version, and go in compressed as Debian wants them
# (gzip -9, no name or time stamp in the header, so the same tree gives the same bytes).
set(compressed "")
foreach(source tarvel.1 tarvel-sim.1 changelog)
  configure_file(${linux_packaging}/${source}.in ${generated}/${source} @ONLY)
  add_custom_command(
    OUTPUT ${generated}/${source}.gz
    COMMAND gzip -9 -n -c ${generated}/${source} > ${generated}/${source}.gz
    DEPENDS ${generated}/${source}
    VERBATIM)
  list(APPEND compressed ${generated}/${source}.gz)
endforeach()
add_custom_target(tarvel_packaging_files ALL DEPENDS ${compressed})
install(FILES ${generated}/tarvel.1.gz ${generated}/tarvel-sim.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${generated}/changelog.gz DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VENDOR "Tarvel")
set(CPACK_PACKAGE_CONTACT "Tarvel developers <tarvel@example.org>")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The library packages come from dpkg-shlibdeps; zenity draws the file dialogs and the
# IPA font the window's Japanese text.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity, fonts-ipafont-gothic")
# The synopsis, then the long description (CPack indents each of its lines by one space).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "companion program of the walking platform
Tarvel-Omnix reads the eight load sensors of the walking platform over a
serial (USB) port, works out the direction in which the user leans or walks
and whether the user walks, and counts the steps. Every result goes out as a
UDP datagram to 127.0.0.1 port 12345 for a VR locomotion driver; in desktop
mode walking also presses keys and turns the mouse for an X11 game. A small
window with Japanese text shows the live values.
.
The package also holds tarvel-sim, a simulator of the platform.")
include(CPack)
