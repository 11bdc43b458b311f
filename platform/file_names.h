// Files named by the program's own UTF-8 text, for the standard library's file calls: a file
// opened by such a name, and the library's path of it, right whatever the system's code page.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace platform {

// std::fopen of a UTF-8 name (on Windows through the wide name).
std::FILE* openFile(const std::string& path, const char* mode);

// The standard library's path of a UTF-8 name.
inline std::filesystem::path fileSystemPath(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace platform
