// Text at the seam to Windows: the program's own UTF-8 strings become the UTF-16 strings of
// the wide (W) calls, and what those calls return comes back as UTF-8, so that every text is
// right whatever the system's code page.
#pragma once

#include <string>
#include <string_view>

namespace platform::win32 {

// UTF-8 to UTF-16; a byte that is no UTF-8 becomes U+FFFD.
std::wstring widen(std::string_view utf8);

// UTF-16 to UTF-8.
std::string narrow(std::wstring_view wide);

}  // namespace platform::win32
