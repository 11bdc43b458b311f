// The desktop session on Windows: SendInput reaches the window in the foreground, whatever
// it is, so there is nothing to say.
#include "platform/desktop_session.h"

namespace platform {

const char* keyEmulationLimit() {
    return nullptr;
}

}  // namespace platform
