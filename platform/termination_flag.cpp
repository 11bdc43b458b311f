// The termination-request flag shared by every backend: their handlers report a request
// here and the main loop reads it. Reporting is async-signal-safe: stores and loads of
// lock-free atomics and the window system's wake-up (on Linux a write to its pipe).
#include <atomic>

#include "platform/termination.h"
#include "platform/window_system.h"

namespace platform {

namespace {

std::atomic<bool> requested{false};
// Set while requests are watched: the loop to wake. Null means not watching.
std::atomic<WindowSystem*> wakeTargetOf{nullptr};

static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<WindowSystem*>::is_always_lock_free);

}  // namespace

void beginTerminationWatch(WindowSystem& wakeTarget) {
    requested.store(false);
    wakeTargetOf.store(&wakeTarget);
}

void endTerminationWatch() {
    wakeTargetOf.store(nullptr);
}

void noteTerminationRequest() {
    WindowSystem* target = wakeTargetOf.load();
    if (target == nullptr) return;
    requested.store(true);
    target->wakeUp();
}

bool terminationRequested() {
    return requested.load();
}

}  // namespace platform
