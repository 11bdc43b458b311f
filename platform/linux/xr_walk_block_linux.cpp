// The block the OpenXR layer reads, on Linux: a file of the user's own in $XDG_RUNTIME_DIR (or
// a private folder in /tmp), written and read with pwrite and pread only (a mapping of a file
// that anyone of the user can truncate faults); CLOCK_MONOTONIC for its time stamps. Compiled
// into the program, the layer and the SteamVR driver.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/xr_walk_block.h"

namespace platform {

namespace {

enum class Folder { Private, NotPrivate, Missing };

bool ownPrivateFolder(const std::string& path, uid_t uid) {
    struct stat s {};
    return lstat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode) && s.st_uid == uid &&
           (s.st_mode & 077) == 0;
}

// A folder only this user can enter: $XDG_RUNTIME_DIR when it is one, else
// /tmp/tarvel-xr-<uid>, made 0700 when missing (`create`).
Folder privateFolder(bool create, std::string& folder) {
    const uid_t uid = geteuid();
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && ownPrivateFolder(runtime, uid)) {
        folder = runtime;
        return Folder::Private;
    }
    folder = xrwalk::kFallbackFolderPrefix + std::to_string(uid);
    if (create) mkdir(folder.c_str(), 0700);
    if (ownPrivateFolder(folder, uid)) return Folder::Private;
    struct stat s {};
    return lstat(folder.c_str(), &s) == 0 ? Folder::NotPrivate : Folder::Missing;
}

std::string blockPath(bool create, Folder* found = nullptr) {
    std::string folder;
    const Folder f = privateFolder(create, folder);
    if (found != nullptr) *found = f;
    return f == Folder::Private ? folder + "/" + xrwalk::kFileName : std::string();
}

std::uint64_t identityOf(const struct stat& s) {
    return (static_cast<std::uint64_t>(s.st_dev) * 0x9E3779B97F4A7C15ull) ^
           static_cast<std::uint64_t>(s.st_ino);
}

bool ownFile(const struct stat& s) {
    return S_ISREG(s.st_mode) && s.st_uid == geteuid() && (s.st_mode & 077) == 0;
}

// The identity of the file now under the block's name; 0 when there is none.
std::uint64_t namedIdentity() {
    const std::string path = blockPath(false);
    struct stat s {};
    return !path.empty() && lstat(path.c_str(), &s) == 0 ? identityOf(s) : 0;
}

bool writeAll(int fd, const void* data, std::size_t size, std::size_t offset) {
    return pwrite(fd, data, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

}  // namespace

XrWalkWriter::Opened XrWalkWriter::open() {
    if (isOpen()) return Opened::Yes;
    Folder folder = Folder::Missing;
    const std::string path = blockPath(true, &folder);
    if (path.empty())
        return folder == Folder::NotPrivate ? Opened::NotPrivate : Opened::Unavailable;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return errno == ELOOP ? Opened::NotPrivate : Opened::Unavailable;
    struct stat s {};
    const auto fail = [fd](Opened why) {
        ::close(fd);
        return why;
    };
    if (fstat(fd, &s) != 0) return fail(Opened::Unavailable);
    if (!ownFile(s)) return fail(Opened::NotPrivate);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return fail(errno == EWOULDBLOCK ? Opened::Busy : Opened::Unavailable);
    }
    // Its space taken now: a write into a sparse file on a full folder would fail later.
    if (posix_fallocate(fd, 0, xrwalk::kBytes) != 0) return fail(Opened::Unavailable);
    xrwalk::Fields f;
    if (pread(fd, &f, sizeof f, 0) != static_cast<ssize_t>(sizeof f)) {
        return fail(Opened::Unavailable);
    }
    // A counter left odd (a writer killed mid-write) would read as "being written" for ever.
    sequence_ = f.magic == xrwalk::kMagic ? f.sequence + (f.sequence % 2) : 0;
    if (f.magic == xrwalk::kMagic && f.sequence % 2 != 0 &&
        !writeAll(fd, &sequence_, sizeof sequence_, xrwalk::kSequenceOffset)) {
        return fail(Opened::Unavailable);
    }
    handle_ = fd;
    identity_ = identityOf(s);
    return Opened::Yes;
}

bool XrWalkWriter::publish(const xrwalk::Axes& axes, std::uint32_t frame, std::int64_t nowNs) {
    if (!isOpen()) return false;
    const int fd = static_cast<int>(handle_);
    // Odd first, then the fields (still odd), then even: a reader of one copy sees an odd count
    // or a check that fails, and a reader of a mapping (an older layer) the usual sequence lock.
    const std::uint32_t odd = sequence_ + 1;
    xrwalk::Fields f = xrwalk::fieldsOf(axes, frame, nowNs, sequence_ + 2);
    const std::uint32_t even = f.sequence;
    f.sequence = odd;
    if (!writeAll(fd, &odd, sizeof odd, xrwalk::kSequenceOffset) ||
        !writeAll(fd, &f, sizeof f, 0) ||
        !writeAll(fd, &even, sizeof even, xrwalk::kSequenceOffset)) {
        close();
        return false;
    }
    sequence_ = even;
    return true;
}

bool XrWalkWriter::stillNamed() const {
    return isOpen() && namedIdentity() == identity_;
}

void XrWalkWriter::close() {
    if (isOpen()) ::close(static_cast<int>(handle_));  // the lock goes with it
    handle_ = kNone;
    identity_ = 0;
}

bool XrWalkReader::reopen(std::int64_t nowNs) {
    nextCheckNs_ = nowNs + 1'000'000'000;
    checked_ = true;
    const std::string path = blockPath(false);
    struct stat s {};
    if (path.empty() || lstat(path.c_str(), &s) != 0) {
        close();
        checked_ = true;
        return false;
    }
    if (handle_ >= 0 && identityOf(s) == identity_) return true;
    close();
    checked_ = true;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    if (fstat(fd, &s) != 0 || !ownFile(s)) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    identity_ = identityOf(s);
    return true;
}

xrwalk::Reading XrWalkReader::read(std::int64_t nowNs) {
    if (!checked_ || nowNs >= nextCheckNs_ || nowNs < nextCheckNs_ - 1'000'000'000) {
        reopen(nowNs);
    }
    if (handle_ < 0) return {};
    xrwalk::Fields f;
    if (pread(static_cast<int>(handle_), &f, sizeof f, 0) != static_cast<ssize_t>(sizeof f)) {
        judge_.forget();  // cut short: no block until the program writes it again
        return {};
    }
    return judge_.next(&f, nowNs);
}

void XrWalkReader::close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = -1;
    identity_ = 0;
    checked_ = false;
    judge_.forget();
}

std::int64_t monotonicNanoseconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

}  // namespace platform
