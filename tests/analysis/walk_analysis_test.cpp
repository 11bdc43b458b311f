// The analysis pass: tare and normalisation, group values, direction and
// angle, window advance on the frame counter, walking, steps and automatic
// calibration, with the exact float behaviour the thresholds depend on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "analysis/walk_state.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The sensor link as a pass sees it: one frame, the tare and whether the link is connected.
struct Link {
    FrameReadings frame;
    float tare[8];
    bool connected;
};

// The record with a pass over the fixture's link.
struct State : WalkState {
    static Link link;
    State& operator=(const WalkState& s) { return static_cast<State&>(WalkState::operator=(s)); }
    void analyze() { WalkState::analyze(link.frame, link.tare, link.connected); }
};
Link State::link;

class WalkAnalysis : public ::testing::Test {
  protected:
    void SetUp() override {
        link() = Link{{{-1, -1, -1, -1, -1, -1, -1, -1}, 0.0f}, {}, true};
        state() = WalkState{};
        for (float& m : state().loadMax) m = 10.0f;
        state().walkFThreshold = 0.3f;
    }
    static Link& link() { return State::link; }
    static State& state() {
        static State s;
        return s;
    }

    static void raw(std::initializer_list<float> loads, float tick) {
        int i = 0;
        for (float v : loads) link().frame.rawLoad[i++] = v;
        link().frame.tick = tick;
    }
    // Feeds one new frame (tick + 1) and runs a pass.
    static void frame(std::initializer_list<float> loads) {
        raw(loads, state().lastTick + 1.0f);
        state().analyze();
    }
};

TEST_F(WalkAnalysis, BeforeTheFirstFrameEverythingIsZero) {
    for (float tare : {0.0f, -1.0f}) {
        for (float& t : link().tare) t = tare;
        state().analyze();
        for (float t : state().taredLoad) {
            EXPECT_EQ(t, 0.0f);
            EXPECT_FALSE(std::signbit(t));
        }
        EXPECT_EQ(state().upperAverage, 0.0f);
        EXPECT_EQ(state().lowerAverage, 0.0f);
        EXPECT_EQ(state().walking, 0);
        EXPECT_EQ(state().angle, 0.0f);
    }
}

TEST_F(WalkAnalysis, EvenUpperLoadsPointStraightAhead) {
    raw({4, 2, 4, 2, 4, 2, 4, 2}, 0);
    state().analyze();
    EXPECT_EQ(state().upperAverage, 2.0f);
    // Side values 1.0 before the rescale, 1.0 / (2.0 * 5) after it.
    EXPECT_EQ(state().leftAverage, 0.1f);
    EXPECT_EQ(state().rightAverage, 0.1f);
    EXPECT_EQ(state().lowerAverage, 0.1f);
    EXPECT_NEAR(state().directionX, 0.0f, 1e-6);
    EXPECT_NEAR(state().directionY, 13.384f, 0.001);
    EXPECT_NEAR(state().angle, 0.0f, 1e-5);
}

TEST_F(WalkAnalysis, UnevenUpperLoadsGiveTheAngleOfTheVector) {
    raw({2, 1, 4, 1, 6, 1, 8, 1}, 0);
    state().analyze();
    EXPECT_EQ(state().upperAverage, 2.5f);
    EXPECT_FLOAT_EQ(state().leftAverage, 0.04f);
    EXPECT_FLOAT_EQ(state().rightAverage, 0.04f);
    EXPECT_NEAR(state().directionX, 4.760f, 0.001);
    EXPECT_NEAR(state().directionY, 16.730f, 0.001);
    EXPECT_NEAR(state().angle, 15.883f, 0.001);
}

TEST_F(WalkAnalysis, SingleUpperSensorGivesPlusOrMinus45Degrees) {
    raw({0, 0, 0, 0, 0, 0, 1, 0}, 0);  // sensor 6 alone: upper average 0.125
    state().analyze();
    EXPECT_EQ(state().directionX, state().directionY);
    EXPECT_EQ(state().angle, 45.0f);
    raw({1, 0, 0, 0, 0, 0, 0, 0}, 0);
    state().analyze();
    EXPECT_EQ(state().angle, -45.0f);
}

TEST_F(WalkAnalysis, TareAboveRawGivesPositiveZeroAndNaNStays) {
    link().tare[0] = 5.0f;
    link().tare[1] = 3.0f;
    raw({3, 3, kNaN, 0, 0, 0, 0, 0}, 0);
    state().analyze();
    EXPECT_EQ(state().taredLoad[0], 0.0f);
    EXPECT_FALSE(std::signbit(state().taredLoad[0]));
    EXPECT_FALSE(std::signbit(state().taredLoad[1]));  // 3 - 3 = +0 stays +0
    EXPECT_TRUE(std::isnan(state().taredLoad[2]));
    // A NaN upper average is not below 0.05: the angle is still computed.
    EXPECT_TRUE(std::isnan(state().upperAverage));
    EXPECT_EQ(state().walking, 0);
}

TEST_F(WalkAnalysis, AngleThresholdUsesTheDoubleValueOf005) {
    // The float nearest 0.05 lies above the double 0.05: it counts.
    // 0.001 on sensor 0 and 0.399000019 on sensor 6 sum to exactly 0.2f in
    // normalised units, an upper average of exactly 0.05f.
    raw({0.001f, 0, 0, 0, 0, 0, 0.399000019f, 0}, 0);
    state().analyze();
    ASSERT_EQ(state().upperAverage, 0.05f);
    EXPECT_NEAR(state().angle, 44.9, 0.1);
    raw({0.001f, 0, 0, 0, 0, 0, 0.398f, 0}, 0);
    state().analyze();
    EXPECT_EQ(state().angle, 0.0f);
}

TEST_F(WalkAnalysis, WindowsAdvanceOnlyWhenTheCounterMovesByExactlyOne) {
    auto history = [] { return state().lowerHistory[0]; };
    raw({1, 4, 1, 4, 1, 4, 1, 4}, 10);  // lower 2.0 (no rescale: sides heavier)
    state().analyze();
    EXPECT_EQ(history(), 0.0f);  // 10 - 0: no advance
    state().analyze();
    EXPECT_EQ(history(), 0.0f);  // same frame again
    raw({1, 4, 1, 4, 1, 4, 1, 4}, 11);
    state().analyze();
    EXPECT_EQ(history(), 2.0f);
    EXPECT_EQ(state().previousUpperAverage, state().upperAverage);
    EXPECT_EQ(state().upperChangeHistory[0], state().upperChange);
    raw({1, 6, 1, 6, 1, 6, 1, 6}, 10);  // counter back by one: advances too
    state().analyze();
    EXPECT_EQ(history(), 3.0f);
    EXPECT_EQ(state().lowerHistory[1], 2.0f);
    raw({1, 2, 1, 2, 1, 2, 1, 2}, 12);  // a lost frame: no advance
    state().analyze();
    EXPECT_EQ(history(), 3.0f);
    EXPECT_EQ(state().lastTick, 12.0f);
    raw({1, 2, 1, 2, 1, 2, 1, 2}, 12.5f);  // a fraction: no advance
    state().analyze();
    EXPECT_EQ(history(), 3.0f);
    raw({1, 2, 1, 2, 1, 2, 1, 2}, 13.5f);  // +1 from the last seen value
    state().analyze();
    EXPECT_EQ(history(), 1.0f);
    EXPECT_EQ(state().lowerHistory[7], 0.0f);
}

TEST_F(WalkAnalysis, MovingAveragesAndChangesOverTheWindows) {
    for (int k = 1; k <= 9; ++k) frame({1, 2, 1, 2, 1, 2, 1, 2});
    // Nine equal frames: the moving average equals the value, changes vanish
    // except the rise of the first frame, still in the 31-long change window.
    EXPECT_EQ(state().lowerMovingAverage, 1.0f);
    EXPECT_EQ(state().lowerChange, 0.0f);
    EXPECT_FLOAT_EQ(state().lowerChangeAverage, 1.0f / 31.0f);
    for (int k = 0; k < 31; ++k) frame({1, 2, 1, 2, 1, 2, 1, 2});
    EXPECT_EQ(state().lowerChangeAverage, 0.0f);
    EXPECT_EQ(state().upperChangeAverage, 0.0f);
}

TEST_F(WalkAnalysis, WalkingNeedsTheMovingAverageStrictlyAboveTheThreshold) {
    // Lower value 2.0 in all nine window slots: moving average 2.0.
    for (int k = 0; k < 9; ++k) frame({1, 4, 1, 4, 1, 4, 1, 4});
    ASSERT_EQ(state().lowerMovingAverage, 2.0f);
    EXPECT_EQ(state().walking, 1);
    state().walkFThreshold = 2.0f;
    state().analyze();
    EXPECT_EQ(state().walking, 0);
    // No weight on the upper sensors: not walking either.
    state().walkFThreshold = 0.3f;
    for (int k = 0; k < 9; ++k) frame({0, 4, 0, 4, 0, 4, 0, 4});
    EXPECT_EQ(state().walking, 0);
}

TEST_F(WalkAnalysis, StepDetectorArmsOnARiseAndCountsOnTheFallBelowTheAverage) {
    for (int k = 0; k < 9; ++k) frame({1, 4, 1, 4, 1, 4, 1, 4});
    ASSERT_EQ(state().walking, 1);
    // Hold the left window at 2.0 and replay the same frame counter so the
    // windows stay put: the moving average is then (v + 16) / 9.
    for (float& h : state().leftHistory) h = 2.0f;
    state().leftStepArmed = state().rightStepArmed = 0;  // armed by the warm-up rise
    auto pass = [](float left) {
        raw({1, 2 * left, 1, 2 * left, 1, 4, 1, 4}, state().lastTick);
        state().analyze();
    };
    pass(2.5f);  // 2.5 > 2.056 + 0.1: armed, nothing counted yet
    EXPECT_EQ(state().leftStepArmed, 1);
    EXPECT_EQ(state().rightStepArmed, 0);
    EXPECT_EQ(state().numStep, 0);
    pass(2.08f);  // between the average (2.009) and the average + 0.1: stays armed
    EXPECT_EQ(state().leftStepArmed, 1);
    EXPECT_EQ(state().numStep, 0);
    pass(1.9f);  // below the average (1.989): one step, disarmed
    EXPECT_EQ(state().numStep, 1);
    EXPECT_EQ(state().leftStepArmed, 0);
    pass(1.9f);  // idle and below: nothing more
    EXPECT_EQ(state().numStep, 1);

    // A count already at the top of its range (a settings file may say so) stays there
    // instead of overflowing.
    state().numStep = std::numeric_limits<std::int32_t>::max();
    pass(2.5f);
    pass(1.9f);
    EXPECT_EQ(state().leftStepArmed, 0);
    EXPECT_EQ(state().numStep, std::numeric_limits<std::int32_t>::max());
}

TEST_F(WalkAnalysis, BothSidesCanCountOnOnePassAndPausesKeepTheFlags) {
    for (int k = 0; k < 9; ++k) frame({1, 4, 1, 4, 1, 4, 1, 4});
    frame({1, 6, 1, 6, 1, 6, 1, 6});
    ASSERT_EQ(state().leftStepArmed, 1);
    ASSERT_EQ(state().rightStepArmed, 1);
    // Not walking (threshold above the average): flags untouched, no count.
    state().walkFThreshold = 1.0f;
    frame({0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(state().walking, 0);
    EXPECT_EQ(state().leftStepArmed, 1);
    EXPECT_EQ(state().numStep, 0);
    // Walking again with both sides below their averages: two steps at once.
    state().walkFThreshold = 0.3f;
    state().numStep = 40;
    raw({1, 1.5f, 1, 1.5f, 1, 1.5f, 1, 1.5f}, state().lastTick);
    state().analyze();
    ASSERT_EQ(state().walking, 1);
    EXPECT_EQ(state().numStep, 42);
    EXPECT_EQ(state().leftStepArmed, 0);
    EXPECT_EQ(state().rightStepArmed, 0);
}

TEST_F(WalkAnalysis, AutomaticCalibrationRetaresAtRestAndRaisesMaxima) {
    state().autoCalibration = 1;
    raw({12, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 10}, 0);
    state().analyze();  // change averages: upper rose from 0 -> not at rest
    EXPECT_EQ(link().tare[0], 0.0f);
    EXPECT_EQ(state().loadMax[0], 12.0f);  // raised
    EXPECT_EQ(state().loadMax[7], 10.0f);  // equal: unchanged
    EXPECT_EQ(state().loadMax[1], 10.0f);

    // At rest: no windows moving, both change averages exactly 0.
    WalkState fresh{};
    fresh.autoCalibration = 1;
    for (float& mx : fresh.loadMax) mx = 10.0f;
    state() = fresh;
    raw({0, 0, 0, 0, 0, 0, 0, 0}, 0);
    state().analyze();
    raw({3, 3, 3, 3, 3, 3, 3, 3}, 0);  // tare 0 means changes would be seen next
    link().tare[0] = 3.0f;
    for (int i = 1; i < 8; ++i) link().tare[i] = 3.0f;
    state().analyze();
    ASSERT_EQ(state().upperChangeAverage, 0.0f);
    for (float t : link().tare) EXPECT_EQ(t, 3.0f);

    // Not connected: no re-tare.
    link().connected = false;
    raw({4, 4, 4, 4, 4, 4, 4, 4}, 0);
    state().analyze();
    EXPECT_EQ(link().tare[0], 3.0f);
    link().connected = true;

    // Any value but 1 turns both off.
    state().autoCalibration = 2;
    raw({50, 4, 4, 4, 4, 4, 4, 4}, 0);
    state().analyze();
    EXPECT_EQ(link().tare[0], 3.0f);
    EXPECT_EQ(state().loadMax[0], 10.0f);
}

// Every result a datagram or the window shows.
void expectFiniteResults() {
    const WalkState& s = WalkState::instance();
    for (float v :
         {s.upperAverage, s.leftAverage, s.rightAverage, s.lowerAverage, s.lowerMovingAverage,
          s.leftMovingAverage, s.rightMovingAverage, s.upperChangeAverage, s.lowerChangeAverage,
          s.directionX, s.directionY, s.angle}) {
        EXPECT_TRUE(std::isfinite(v)) << v;
    }
}

TEST_F(WalkAnalysis, ASensorWithoutAUsableMaximumReadsZeroUntilCalibrationGivesItOne) {
    // Zero (the maximum reset), not a number, infinite, and so small that the quotient
    // overflows: none of them turns a result infinite or NaN.
    for (float& m : state().loadMax) m = 0.0f;
    state().loadMax[2] = kNaN;
    state().loadMax[4] = std::numeric_limits<float>::infinity();
    state().loadMax[6] = std::numeric_limits<float>::denorm_min();
    for (int pass = 0; pass < 40; ++pass) frame({2, 0, 2, 0, 2, 0, 2, 3});
    expectFiniteResults();
    EXPECT_EQ(state().upperAverage, 0.0f);
    EXPECT_EQ(state().rightAverage, 0.0f);
    EXPECT_EQ(state().taredLoad[0], 2.0f);  // the load itself still shows
    EXPECT_EQ(state().loadMax[0], 0.0f);    // calibration is off: nothing moves

    // Automatic calibration gives each loaded sensor its load as the maximum, the unusable
    // ones included; an unloaded sensor keeps reading 0.
    state().autoCalibration = 1;
    frame({2, 0, 2, 0, 2, 0, 2, 3});
    expectFiniteResults();
    for (int i : {0, 2, 4, 6}) EXPECT_EQ(state().loadMax[i], 2.0f) << i;
    EXPECT_EQ(state().loadMax[7], 3.0f);
    EXPECT_EQ(state().loadMax[1], 0.0f);
    for (float m : state().loadMax) EXPECT_TRUE(std::isfinite(m)) << m;
    // That pass also re-tared the platform at rest; back to a tare of 0 to read the loads.
    state().autoCalibration = 0;
    for (float& t : link().tare) t = 0.0f;
    frame({2, 0, 2, 0, 2, 0, 2, 3});
    EXPECT_EQ(state().upperAverage, 5.0f);
    // (0 + 5) * 0.5, rescaled against the heavier upper group: 2.5 / 25.
    EXPECT_EQ(state().rightAverage, 0.1f);
    expectFiniteResults();
}

TEST_F(WalkAnalysis, CalibrationNeverRaisesAMaximumToInfinity) {
    state().autoCalibration = 1;
    // "inf", and "1e39", which is infinite once rounded to a float.
    raw({std::numeric_limits<float>::infinity(), static_cast<float>(1e39), 12, 0, 0, 0, 0, 0}, 0);
    state().analyze();
    EXPECT_EQ(state().loadMax[0], 10.0f);
    EXPECT_EQ(state().loadMax[1], 10.0f);
    EXPECT_EQ(state().loadMax[2], 12.0f);
}

TEST_F(WalkAnalysis, TheStepDetectorArmsOnlyAboveTheAveragePlusOneTenth) {
    for (int k = 0; k < 9; ++k) frame({1, 4, 1, 4, 1, 4, 1, 4});
    ASSERT_EQ(state().walking, 1);
    // The left side straight from its two sensors (maximum 5: a load reads as itself), its
    // window held at 2.0, the same frame counter replayed so that no window moves.
    state().loadMax[1] = state().loadMax[3] = 5.0f;
    for (float& h : state().leftHistory) h = 2.0f;
    auto pass = [](float left) {
        state().leftStepArmed = 0;
        raw({1, left, 1, left, 1, 4, 1, 4}, state().lastTick);
        state().analyze();
        EXPECT_EQ(state().leftAverage, left);
        return state().leftStepArmed;
    };
    // The moving average is 2.01249981 for both; + 0.1 in double is 2.11249981, which lies
    // between these two neighbouring floats.
    EXPECT_EQ(pass(0x1.0e6666p+1f), 1);  // 2.11249995
    EXPECT_EQ(state().leftMovingAverage, 0x1.019998p+1f);
    EXPECT_EQ(pass(0x1.0e6664p+1f), 0);  // 2.11249971
    EXPECT_EQ(state().leftMovingAverage, 0x1.019998p+1f);
    // Equal to its moving average: neither arms nor, once armed, counts.
    EXPECT_EQ(pass(2.0f), 0);
    state().leftStepArmed = 1;
    raw({1, 2, 1, 2, 1, 4, 1, 4}, state().lastTick);
    state().analyze();
    EXPECT_EQ(state().leftStepArmed, 1);
    EXPECT_EQ(state().numStep, 0);
    // The bound is summed in double: in single precision it would round up past this value.
    for (float& h : state().leftHistory) h = 1.0f;
    EXPECT_EQ(pass(0x1.1ccccep+0f), 1);  // 1.11250007 against 1.01250005 + 0.1
    // So large that adding 0.1 leaves the double unchanged: equal still does not arm.
    for (float& h : state().leftHistory) h = 0x1p53f;
    EXPECT_EQ(pass(0x1p53f), 0);
}

TEST_F(WalkAnalysis, RestGivesAnEmptyPlatformAndFramesThatReturnStartAfresh) {
    state().autoCalibration = 1;
    for (int k = 0; k < 9; ++k) frame({1, 4, 1, 4, 1, 4, 1, 4});
    frame({1, 6, 1, 6, 1, 6, 1, 6});
    ASSERT_EQ(state().walking, 1);
    ASSERT_EQ(state().leftStepArmed, 1);
    state().numStep = 12;
    link().tare[3] = 0.5f;
    const WalkState before = state();

    state().rest(70.0f);
    const WalkState& s = state();
    // What a datagram and the window show.
    for (float v : s.taredLoad) EXPECT_EQ(v, 0.0f);
    for (float v : {s.upperAverage, s.leftAverage, s.rightAverage, s.lowerAverage,
                    s.lowerMovingAverage, s.directionX, s.directionY, s.angle}) {
        EXPECT_EQ(v, 0.0f);
    }
    EXPECT_EQ(s.walking, 0);
    EXPECT_EQ(s.leftStepArmed + s.rightStepArmed, 0);
    EXPECT_EQ(s.lastTick, 70.0f);
    // What the user set and counted stays.
    EXPECT_EQ(s.numStep, 12);
    EXPECT_EQ(link().tare[3], 0.5f);
    EXPECT_EQ(std::memcmp(s.loadMax, before.loadMax, sizeof s.loadMax), 0);

    // The first frame back counts against empty windows, not against the walking before.
    frame({1, 4, 1, 4, 1, 4, 1, 4});
    EXPECT_EQ(state().lowerMovingAverage, state().lowerAverage / 9.0f);
    EXPECT_EQ(state().walking, 0);
    EXPECT_EQ(state().numStep, 12);
}

}  // namespace
