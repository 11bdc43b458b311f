// Files of the user's own on Linux: the settings file's owner looked at through the folder walk,
// recordings opened relative to their folder with O_NOFOLLOW and, for new ones, O_EXCL.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/owned_path.h"
#include "platform/own_files.h"

namespace platform {

bool isOwnFile(const std::string& path, std::string& why) {
    owned_path::Rule rule;
    rule.ownFolders = true;
    owned_path::Folder folder;
    bool refused = false;
    // A path that cannot be walked (a folder missing) holds nothing of anybody's to read.
    if (!owned_path::openFolderOf(path, rule, folder, why, &refused)) return !refused;
    struct stat st {};
    if (folder.name.empty() ||
        ::fstatat(folder.fd, folder.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        // Missing: nothing to read, nothing of anybody's.
        return true;
    }
    if (owned_path::trustedOwner(st.st_uid)) return true;
    why = owned_path::otherOwnerText(st.st_uid);
    return false;
}

std::FILE* createRecordingFile(const std::string& path, bool fresh, std::string& why) {
    why.clear();
    owned_path::Rule rule;
    rule.ownFolders = true;
    rule.createFolders = fresh;
    rule.followLast = !fresh;
    owned_path::Folder folder;
    if (!owned_path::openFolderOf(path, rule, folder, why)) return nullptr;
    if (folder.name.empty()) {
        why = std::strerror(EISDIR);
        return nullptr;
    }
    // Non-blocking: a pipe without a reader would wait for one for ever; it is refused below.
    const int flags =
        O_WRONLY | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | (fresh ? O_EXCL : 0);
    const int fd = ::openat(folder.fd, folder.name.c_str(), flags, 0666);
    if (fd < 0) {
        // A pipe without a reader (ENXIO) is not a file either.
        why = errno == ENXIO ? "it is not a regular file" : std::strerror(errno);
        return nullptr;
    }
    struct stat st {};
    const char* refusal = nullptr;
    if (::fstat(fd, &st) != 0) {
        refusal = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        refusal = "it is not a regular file";
    } else if (!owned_path::trustedOwner(st.st_uid)) {
        why = owned_path::otherOwnerText(st.st_uid);
    } else if (::ftruncate(fd, 0) != 0 || ::fcntl(fd, F_SETFL, 0) != 0) {
        refusal = std::strerror(errno);
    }
    if (refusal != nullptr) why = refusal;
    std::FILE* file = why.empty() ? ::fdopen(fd, "wb") : nullptr;
    if (file == nullptr) {
        if (why.empty()) why = std::strerror(errno);
        ::close(fd);
    }
    return file;
}

}  // namespace platform
