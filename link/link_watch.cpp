// LinkWatch: the time of the last new frame and the silence limit.
#include "link/link_watch.h"

bool LinkWatch::framesArriving(std::uint32_t frameCount, Clock::time_point now) {
    if (frameCount != lastCount_) {
        lastCount_ = frameCount;
        lastChange_ = now;
        return true;
    }
    return lastChange_.has_value() && now - *lastChange_ <= silenceLimit_;
}
