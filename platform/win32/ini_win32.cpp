// INI lookup on Windows: every value comes from GetPrivateProfileStringW, whose lookup rules
// are the ones the seam describes. The file's name goes to it as wide text; the value comes
// back in the bytes that the file holds in the system's code page, as the ANSI call gives them.
#include <windows.h>

#include <string>

#include "platform/ini.h"
#include "platform/win32/wide_text.h"

namespace platform {

struct IniFile::Impl {
    std::wstring path;
};

namespace {

// The profile functions look a name without any folder up in the Windows folder, not in the
// current one: "tarvel.ini" becomes ".\tarvel.ini". Forward slashes become backslashes.
std::wstring profilePath(const std::string& path) {
    std::wstring p = win32::widen(path);
    bool hasFolder = false;
    for (wchar_t& c : p) {
        if (c == L'/') c = L'\\';
        if (c == L'\\' || c == L':') hasFolder = true;
    }
    return hasFolder ? p : L".\\" + p;
}

}  // namespace

IniFile::IniFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
    impl_->path = profilePath(path);
}

IniFile::~IniFile() = default;

std::string IniFile::value(const char* section, const char* key, const char* defaultValue) const {
    // Section, key and default are ASCII, the same in every code page.
    const std::wstring wideSection = win32::widen(section);
    const std::wstring wideKey = win32::widen(key);
    const std::wstring wideDefault = win32::widen(defaultValue);
    wchar_t buffer[kMaxValueLength + 1];
    const DWORD n =
        GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), wideDefault.c_str(), buffer,
                                 kMaxValueLength + 1, impl_->path.c_str());
    const int length =
        WideCharToMultiByte(CP_ACP, 0, buffer, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    std::string value(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, buffer, static_cast<int>(n), value.data(), length, nullptr,
                        nullptr);
    // The ANSI call's buffer held kMaxValueLength bytes at most.
    if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
    return value;
}

}  // namespace platform
