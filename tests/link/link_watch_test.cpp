// Whether frames arrive: the watch says "no data" after 150 ms without a platform frame, timed
// from the frames' arrival, and before the first.
#include "link/link_watch.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

TEST(LinkWatch, NoDataUntilTheFirstFrameAndAfterTheSilenceLimit) {
    const LinkWatch::Clock::time_point t0{};
    LinkWatch watch;
    // A port that opened but never delivers.
    EXPECT_FALSE(watch.framesArriving(t0));
    EXPECT_FALSE(watch.framesArriving(t0 + 5s));

    watch.frameArrived(t0 + 6s);
    EXPECT_TRUE(watch.framesArriving(t0 + 6s + 150ms));
    EXPECT_FALSE(watch.framesArriving(t0 + 6s + 151ms));
    // Frames again: at once. A frame taken late counts from when it arrived, and an older one
    // taken after it changes nothing.
    watch.frameArrived(t0 + 61s);
    watch.frameArrived(t0 + 60s);
    EXPECT_TRUE(watch.framesArriving(t0 + 61s + 150ms));
    EXPECT_FALSE(watch.framesArriving(t0 + 61s + 151ms));
}

}  // namespace
