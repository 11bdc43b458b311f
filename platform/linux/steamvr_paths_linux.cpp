// SteamVR's paths on Linux: the XDG configuration folder as OpenVR reads it, and
// /proc/self/exe.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/steamvr_paths.h"

namespace platform {

std::string openVrPathsFile() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/openvr/openvrpaths.vrpath";
    }
    std::string home;
    if (const char* h = std::getenv("HOME"); h != nullptr && h[0] == '/') {
        home = h;
    } else if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir) {
        home = user->pw_dir;
    }
    return home.empty() ? std::string() : home + "/.config/openvr/openvrpaths.vrpath";
}

std::string executableFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return {};
    const std::string exe(path, static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/'));
}

}  // namespace platform
