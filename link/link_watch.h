// LinkWatch: tells from the sensor link's frame count whether frames are still arriving,
// so that a platform that was unplugged or fell silent is not taken for one that stands still.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

class LinkWatch {
  public:
    using Clock = std::chrono::steady_clock;
    // Silence for longer than this means no data. At the platform's 100 frames a second
    // it is 20 lost frames, and it leaves room within a quarter of a second for the
    // pass that shows it.
    static constexpr Clock::duration kSilenceLimit = std::chrono::milliseconds(200);

    explicit LinkWatch(Clock::duration silenceLimit = kSilenceLimit)
        : silenceLimit_(silenceLimit) {}

    // Notes the link's frame count as seen at `now` and says whether frames are arriving:
    // the count changed within the silence limit. Before the first change (a port that
    // opened but never delivered) the answer is no.
    bool framesArriving(std::uint32_t frameCount, Clock::time_point now);

  private:
    Clock::duration silenceLimit_;
    std::uint32_t lastCount_ = 0;
    std::optional<Clock::time_point> lastChange_;
};
