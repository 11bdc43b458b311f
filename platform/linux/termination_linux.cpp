// Termination requests on Linux: SIGTERM, SIGINT and SIGHUP set the termination flag and
// wake the message loop. The handler does only async-signal-safe work.
#include <errno.h>
#include <signal.h>

#include "platform/termination.h"

namespace platform {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onTerminationSignal(int) {
    const int savedErrno = errno;
    noteTerminationRequest();
    errno = savedErrno;
}

}  // namespace

void watchTerminationRequests(WindowSystem& wakeTarget) {
    beginTerminationWatch(wakeTarget);
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals) sigaddset(&action.sa_mask, sig);
    // Interrupted system calls elsewhere carry on; the wake-up reaches the loop.
    action.sa_flags = SA_RESTART;
    for (int sig : kSignals) sigaction(sig, &action, nullptr);
}

void stopWatchingTerminationRequests() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals) sigaction(sig, &action, nullptr);
    endTerminationWatch();
}

}  // namespace platform
