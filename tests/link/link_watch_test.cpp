// Whether frames arrive: the link's frame count moves once per frame, and the
// watch says "no data" after 200 ms without a new frame or before the first.
#include "link/link_watch.h"

#include <gtest/gtest.h>

#include "link/sensor_link.h"

using namespace std::chrono_literals;

namespace {

TEST(LinkFrameCount, MovesOncePerFrameWhenItsCounterArrives) {
    SensorLink link;
    for (int i = 0; i < 8; ++i) link.store(i, 1.0f);
    EXPECT_EQ(link.frameCount(), 0u);
    link.store(8, 41.0f);
    EXPECT_EQ(link.frameCount(), 1u);
    link.store(8, 42.0f);
    EXPECT_EQ(link.frameCount(), 2u);
    link.reset();
    EXPECT_EQ(link.frameCount(), 0u);
}

TEST(LinkWatch, NoDataUntilTheFirstFrameAndAfterTheSilenceLimit) {
    const LinkWatch::Clock::time_point t0{};
    LinkWatch watch;
    // A port that opened but never delivers.
    EXPECT_FALSE(watch.framesArriving(0, t0));
    EXPECT_FALSE(watch.framesArriving(0, t0 + 5s));

    EXPECT_TRUE(watch.framesArriving(1, t0 + 6s));
    EXPECT_TRUE(watch.framesArriving(1, t0 + 6s + 200ms));
    EXPECT_FALSE(watch.framesArriving(1, t0 + 6s + 201ms));
    EXPECT_FALSE(watch.framesArriving(1, t0 + 60s));
    // Frames again: at once, without anything else.
    EXPECT_TRUE(watch.framesArriving(2, t0 + 61s));
    // Any change counts, a wrapped or reset count too.
    EXPECT_TRUE(watch.framesArriving(0, t0 + 61s + 150ms));
    EXPECT_TRUE(watch.framesArriving(0, t0 + 61s + 350ms));
    EXPECT_FALSE(watch.framesArriving(0, t0 + 61s + 351ms));
}

}  // namespace
