// The working folder on Linux: the XDG configuration folder and chdir.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/working_folder.h"

namespace platform {

namespace {

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
        return user->pw_dir;
    }
    return {};
}

// mkdir -p with mode 0700 for every folder it makes.
bool makeFolders(const std::string& path) {
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string part = path.substr(0, end);
        if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (end == std::string::npos) return true;
    }
}

}  // namespace

std::string configFolder() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base directory rules say.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/tarvel";
    }
    const std::string home = homeFolder();
    return home.empty() ? std::string() : home + "/.config/tarvel";
}

bool enterWorkingFolder(const std::string& path, bool create, std::string& error) {
    if ((create && !makeFolders(path)) || chdir(path.c_str()) != 0) {
        error = "cannot work in " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace platform
