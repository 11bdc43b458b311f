// INI lookup on Windows: every value comes from GetPrivateProfileStringA, whose lookup rules
// are the ones the seam describes.
#include <windows.h>

#include <string>

#include "platform/ini.h"

namespace platform {

struct IniFile::Impl {
    std::string path;
};

namespace {

// The profile functions look a name without any folder up in the Windows folder, not in the
// current one: "tarvel.ini" becomes ".\tarvel.ini". Forward slashes become backslashes.
std::string profilePath(const std::string& path) {
    std::string p = path;
    for (char& c : p) {
        if (c == '/') c = '\\';
    }
    // A backslash may be the second byte of a double-byte character; the first byte of such
    // a character is never a backslash, so "has a folder" is decided on whole characters.
    bool hasFolder = false;
    for (const char* s = p.c_str(); *s != '\0'; s = CharNextA(s)) {
        if (*s == '\\' || *s == ':') hasFolder = true;
    }
    return hasFolder ? p : ".\\" + p;
}

}  // namespace

IniFile::IniFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
    impl_->path = profilePath(path);
}

IniFile::~IniFile() = default;

std::string IniFile::value(const char* section, const char* key, const char* defaultValue) const {
    char buffer[kMaxValueLength + 1];
    GetPrivateProfileStringA(section, key, defaultValue, buffer, sizeof buffer,
                             impl_->path.c_str());
    return buffer;
}

}  // namespace platform
