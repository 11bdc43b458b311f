// The SteamVR driver's mark on Linux: a datagram socket bound to an abstract name of the user's
// own, which the kernel lets go when the process ends. The layer looks by connecting to it
// (nothing is sent).
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/steamvr_presence.h"

namespace platform {

namespace {

// "\0tarvel-steamvr-<uid>" and its length.
socklen_t markAddress(sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    const std::string name = "tarvel-steamvr-" + std::to_string(geteuid());
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

}  // namespace

void* claimSteamVrDriverMark() {
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    sockaddr_un address;
    const socklen_t length = markAddress(address);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        close(fd);
        return nullptr;
    }
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1);
}

void releaseSteamVrDriverMark(void* mark) {
    if (mark != nullptr) close(static_cast<int>(reinterpret_cast<std::intptr_t>(mark) - 1));
}

bool steamVrDriverMarked() {
    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address;
    const socklen_t length = markAddress(address);
    const bool marked = connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
    close(fd);
    return marked;
}

}  // namespace platform
