// Files by UTF-8 name on Windows: _wfopen with the wide name.
#include <cstdio>

#include "platform/file_names.h"
#include "platform/win32/wide_text.h"

namespace platform {

std::FILE* openFile(const std::string& path, const char* mode) {
    return _wfopen(win32::widen(path).c_str(), win32::widen(mode).c_str());
}

}  // namespace platform
