// Single-instance guard on Linux: an abstract Unix socket named after the guard,
// the user id and the X display, so one copy runs per user and desktop session
// (as a session-local named mutex does on Windows). The kernel frees the name
// when the process ends, so a crash leaves nothing stale behind.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/single_instance.h"

namespace platform {

namespace {

// The display without its screen number (":0.1" and ":0" are one session).
std::string sessionDisplay() {
    const char* value = std::getenv("DISPLAY");
    std::string display = value != nullptr ? value : "";
    const std::size_t colon = display.rfind(':');
    if (colon != std::string::npos) {
        const std::size_t dot = display.find('.', colon);
        if (dot != std::string::npos) display.resize(dot);
    }
    return display;
}

}  // namespace

bool SingleInstanceGuard::acquire(const char* name) {
    release();
    std::string full = std::string(name) + "." + std::to_string(getuid()) + "." + sessionDisplay();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // Abstract names start with a NUL byte and are not NUL-terminated; a name
    // too long for the address is cut (an absurd display name may be).
    const std::size_t room = sizeof address.sun_path - 1;
    if (full.size() > room) full.resize(room);
    std::memcpy(address.sun_path + 1, full.data(), full.size());
    const auto length = full.size();
    // Close-on-exec, so that child processes (file dialogs) do not keep the
    // name taken after this process ends.
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        const bool taken = errno == EADDRINUSE;
        close(fd);
        return !taken;
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
