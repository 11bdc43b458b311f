// Termination-request seam: the system's requests that the program end (on
// Linux SIGTERM, SIGINT and SIGHUP) become a flag that the main loop reads, so
// that the program ends the way its own exit command ends it.
#pragma once

namespace platform {

class WindowSystem;

// Clears the flag and starts turning termination requests into it; each
// request also calls wakeTarget.wakeUp() so that a waiting loop notices it.
void watchTerminationRequests(WindowSystem& wakeTarget);
// Back to the system's default handling; the flag keeps its value.
void stopWatchingTerminationRequests();
// Whether a termination request arrived since watching began.
bool terminationRequested();

}  // namespace platform
