// The folder and the name of a path whose folders are separated by "/".
#pragma once

#include <string>
#include <string_view>

namespace text {

// Everything before the last "/": "." for a bare name, "/" for a name in the root folder.
inline std::string folderOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

// Everything after the last "/" (empty for a path that ends in "/").
inline std::string nameOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace text
