// Who owns a file on Windows: the user, the administrators or the system may be followed and
// read; a file or reparse point of anybody else may have been put there to mislead the program.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// Whether the object open as `handle` (with READ_CONTROL) belongs to the user running the
// program, to the Administrators group or to the system. True as well where the file system
// keeps no owner. Otherwise false, with the owner's account name in `owner`.
bool trustedOwner(HANDLE handle, std::string& owner);

// Whether a reparse point (a symbolic link, a junction) at `path`, if there is one, may be
// followed: it is the user's, the administrators' or the system's. False with the reason.
bool reparsePointTrusted(const std::wstring& path, std::string& why);

}  // namespace platform::win32
