# Backends of the settings file and its dialogs: INI lookup, whole-file replace, files opened by
# name, file choosers through zenity or kdialog.
target_sources(tarvel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ini_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_replace_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/owned_path_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/own_files_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_names_linux.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_chooser_linux.cpp)
