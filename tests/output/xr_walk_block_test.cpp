// The judgement of block copies that every reader of the walk block shares: what counts as a
// fresh walk, and what a reader shows while the program is in the middle of a write.
#include "output/xr_walk_block.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

constexpr std::int64_t kNow = 5'000'000'000;
const xrwalk::Axes kWalk{0.5f, -0.25f, 0.125f};

TEST(XrWalkBlock, WhileTheProgramWritesTheLastGoodReadingHoldsUntilItIsStale) {
    xrwalk::Judge judge;
    const xrwalk::Fields good = xrwalk::fieldsOf(kWalk, 7, kNow, 2);
    EXPECT_EQ(judge.next(&good, kNow).axes, kWalk);
    xrwalk::Fields writing = xrwalk::fieldsOf({}, 8, kNow + 1000, 4);
    writing.sequence = 3;  // odd: in the middle of a write
    xrwalk::Fields torn = xrwalk::fieldsOf(kWalk, 8, kNow + 1000, 4);
    torn.vertical = 0;  // copied half before, half after a write
    for (const xrwalk::Fields* during : {&writing, &torn, static_cast<xrwalk::Fields*>(nullptr)}) {
        const xrwalk::Reading r = judge.next(during, kNow + 1000);
        EXPECT_TRUE(r.fresh);
        EXPECT_EQ(r.axes, kWalk);
        EXPECT_EQ(r.frame, 7u);
    }
    EXPECT_FALSE(judge.next(&writing, kNow + xrwalk::kStaleNs + 1).fresh);
}

TEST(XrWalkBlock, OnlyAConsistentRecentCopyInRangeIsAWalk) {
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    struct Case {
        std::int64_t published, now;
        xrwalk::Axes axes;
        bool fresh;
    } cases[] = {
        {kNow, kNow, kWalk, true},
        {kNow - xrwalk::kStaleNs, kNow, kWalk, true},
        {kNow - xrwalk::kStaleNs - 1, kNow, kWalk, false},
        {kNow + xrwalk::kStaleNs + 1, kNow, kWalk, false},  // from the future
        {0, kNow, kWalk, false},                            // the program ended
        {kMin, kMax, kWalk, false},                         // 2^64 apart: no overflow
        {kMax, kMin + 1, kWalk, false},
        {kMax, kMax, {1.5f, 0.0f, 0.0f}, false},
        {kNow, kNow, {0.0f, std::numeric_limits<float>::quiet_NaN(), 0.0f}, false},
    };
    for (const Case& c : cases) {
        xrwalk::Judge judge;
        const xrwalk::Fields f = xrwalk::fieldsOf(c.axes, 1, c.published, 2);
        EXPECT_EQ(judge.next(&f, c.now).fresh, c.fresh) << c.published << " at " << c.now;
    }
}

}  // namespace
