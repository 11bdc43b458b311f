// LinkWatch: tells from the arrival times of the platform's frames whether frames are still
// arriving, so that a platform that was unplugged or fell silent is not taken for one that
// stands still.
#pragma once

#include <chrono>
#include <optional>

class LinkWatch {
  public:
    using Clock = std::chrono::steady_clock;
    // Silence for longer than this means no data. At the platform's 100 frames a second it is
    // 15 lost frames; timed from the reader's arrival time, it leaves 100 ms of a quarter second
    // for a busy machine to run the pass that shows it.
    static constexpr Clock::duration kSilenceLimit = std::chrono::milliseconds(150);

    explicit LinkWatch(Clock::duration silenceLimit = kSilenceLimit)
        : silenceLimit_(silenceLimit) {}

    // Notes a platform frame that arrived at `arrival` (the reader's time of its read).
    void frameArrived(Clock::time_point arrival) {
        if (!lastArrival_ || arrival > *lastArrival_) lastArrival_ = arrival;
    }

    // Whether frames are arriving at `now`: one arrived within the silence limit. Before the
    // first (a port that opened but never delivered) the answer is no.
    bool framesArriving(Clock::time_point now) const {
        return lastArrival_.has_value() && now - *lastArrival_ <= silenceLimit_;
    }

  private:
    Clock::duration silenceLimit_;
    std::optional<Clock::time_point> lastArrival_;
};
