# Read by cpack for each package it makes: the ZIP unpacks into a folder of its own; the
# installer chooses its folder itself.
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
