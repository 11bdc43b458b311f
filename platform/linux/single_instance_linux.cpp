// Single-instance guard on Linux: an exclusive flock on a file in a folder that only the user
// may write to ($XDG_RUNTIME_DIR, else a private folder in the user's cache), named after the
// guard, the host and the X display. So one copy runs per user and desktop session, no other
// user can take the guard first, and the kernel lets it go when the process ends, however.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/single_instance.h"

namespace platform {

namespace {

// The display without its screen number (":0.1" and ":0" are one session).
std::string sessionDisplay() {
    const char* value = std::getenv("DISPLAY");
    std::string display = value != nullptr ? value : "";
    const std::size_t colon = display.rfind(':');
    if (colon != std::string::npos) {
        const std::size_t dot = display.find('.', colon);
        if (dot != std::string::npos) display.resize(dot);
    }
    return display;
}

// Whether `path` is a folder of the user's own that nobody else may write to.
bool privateFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// An absolute path from the environment, or empty.
std::string absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && value[0] == '/' ? value : "";
}

// Where the lock lives: $XDG_RUNTIME_DIR (made 0700 for the user by the session), else
// "tarvel" in the user's cache folder, made 0700 on first use. Empty when neither is private.
std::string lockFolder() {
    const std::string runtime = absoluteVariable("XDG_RUNTIME_DIR");
    if (!runtime.empty() && privateFolder(runtime)) return runtime;
    std::string cache = absoluteVariable("XDG_CACHE_HOME");
    if (cache.empty()) {
        std::string home = absoluteVariable("HOME");
        if (home.empty()) {
            const passwd* user = ::getpwuid(::geteuid());
            if (user == nullptr || user->pw_dir == nullptr) return {};
            home = user->pw_dir;
        }
        cache = home + "/.cache";
    }
    ::mkdir(cache.c_str(), 0700);
    const std::string folder = cache + "/tarvel";
    ::mkdir(folder.c_str(), 0700);
    return privateFolder(folder) ? folder : std::string();
}

}  // namespace

bool SingleInstanceGuard::acquire(const char* name) {
    release();
    const std::string folder = lockFolder();
    if (folder.empty()) return true;
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    // The host too: a cache folder may be shared with other machines (a home on NFS).
    std::string file = std::string(name) + "." + host + "." + sessionDisplay();
    std::replace(file.begin(), file.end(), '/', '_');
    file.resize(std::min<std::size_t>(file.size(), 200));
    // Close-on-exec, so that child processes (file dialogs) do not keep the lock after this
    // process ends; 0600, so that nobody else can open the file to lock it.
    const int fd = ::open((folder + "/" + file + ".lock").c_str(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        ::close(fd);
        return !taken;
    }
    handle_ = fd;
    return true;
}

void SingleInstanceGuard::release() {
    if (handle_ == -1) return;
    ::close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace platform
