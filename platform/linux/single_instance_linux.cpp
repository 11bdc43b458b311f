// Single-instance guard on Linux: an abstract Unix socket named after the guard
// and the user id. The kernel frees the name when the process ends, so a crash
// leaves nothing stale behind.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/single_instance.h"

namespace platform {

bool SingleInstanceGuard::acquire(const char* name) {
    release();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Abstract names start with a NUL byte and are not NUL-terminated.
    const int length = std::snprintf(address.sun_path + 1, sizeof address.sun_path - 1, "%s.%u",
                                     name, static_cast<unsigned>(getuid()));
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof address.sun_path - 1) {
        return false;
    }
    // Close-on-exec, so that child processes (file dialogs) do not keep the
    // name taken after this process ends.
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

void SingleInstanceGuard::release() {
    if (handle_ == -1) return;
    close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace platform
