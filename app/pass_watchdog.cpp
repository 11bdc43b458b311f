// The watchdog's thread: it sleeps while the outputs are at rest, and otherwise wakes at the
// end of each silence limit to see whether a pass came meanwhile.
#include "app/pass_watchdog.h"

#include <system_error>

PassWatchdog::PassWatchdog(std::uint16_t telemetryPort, Clock::duration limit) : limit_(limit) {
    telemetry_.open(telemetryPort);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had: the passes go on without a stand-in.
    }
}

PassWatchdog::~PassWatchdog() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    // No zeros of its own at the end: the program's shutdown sends them once.
    telemetry_.close();
}

void PassWatchdog::passed(const WalkState& state, bool live) {
    const Clock::time_point now = Clock::now();
    bool woke = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        lastPass_ = now;
        woke = live && !live_;
        live_ = live;
        // A copy of a few hundred bytes: far less than the pass that made it.
        if (live) lastLive_ = state;
    }
    // The thread sleeps without a limit while the outputs rest: live values start its watch.
    if (woke) wake_.notify_one();
}

std::uint32_t PassWatchdog::standIns() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return standIns_;
}

void PassWatchdog::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stop_) return;
        if (!live_) {
            wake_.wait(lock);
            continue;
        }
        const Clock::time_point due = lastPass_ + limit_;
        if (Clock::now() < due) {
            wake_.wait_until(lock, due);
            continue;
        }
        // The main thread has sent nothing for the limit: the values at rest, once.
        WalkState rest = lastLive_;
        live_ = false;
        ++standIns_;
        lock.unlock();
        rest.rest(rest.lastTick);
        telemetry_.send(rest);
        // The axes of a state at rest are zeros; a new frame count makes them go out.
        osc_.update(rest, ++oscFrame_, true);
        lock.lock();
    }
}
