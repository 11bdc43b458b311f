// Termination requests on Windows: the end of the session (WM_ENDSESSION, seen by the window
// procedure layer) and, for a program started from a console, its close and break events
// set a flag and wake the message loop.
#include <windows.h>

#include <atomic>

#include "platform/termination.h"
#include "platform/win32/win32_internal.h"
#include "platform/window_system.h"

namespace platform {

namespace {

std::atomic<bool> requested{false};
std::atomic<bool> watching{false};
std::atomic<WindowSystem*> wakeTargetOf{nullptr};

void request() {
    if (!watching.load()) return;
    requested.store(true);
    if (WindowSystem* target = wakeTargetOf.load()) target->wakeUp();
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            request();
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

namespace win32 {
void noteSessionEnding() {
    request();
}
}  // namespace win32

void watchTerminationRequests(WindowSystem& wakeTarget) {
    requested.store(false);
    wakeTargetOf.store(&wakeTarget);
    watching.store(true);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void stopWatchingTerminationRequests() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    watching.store(false);
    wakeTargetOf.store(nullptr);
}

bool terminationRequested() {
    return requested.load();
}

}  // namespace platform
