// The program's block on Linux: the file of the user's own in $XDG_RUNTIME_DIR (or in the
// private folder in /tmp), created when missing, mapped read-only.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "xrlayer/walk_source.h"

namespace xrlayer {

namespace {

bool ownPrivateFolder(const std::string& path) {
    struct stat s {};
    return lstat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode) && s.st_uid == geteuid() &&
           (s.st_mode & 077) == 0;
}

const xrwalk::Block* mapBlock() {
    std::string folder;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && ownPrivateFolder(runtime)) {
        folder = runtime;
    } else {
        folder = xrwalk::kFallbackFolderPrefix + std::to_string(geteuid());
        mkdir(folder.c_str(), 0700);
        if (!ownPrivateFolder(folder)) return nullptr;
    }
    const std::string path = folder + "/" + xrwalk::kFileName;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    struct stat s {};
    const bool own =
        fstat(fd, &s) == 0 && S_ISREG(s.st_mode) && s.st_uid == geteuid() && (s.st_mode & 077) == 0;
    const bool sized = own && (s.st_size >= static_cast<off_t>(xrwalk::kBytes) ||
                               ftruncate(fd, xrwalk::kBytes) == 0);
    void* at = sized ? mmap(nullptr, xrwalk::kBytes, PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);
    return at == MAP_FAILED ? nullptr : static_cast<const xrwalk::Block*>(at);
}

}  // namespace

bool WalkSource::open() {
    if (block_ == nullptr) block_ = mapBlock();
    return block_ != nullptr;
}

void WalkSource::close() {
    if (block_ != nullptr) munmap(const_cast<xrwalk::Block*>(block_), xrwalk::kBytes);
    block_ = nullptr;
}

std::int64_t WalkSource::now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace xrlayer
