// Termination-request seam: the system's requests that the program end (on
// Linux SIGTERM, SIGINT and SIGHUP, on Windows the end of the session) become a flag
// that the main loop reads, so that the program ends the way its own exit command ends it.
#pragma once

#include <functional>

namespace platform {

class WindowSystem;

// Clears the flag and starts turning termination requests into it; each
// request also calls wakeTarget.wakeUp() so that a waiting loop notices it.
void watchTerminationRequests(WindowSystem& wakeTarget);
// Back to the system's default handling; the flag keeps its value.
void stopWatchingTerminationRequests();
// Whether a termination request arrived since watching began.
bool terminationRequested();

// For the backends: the flag and wake-up behind the three functions above. Begin clears the
// flag and sets the loop to wake; end forgets that loop. noteTerminationRequest() sets the
// flag and wakes the loop while watching and does nothing otherwise; it is safe to call
// from a signal handler.
void beginTerminationWatch(WindowSystem& wakeTarget);
void endTerminationWatch();
void noteTerminationRequest();

// Work that must not be lost when the process is about to end without going
// back through the main loop: the session ends (Windows may end the process as
// soon as WM_ENDSESSION has been answered) or the display connection breaks
// (Xlib ends the process). The backends call runLastChanceHandler() on the
// main thread at that moment; the handler runs at most once.
void setLastChanceHandler(std::function<void()> handler);
void runLastChanceHandler();

}  // namespace platform
