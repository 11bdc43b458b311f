// PassWatchdog: a thread of its own that stands in for a main thread held up (a display server
// that stopped, a machine that stalls): once the passes have sent nothing for the silence
// limit, it sends one datagram at rest and OSC zeros, so that a driver or game holding the last
// values does not walk on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "analysis/walk_state.h"
#include "link/link_watch.h"
#include "output/osc_output.h"
#include "output/telemetry.h"

class PassWatchdog {
  public:
    using Clock = std::chrono::steady_clock;

    // Sends to 127.0.0.1:`telemetryPort` (and to the OSC destination of the settings) from
    // sockets of its own.
    explicit PassWatchdog(std::uint16_t telemetryPort = kTelemetryPort,
                          Clock::duration limit = LinkWatch::kSilenceLimit);
    ~PassWatchdog();
    PassWatchdog(const PassWatchdog&) = delete;
    PassWatchdog& operator=(const PassWatchdog&) = delete;

    // After each pass, on the main thread: what it sent was `state`, live (walking values)
    // or at rest. While the last pass sent live values, silence beyond the limit brings the
    // outputs to rest once.
    void passed(const WalkState& state, bool live);

    // How many times the watchdog has stood in (each hold-up once).
    std::uint32_t standIns() const;

  private:
    void run();

    const Clock::duration limit_;
    TelemetrySender telemetry_;
    OscOutput osc_;
    std::uint32_t oscFrame_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // The state of the last live pass; what goes out at rest is made from it.
    WalkState lastLive_{};
    Clock::time_point lastPass_{};
    bool live_ = false;
    bool stop_ = false;
    std::uint32_t standIns_ = 0;
    std::thread thread_;
};
