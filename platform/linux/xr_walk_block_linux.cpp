// The block the OpenXR layer reads, on Linux: a file of the user's own in $XDG_RUNTIME_DIR (or
// a private folder in /tmp), mapped shared; CLOCK_MONOTONIC for its time stamps. Compiled into
// the program and into the layer.
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

}  // namespace

XrWalkMapping mapXrWalkBlock(bool writable) {
    const std::string folder = privateFolder();
    if (folder.empty()) return {};
    const std::string path = folder + "/" + xrwalk::kFileName;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return {};
    struct stat s {};
    const bool own =
        fstat(fd, &s) == 0 && S_ISREG(s.st_mode) && s.st_uid == geteuid() && (s.st_mode & 077) == 0;
    // Grown to its size by whichever side comes first, never shrunk.
    const bool sized = own && (s.st_size >= static_cast<off_t>(xrwalk::kBytes) ||
                               ftruncate(fd, xrwalk::kBytes) == 0);
    const int protection = writable ? PROT_READ | PROT_WRITE : PROT_READ;
    void* at = sized ? mmap(nullptr, xrwalk::kBytes, protection, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);
    if (at == MAP_FAILED) return {};
    return {static_cast<xrwalk::Block*>(at), nullptr};
}

void unmapXrWalkBlock(XrWalkMapping& mapping) {
    if (mapping.block != nullptr) munmap(mapping.block, xrwalk::kBytes);
    mapping = {};
}

std::int64_t monotonicNanoseconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace platform
