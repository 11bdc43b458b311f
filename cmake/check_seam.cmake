# Fails when a file of the portable core includes an operating-system header or a
# backend's internals. Run by the build (target check_seam) with CORE_LIST naming a file
# that lists the core sources, one a line, CORE_FOLDERS the project's folders a core file may
# include from (joined with "|"), and STAMP the file it touches when all is clean.
#
# The core may include the C++ standard library (<name> with no dot and no slash) and the
# project's own headers ("folder/file.h" in one of CORE_FOLDERS), except those of
# platform/linux and platform/win32. Anything else, in angle brackets or in quotes
# (<X11/Xlib.h>, "windows.h", "sys/mman.h"), is an OS header.
file(STRINGS "${CORE_LIST}" CORE_FILES)
set(violations "")
foreach(file IN LISTS CORE_FILES)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "<([^>]+)>")
      set(header "${CMAKE_MATCH_1}")
      if(header MATCHES "[./]")
        string(APPEND violations "  ${file}: <${header}>\n")
      endif()
    elseif(line MATCHES "\"([^\"]+)\"")
      set(header "${CMAKE_MATCH_1}")
      if(header MATCHES "^platform/(linux|win32)/" OR NOT header MATCHES "^(${CORE_FOLDERS})/[^/]+$")
        string(APPEND violations "  ${file}: \"${header}\"\n")
      endif()
    endif()
  endforeach()
endforeach()
if(violations)
  message(FATAL_ERROR "The portable core includes headers of an operating system or of a "
                      "platform backend; reach them through a platform/*.h seam instead:\n"
                      "${violations}")
endif()
file(TOUCH "${STAMP}")
