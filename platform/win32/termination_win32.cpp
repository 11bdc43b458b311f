// Termination requests on Windows: the end of the session (WM_ENDSESSION, seen by the window
// procedure layer) sets the termination flag and wakes the message loop. The program is a GUI
// program without a console, so no console control event ever reaches it.
#include "platform/termination.h"
#include "platform/win32/win32_internal.h"

namespace platform {

namespace win32 {
void noteSessionEnding() {
    noteTerminationRequest();
}
}  // namespace win32

void watchTerminationRequests(WindowSystem& wakeTarget) {
    beginTerminationWatch(wakeTarget);
}

void stopWatchingTerminationRequests() {
    endTerminationWatch();
}

}  // namespace platform
