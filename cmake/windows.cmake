# The Windows program's resources (icon 101, menu 102, the manifest and the version information,
# compiled by windres) and its release packages: a ZIP holding tarvel.exe and the users' READMEs,
# and an installer of the same files (cpack --preset windows).

# The version information and the application manifest, from the project's version.
set(TARVEL_VENDOR "Tarvel")
set(TARVEL_COPYRIGHT "2026 Tarvel developers")
set(TARVEL_VERSION4 ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(generated_resources ${CMAKE_BINARY_DIR}/resources)
configure_file(${CMAKE_SOURCE_DIR}/resources/tarvel_version.rc.in
  ${generated_resources}/tarvel_version.rc @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/resources/tarvel.exe.manifest.in
  ${generated_resources}/tarvel.exe.manifest @ONLY)

# The resources, compiled once for tarvel.exe and for the window tests (tests/wine).
add_library(tarvel_resources OBJECT ${CMAKE_SOURCE_DIR}/resources/tarvel.rc
  ${generated_resources}/tarvel_version.rc)
target_include_directories(tarvel_resources PRIVATE ${CMAKE_SOURCE_DIR}/resources
  ${generated_resources})
set_property(SOURCE ${CMAKE_SOURCE_DIR}/resources/tarvel.rc
  APPEND PROPERTY OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/resources/tarvel.ico)
set_property(SOURCE ${generated_resources}/tarvel_version.rc
  APPEND PROPERTY OBJECT_DEPENDS ${generated_resources}/tarvel.exe.manifest)

if(TARGET tarvel)
  target_link_libraries(tarvel PRIVATE tarvel_resources)
  install(TARGETS tarvel RUNTIME DESTINATION .)
endif()

# The READMEs as Windows text: CR LF line ends, and a byte-order mark so that every editor
# reads the Japanese one as UTF-8.
string(ASCII 239 187 191 byte_order_mark)
foreach(lang ja en)
  set(source ${CMAKE_SOURCE_DIR}/packaging/windows/README-${lang}.txt)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${CMAKE_BINARY_DIR}/package/README-${lang}.txt "${byte_order_mark}${text}")
  install(FILES ${CMAKE_BINARY_DIR}/package/README-${lang}.txt DESTINATION .)
endforeach()

# The release packages: the portable ZIP, and a per-user installer made by makensis
# (Debian's nsis) from cmake/NSIS.template.in.
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME tarvel)
set(CPACK_PACKAGE_VENDOR "${TARVEL_VENDOR}")
set(CPACK_PACKAGE_FILE_NAME tarvel-${PROJECT_VERSION}-windows-x64)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack_options.cmake)
set(CPACK_STRIP_FILES ON)
set(CPACK_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake)
set(CPACK_NSIS_PACKAGE_NAME "Tarvel-Omnix")
set(CPACK_NSIS_DISPLAY_NAME "Tarvel-Omnix")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Tarvel-Omnix")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Tarvel-Omnix")
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/resources/tarvel.ico)
set(CPACK_TARVEL_VERSION4 ${TARVEL_VERSION4})
set(CPACK_TARVEL_COPYRIGHT "${TARVEL_COPYRIGHT}")
include(CPack)
