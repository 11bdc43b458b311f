// Termination requests on Linux: SIGTERM, SIGINT and SIGHUP set a flag and wake
// the message loop. The handler does only async-signal-safe work: a store to a
// lock-free atomic and the window system's wake-up (a write to its pipe).
#include <errno.h>
#include <signal.h>

#include <atomic>

#include "platform/termination.h"
#include "platform/window_system.h"

namespace platform {

namespace {

std::atomic<bool> requested{false};
std::atomic<WindowSystem*> wakeTargetOf{nullptr};
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<WindowSystem*>::is_always_lock_free);

extern "C" void onTerminationSignal(int) {
    const int savedErrno = errno;
    requested.store(true);
    if (WindowSystem* target = wakeTargetOf.load()) target->wakeUp();
    errno = savedErrno;
}

}  // namespace

void watchTerminationRequests(WindowSystem& wakeTarget) {
    requested.store(false);
    wakeTargetOf.store(&wakeTarget);
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
    wakeTargetOf.store(nullptr);
}

bool terminationRequested() {
    return requested.load();
}

}  // namespace platform
