// The desktop session on Linux: under Wayland the program runs through XWayland, and
// XTest key presses reach only the programs that do too.
#include <cstdlib>
#include <cstring>

#include "platform/desktop_session.h"

namespace platform {

const char* keyEmulationLimit() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const bool wayland = (display != nullptr && display[0] != '\0') ||
                         (type != nullptr && !std::strcmp(type, "wayland"));
    if (!wayland) return nullptr;
    return "this is a Wayland session: desktop mode's key presses reach only X11 (XWayland) "
           "programs, not native Wayland ones";
}

}  // namespace platform
