// Whole-file replace on Linux: write a temporary file beside the target, fsync it, rename it
// over the target and fsync the folder, so the target is never seen half written. All of it is
// done relative to the target's folder, opened once; links are followed only when trusted.
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
#include "platform/linux/owned_path.h"

namespace platform {

namespace {

// Longest part of the target's name used in the temporary file's name, which must stay within
// the 255 bytes a file name may have.
constexpr std::size_t kMaxNameInTempName = 200;

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

// The folder that holds the file a save of `path` replaces, open, and the file's name in it.
bool openTargetFolder(const std::string& path, owned_path::Folder& folder, std::string& why) {
    owned_path::Rule rule;
    rule.noLinksInSharedFolders = true;
    return owned_path::openFolderOf(path, rule, folder, why);
}

}  // namespace

bool replaceFileContents(const std::string& path, std::string_view bytes, std::string* failure) {
    // Every refusal goes through here, with the error number of the call that failed.
    auto fail = [failure](int error) {
        if (failure != nullptr) *failure = std::strerror(error);
        return false;
    };
    // From here on everything is done relative to this one open folder: a folder or link on the
    // way swapped meanwhile changes nothing of where the save goes.
    owned_path::Folder folder;
    std::string why;
    if (!openTargetFolder(path, folder, why)) {
        if (failure != nullptr) *failure = why;
        return false;
    }
    const int dir = folder.fd;
    const std::string& name = folder.name;
    if (name.empty() || name == "..") return fail(EISDIR);

    struct stat old {};
    const bool existed = ::fstatat(dir, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (existed) {
        // Only a regular file is replaced, and only one that could be written in place.
        if (S_ISDIR(old.st_mode)) return fail(EISDIR);
        if (!S_ISREG(old.st_mode)) return fail(EINVAL);
        if (::faccessat(dir, name.c_str(), W_OK, AT_EACCESS) != 0) return fail(errno);
    } else if (errno != ENOENT) {
        return fail(errno);
    }

    // A new file gets the usual 0666 less the umask; an existing one keeps its mode (below).
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = temporaryPrefix(name) + std::to_string(::getpid()) + "." + uniqueSuffix() + ".tmp";
        fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
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
    // The rename replaces the directory entry, never following a link put there meanwhile: a
    // link elsewhere to the same old file (a hard link) keeps the old contents.
    ok = ok && check(::renameat(dir, temp.c_str(), dir, name.c_str()) == 0);
    if (!ok) {
        ::unlinkat(dir, temp.c_str(), 0);
        return fail(error);
    }
    // Make the rename itself durable. The new contents are in place whether or not this works.
    ::fsync(dir);
    return true;
}

void removeAbandonedTemporaryFiles(const std::string& path) {
    owned_path::Folder folder;
    std::string why;
    if (!openTargetFolder(path, folder, why) || folder.name.empty()) return;
    const std::string prefix = temporaryPrefix(folder.name);
    const int listed = ::openat(folder.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listed < 0 ? nullptr : ::fdopendir(listed);
    if (dir == nullptr) {
        if (listed >= 0) ::close(listed);
        return;
    }
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
        const std::string file(name);
        if (::fstatat(folder.fd, file.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid()) {
            ::unlinkat(folder.fd, file.c_str(), 0);
        }
    }
    ::closedir(dir);
}

}  // namespace platform
