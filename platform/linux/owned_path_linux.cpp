// The folder-by-folder walk of a path through open handles (openat with O_NOFOLLOW), following
// only links that the user or root owns.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <string>
#include <utility>

#include "platform/linux/owned_path.h"

namespace platform::owned_path {

namespace {

// As many links as the system itself follows in one path.
constexpr int kMaxLinks = 40;

// The parts of a path between its slashes, "." and empty ones left out.
void pushParts(std::deque<std::string>& parts, const std::string& path) {
    std::deque<std::string> found;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") found.push_back(std::move(part));
        start = end + 1;
    }
    parts.insert(parts.begin(), found.begin(), found.end());
}

bool sharedFolder(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && (st.st_mode & S_ISVTX) != 0 && (st.st_mode & S_IWOTH) != 0;
}

int openFolder(int at, const char* name) {
    return ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace

Folder::Folder(Folder&& other) noexcept
    : fd(std::exchange(other.fd, -1)), name(std::move(other.name)) {}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (fd >= 0) ::close(fd);
        fd = std::exchange(other.fd, -1);
        name = std::move(other.name);
    }
    return *this;
}

Folder::~Folder() {
    if (fd >= 0) ::close(fd);
}

bool trustedOwner(unsigned uid) {
    return uid == ::geteuid() || uid == 0;
}

std::string otherOwnerText(unsigned uid) {
    return "it belongs to another user (uid " + std::to_string(uid) + ")";
}

bool openFolderOf(const std::string& path, const Rule& rule, Folder& out, std::string& why,
                  bool* refused) {
    auto fail = [&why](int error) {
        why = std::strerror(error);
        errno = error;
        return false;
    };
    auto refuse = [&why, refused](std::string reason) {
        why = std::move(reason);
        if (refused != nullptr) *refused = true;
        return false;
    };
    if (path.empty()) return fail(ENOENT);
    Folder at;
    at.fd = ::open(path.front() == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (at.fd < 0) return fail(errno);
    std::deque<std::string> parts;
    pushParts(parts, path);
    // A path ending in "/" names a folder: no part is the file's name.
    const bool endsInFolder = path.back() == '/';
    int links = 0;
    while (!parts.empty()) {
        const std::string part = std::move(parts.front());
        parts.pop_front();
        const bool last = parts.empty() && !endsInFolder;
        struct stat st {};
        if (::fstatat(at.fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (last && errno == ENOENT) {
                at.name = part;
                break;
            }
            if (errno != ENOENT || !rule.createFolders) return fail(errno);
            if (::mkdirat(at.fd, part.c_str(), 0777) != 0 && errno != EEXIST) return fail(errno);
            if (::fstatat(at.fd, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return fail(errno);
        }
        if (S_ISLNK(st.st_mode) && !(last && !rule.followLast)) {
            if (++links > kMaxLinks) return fail(ELOOP);
            if (!trustedOwner(st.st_uid)) {
                return refuse(part + " is a symbolic link of another user (uid " +
                              std::to_string(st.st_uid) + "), not followed");
            }
            if (rule.noLinksInSharedFolders && sharedFolder(at.fd)) {
                return refuse(part +
                              " is a symbolic link in a folder shared by all users, not followed");
            }
            std::string target(PATH_MAX, '\0');
            const ssize_t n = ::readlinkat(at.fd, part.c_str(), target.data(), target.size());
            if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) {
                return fail(n > 0 ? ENAMETOOLONG : errno);
            }
            target.resize(static_cast<std::size_t>(n));
            if (target.front() == '/') {
                Folder root;
                root.fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (root.fd < 0) return fail(errno);
                at = std::move(root);
            }
            pushParts(parts, target);
            continue;
        }
        if (last) {
            at.name = part;
            break;
        }
        Folder next;
        next.fd = openFolder(at.fd, part.c_str());
        // A link put in the folder's place since the look above is not followed either.
        if (next.fd < 0) return fail(errno);
        if (rule.ownFolders && part != "..") {
            struct stat folder {};
            if (::fstat(next.fd, &folder) != 0) return fail(errno);
            if (!trustedOwner(folder.st_uid)) {
                return refuse("the folder " + part + " belongs to another user (uid " +
                              std::to_string(folder.st_uid) + ")");
            }
        }
        at = std::move(next);
    }
    out = std::move(at);
    return true;
}

}  // namespace platform::owned_path
