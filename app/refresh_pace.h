// The pace of the window's live refresh: at most once per frame of a 60 Hz display, which is as
// often as anyone can see it change; a refresh left out is owed and made once its time comes.
#pragma once

#include <chrono>

class RefreshPace {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kPeriod = std::chrono::microseconds(16667);

    // Whether a refresh is due at `now`: the first, and any a period or more after the last
    // one made. One that is not due is owed.
    bool due(Clock::time_point now) {
        if (made_ && now - last_ < kPeriod) {
            owed_ = true;
            return false;
        }
        made_ = true;
        owed_ = false;
        last_ = now;
        return true;
    }

    // Milliseconds (rounded up) until an owed refresh is due; -1 when none is owed.
    int owedMs(Clock::time_point now) const {
        if (!owed_) return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(last_ + kPeriod - now);
        return left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }

  private:
    Clock::time_point last_{};
    bool made_ = false;
    bool owed_ = false;
};
