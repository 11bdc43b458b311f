// SteamVR's paths on Windows: %LOCALAPPDATA% and the executable's own file name, as UTF-8.
#include <windows.h>

#include <string>

#include "platform/steamvr_paths.h"
#include "platform/win32/wide_text.h"

namespace platform {

std::string openVrPathsFile() {
    wchar_t folder[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    return win32::narrow(std::wstring(folder, n) + L"\\openvr\\openvrpaths.vrpath");
}

std::string executableFolder() {
    wchar_t path[32768];
    const DWORD n = GetModuleFileNameW(nullptr, path, 32768);
    if (n == 0 || n >= 32768) return {};
    const std::wstring exe(path, n);
    return win32::narrow(exe.substr(0, exe.find_last_of(L"\\/")));
}

}  // namespace platform
