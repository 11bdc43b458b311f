// Whole-file replace on Linux: write a temporary file beside the target, fsync it, rename it
// over the target and fsync the folder, so the target is never seen half written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include "platform/file_replace.h"
#include "text/path.h"

namespace platform {

namespace {

// Longest part of the target's name used in the temporary file's name, which must stay within
// the 255 bytes a file name may have.
constexpr std::size_t kMaxNameInTempName = 200;

// Follows symbolic links until `path` names a file that is not a link, or nothing yet (a link
// may point to a file still to be created). False on a loop or when the path cannot be
// examined.
bool followLinks(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
        if (!S_ISLNK(st.st_mode)) return true;
        std::string target(PATH_MAX, '\0');
        ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) {
            if (n > 0) errno = ENAMETOOLONG;
            return false;
        }
        target.resize(static_cast<std::size_t>(n));
        path = target.front() == '/' ? target : text::folderOf(path) + "/" + target;
    }
    errno = ELOOP;
    return false;
}

std::string uniqueSuffix() {
    // Uniqueness comes from O_EXCL; this only makes clashes (and retries) unlikely.
    static std::atomic<unsigned> counter{0};
    auto now = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    unsigned long long mix = (now * 0x9E3779B97F4A7C15ull) ^
                             (static_cast<unsigned long long>(::getpid()) << 32) ^ counter++;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string s;
    for (int i = 0; i < 8; ++i, mix /= 36) s += digits[mix % 36];
    return s;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

bool replaceFileContents(const std::string& path, std::string_view bytes, std::string* failure) {
    // Every refusal goes through here, with the error number of the call that failed.
    auto fail = [failure](int error) {
        if (failure != nullptr) *failure = std::strerror(error);
        return false;
    };
    std::string target = path;
    if (target.empty()) return fail(ENOENT);
    if (!followLinks(target)) return fail(errno);
    const std::string folder = text::folderOf(target);
    const std::string name = text::nameOf(target);
    if (name.empty()) return fail(EISDIR);

    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed) {
        // Only a regular file is replaced, and only one that could be written in place.
        if (S_ISDIR(old.st_mode)) return fail(EISDIR);
        if (!S_ISREG(old.st_mode)) return fail(EINVAL);
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return fail(errno);
    } else if (errno != ENOENT) {
        return fail(errno);
    }

    // A new file gets the usual 0666 less the umask; an existing one keeps its mode (below).
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + "/." + name.substr(0, kMaxNameInTempName) + "." + uniqueSuffix() + ".tmp";
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                    existed ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST) return fail(errno);
    }
    if (fd < 0) return fail(EEXIST);

    // The first failing call's error number is the reason.
    int error = 0;
    errno = 0;
    auto check = [&error](bool ok) {
        if (!ok && error == 0) error = errno != 0 ? errno : EIO;
        return ok;
    };
    bool ok = check(writeAll(fd, bytes));
    if (ok && existed) {
        // Owner first: a change of owner may clear set-id bits that the mode then restores.
        // Changing the owner is only allowed to root; others keep the file as their own.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not permitted: the replaced file belongs to the user who saves it.
        }
        ok = check(::fchmod(fd, old.st_mode & 07777) == 0);
    }
    ok = ok && check(::fsync(fd) == 0);
    ok = check(::close(fd) == 0) && ok;
    // The rename replaces the directory entry: a link elsewhere to the same old file (a hard
    // link) keeps the old contents.
    ok = ok && check(::rename(temp.c_str(), target.c_str()) == 0);
    if (!ok) {
        ::unlink(temp.c_str());
        return fail(error);
    }

    // Make the rename itself durable. The new contents are in place whether or not this works.
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace platform
