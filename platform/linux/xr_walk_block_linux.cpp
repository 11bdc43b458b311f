// The block the OpenXR layer reads, on Linux: a file of the user's own in $XDG_RUNTIME_DIR (or
// a private folder in /tmp), mapped shared; CLOCK_MONOTONIC for its time stamps.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/xr_walk_block.h"

namespace platform {

namespace {

// A folder only this user can enter: $XDG_RUNTIME_DIR when it is one, else
// /tmp/tarvel-xr-<uid>, made 0700 when missing. Empty when neither is.
std::string privateFolder() {
    const uid_t uid = geteuid();
    const auto ownPrivate = [uid](const std::string& path) {
        struct stat s {};
        return lstat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode) && s.st_uid == uid &&
               (s.st_mode & 077) == 0;
    };
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && ownPrivate(runtime)) return runtime;
    const std::string fallback = xrwalk::kFallbackFolderPrefix + std::to_string(uid);
    mkdir(fallback.c_str(), 0700);
    return ownPrivate(fallback) ? fallback : std::string();
}

xrwalk::Block* mapBlock() {
    const std::string folder = privateFolder();
    if (folder.empty()) return nullptr;
    const std::string path = folder + "/" + xrwalk::kFileName;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    struct stat s {};
    const bool own =
        fstat(fd, &s) == 0 && S_ISREG(s.st_mode) && s.st_uid == geteuid() && (s.st_mode & 077) == 0;
    // Grown to its size by whichever side comes first, never shrunk.
    const bool sized = own && (s.st_size >= static_cast<off_t>(xrwalk::kBytes) ||
                               ftruncate(fd, xrwalk::kBytes) == 0);
    void* at = sized ? mmap(nullptr, xrwalk::kBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                     : MAP_FAILED;
    close(fd);
    return at == MAP_FAILED ? nullptr : static_cast<xrwalk::Block*>(at);
}

}  // namespace

xrwalk::Block* openXrWalkBlock() {
    static xrwalk::Block* block = nullptr;
    if (block == nullptr) block = mapBlock();
    return block;
}

std::int64_t monotonicNanoseconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace platform
