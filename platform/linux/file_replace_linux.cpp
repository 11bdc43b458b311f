// Whole-file replace on Linux: write a temporary file beside the target, fsync it, rename it
// over the target and fsync the folder, so the target is never seen half written. Links are
// followed only when they can be trusted.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/file_replace.h"
#include "text/path.h"

namespace platform {

namespace {

// Longest part of the target's name used in the temporary file's name, which must stay within
// the 255 bytes a file name may have.
constexpr std::size_t kMaxNameInTempName = 200;

// Whether a save may go through the link at `path`: only when the link is the user's own (or
// root's) and does not sit in a shared folder that every user may write to and only owners may
// delete from (/tmp). Anyone may plant a link there, and following it would let another user
// choose which of our files the save replaces. The reason goes to `why` otherwise.
bool linkTrusted(const std::string& path, const struct stat& link, std::string& why) {
    if (link.st_uid != ::geteuid() && link.st_uid != 0) {
        why = "it is a symbolic link of another user (uid " + std::to_string(link.st_uid) +
              "), not followed";
        return false;
    }
    struct stat folder {};
    if (::stat(text::folderOf(path).c_str(), &folder) == 0 && (folder.st_mode & S_ISVTX) != 0 &&
        (folder.st_mode & S_IWOTH) != 0) {
        why = "it is a symbolic link in a folder shared by all users, not followed";
        return false;
    }
    return true;
}

// Follows symbolic links until `path` names a file that is not a link, or nothing yet (a link
// may point to a file still to be created). False on a loop, on a link not to be trusted (the
// reason in `why`) or when the path cannot be examined (the reason in errno).
bool followLinks(std::string& path, std::string& why) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
        if (!S_ISLNK(st.st_mode)) return true;
        if (!linkTrusted(path, st, why)) return false;
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

// The temporary file of a save in progress: ".NAME.PID.SUFFIX.tmp" beside the target, so that
// one left behind by a killed save can be told apart and removed (removeAbandonedTemporaryFiles).
std::string temporaryPrefix(const std::string& name) {
    return "." + name.substr(0, kMaxNameInTempName) + ".";
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
    std::string distrust;
    if (!followLinks(target, distrust)) {
        if (distrust.empty()) return fail(errno);
        if (failure != nullptr) *failure = distrust;
        return false;
    }
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
        temp = folder + "/" + temporaryPrefix(name) + std::to_string(::getpid()) + "." +
               uniqueSuffix() + ".tmp";
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

void removeAbandonedTemporaryFiles(const std::string& path) {
    std::string target = path;
    std::string distrust;
    if (target.empty() || !followLinks(target, distrust)) return;
    const std::string folder = text::folderOf(target);
    const std::string prefix = temporaryPrefix(text::nameOf(target));
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix) || !name.ends_with(".tmp")) continue;
        // PID.SUFFIX: the saving process, which must be gone; a file of a save still running
        // (another copy of the program in this folder) is left to it.
        const std::string_view rest = name.substr(prefix.size());
        pid_t pid = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
        if (error != std::errc() || pid <= 0 || *end != '.') continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
        // Only the user's own regular files: never a link, nor a file someone else put here.
        struct stat st {};
        const std::string file = folder + "/" + std::string(name);
        if (::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) {
            ::unlink(file.c_str());
        }
    }
    ::closedir(dir);
}

}  // namespace platform
