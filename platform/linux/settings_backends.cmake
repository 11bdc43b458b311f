# Backends of the settings file and its dialogs: INI lookup through inih, whole-file replace,
# file choosers through zenity or kdialog.
find_package(PkgConfig REQUIRED)
pkg_check_modules(INIH REQUIRED IMPORTED_TARGET GLOBAL inih)
target_sources(tarvel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ini_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_replace_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_chooser_linux.cpp)
target_link_libraries(tarvel_platform PRIVATE PkgConfig::INIH)
