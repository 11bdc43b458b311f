// Each simulator scenario fed through the program's own stream parser and
// analysis pass, the way the program uses them: tare captured 500 ms after
// the reader attached, then one analysis pass per frame with the default
// settings. Checks that every scenario gives its intended walking flag and
// angle band, that walking counts steps at the cadence, and that the forward
// speed follows the cadence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/walk_state.h"
#include "app/frame_pass.h"
#include "link/sensor_link.h"
#include "link/stream_parser.h"
#include "output/walk_axes.h"
#include "tests/sim/frame_grammar.h"
#include "tests/support/default_settings.h"
#include "tools/sim/frame_source.h"

namespace {

using sim::GeneratorOptions;
using sim::Scenario;
using simtest::optionsFor;

struct Pass {
    double seconds;  // time into the scenario (negative while settling)
    int walking;
    float angle;
    float upperAverage;
    int numStep;
    float cadence;
    float forward;  // the forward axis of OSC and the OpenXR block
};

class SimScenarios : public ::testing::Test {
  protected:
    void SetUp() override {
        SensorLink::instance().reset();
        SensorLink::instance().connected = true;
        WalkState::instance() = testsupport::defaultSettings();
    }
    void TearDown() override { SensorLink::instance().reset(); }

    // Streams `seconds` of the scenario after one second of settle frames
    // through the parser into SensorLink and runs the analysis per frame.
    static std::vector<Pass> run(const GeneratorOptions& options, double seconds) {
        const std::uint64_t settle = static_cast<std::uint64_t>(options.rate);
        sim::FrameSource source(options, settle);
        SensorLink& link = SensorLink::instance();
        WalkState& state = WalkState::instance();
        StreamParser parser;
        std::vector<Pass> passes;
        const std::uint64_t total = settle + static_cast<std::uint64_t>(seconds * options.rate);
        const std::uint64_t tareFrame = static_cast<std::uint64_t>(options.rate / 2);
        std::string bytes;
        for (std::uint64_t k = 0; k < total; ++k) {
            bytes.clear();
            source.bytes(k, 0, bytes);
            for (char c : bytes) {
                StreamParser::Field f;
                if (parser.feed(static_cast<std::uint8_t>(c), f)) link.store(f.index, f.value);
            }
            // The program tares on what arrived in its first 500 ms and only
            // then starts its passes.
            if (k + 1 < tareFrame) continue;
            SensorFrame frame;
            if (k + 1 == tareFrame) {
                captureTare();
                while (link.frames.pop(frame)) {
                }
                continue;
            }
            while (link.frames.pop(frame)) state.analyze(readingsOf(frame), link.tare, true);
            passes.push_back({(static_cast<double>(k) - static_cast<double>(settle)) / options.rate,
                              state.walking, state.angle, state.upperAverage, state.numStep,
                              state.cadence, walkAxesOf(state).vertical});
        }
        return passes;
    }
};

struct Intent {
    Scenario scenario;
    int walking;
    float angleMin;  // band the angle stays in once the scenario has settled
    float angleMax;
};

// The intended result of each plain scenario with the default settings.
const Intent kIntents[] = {
    {Scenario::Idle, 0, 0.0f, 0.0f},
    {Scenario::Stand, 0, -5.0f, 5.0f},
    {Scenario::Walk, 1, -5.0f, 5.0f},
    {Scenario::DiagonalLeft, 1, -19.0f, -13.5f},
    {Scenario::DiagonalRight, 1, 13.5f, 19.0f},
    {Scenario::LeanLeft, 1, -45.0f, -22.0f},
    {Scenario::LeanRight, 1, 22.0f, 45.0f},
    {Scenario::TurnLeft, 1, -45.0f, -22.0f},
    {Scenario::TurnRight, 1, 22.0f, 45.0f},
    {Scenario::SidestepLeft, 1, -45.0f, -35.0f},
    {Scenario::SidestepRight, 1, 35.0f, 45.0f},
};

const Intent& intentOf(Scenario s) {
    for (const auto& i : kIntents) {
        if (i.scenario == s) return i;
    }
    throw std::logic_error("no intent");
}

// Checks the passes in [from, to) seconds of the scenario against an intent.
void expectIntent(const std::vector<Pass>& passes, const Intent& intent, double from, double to) {
    const char* name = sim::scenarioName(intent.scenario);
    int checked = 0;
    for (const Pass& p : passes) {
        if (p.seconds < from || p.seconds >= to) continue;
        ++checked;
        ASSERT_EQ(p.walking, intent.walking) << name << " at " << p.seconds << " s";
        ASSERT_GE(p.angle, intent.angleMin) << name << " at " << p.seconds << " s";
        ASSERT_LE(p.angle, intent.angleMax) << name << " at " << p.seconds << " s";
    }
    EXPECT_GT(checked, 0) << name;
}

TEST_F(SimScenarios, EachScenarioGivesItsIntendedWalkingAndAngle) {
    for (const Intent& intent : kIntents) {
        SetUp();
        const auto passes = run(optionsFor(intent.scenario), 12.0);
        // Stepping on and leaning into a turn take up to 1.5 s.
        expectIntent(passes, intent, 2.0, 12.0);
    }
}

TEST_F(SimScenarios, SettleFramesMakeTheTareTheEmptyPlatform) {
    // Right after the tare, while the settle frames still run, the analysis
    // sees an empty platform: no angle, nothing on the upper sensors.
    for (Scenario s : {Scenario::Idle, Scenario::Walk, Scenario::SidestepRight}) {
        SetUp();
        const auto passes = run(optionsFor(s), 3.0);
        for (const Pass& p : passes) {
            if (p.seconds >= 0.0) break;
            ASSERT_LT(p.upperAverage, 0.05f) << sim::scenarioName(s) << " at " << p.seconds;
            ASSERT_EQ(p.angle, 0.0f);
            ASSERT_EQ(p.walking, 0);
        }
    }
}

TEST_F(SimScenarios, SidesNeverPointTheWrongWay) {
    // Once the user has stepped on (half a second), a left scenario never
    // shows a rightward angle, nor a right one a leftward angle, also while
    // leaning into a turn.
    for (const Intent& intent : kIntents) {
        const bool left = intent.angleMax < 0.0f;
        const bool right = intent.angleMin > 0.0f;
        if (!left && !right) continue;
        SetUp();
        for (const Pass& p : run(optionsFor(intent.scenario), 6.0)) {
            if (p.seconds < 0.5) continue;
            ASSERT_TRUE(left ? p.angle <= 0.0f : p.angle >= 0.0f)
                << sim::scenarioName(intent.scenario) << " at " << p.seconds << " s: " << p.angle;
        }
    }
}

TEST_F(SimScenarios, StandingNeverCountsAsWalkingEvenWhileSteppingOn) {
    for (const Pass& p : run(optionsFor(Scenario::Stand), 10.0))
        ASSERT_EQ(p.walking, 0) << p.seconds;
}

TEST_F(SimScenarios, WalkingCountsStepsAtTheCadence) {
    for (double cadence : {60.0, 100.0, 140.0, 200.0}) {
        SetUp();
        GeneratorOptions o = optionsFor(Scenario::Walk);
        o.cadence = cadence;
        const auto passes = run(o, 32.0);
        int atStart = -1, atEnd = -1;
        for (const Pass& p : passes) {
            if (atStart < 0 && p.seconds >= 2.0) atStart = p.numStep;
            atEnd = p.numStep;
        }
        // 30 seconds of walking, both feet counted.
        EXPECT_NEAR(atEnd - atStart, cadence * 30.0 / 60.0, 2.0) << "cadence " << cadence;
    }
}

TEST_F(SimScenarios, TheForwardSpeedFollowsTheCadenceWithinThreeStepsAndNotWhenSwitchedOff) {
    GeneratorOptions o = optionsFor(Scenario::Sequence);
    o.sequence = {{Scenario::Walk, 10.0}, {Scenario::Walk, 10.0, 170.0}, {Scenario::Stand, 6.0}};
    for (const std::int32_t on : {1, 0}) {
        SCOPED_TRACE(on ? "cadenceSpeed=1" : "cadenceSpeed=0");
        SetUp();
        WalkState::instance().cadenceSpeed = on;
        int stepsAtChange = -1;
        for (const Pass& p : run(o, 26.0)) {
            if (p.seconds >= 3.0 && p.seconds < 10.0) {
                // Walking at 100, walkCadence: walkSpeedFB, give or take a frame's timing.
                ASSERT_NEAR(p.cadence, 100.0f, 3.5f) << p.seconds;
                ASSERT_NEAR(p.forward, 0.25f, on ? 0.25f * 0.08f : 0.0f) << p.seconds;
            }
            if (p.seconds >= 10.0 && stepsAtChange < 0) stepsAtChange = p.numStep;
            // From the third step at 170 on: runSpeed, or walkSpeedFB when switched off.
            if (p.seconds < 20.0 && stepsAtChange >= 0 && p.numStep >= stepsAtChange + 3) {
                ASSERT_NEAR(p.cadence, 170.0f, 6.0f) << p.seconds;
                ASSERT_NEAR(p.forward, on ? 1.0f : 0.25f, on ? 0.05f : 0.0f) << p.seconds;
            }
            // The steps stop: the cadence falls, and is gone after three seconds.
            if (p.seconds >= 22.0) {
                ASSERT_LT(p.cadence, 100.0f) << p.seconds;
            }
            if (p.seconds >= 24.0) {
                ASSERT_EQ(p.cadence, 0.0f) << p.seconds;
            }
        }
    }
}

TEST_F(SimScenarios, TourShowsEachSegmentsIntentInTurn) {
    GeneratorOptions o = optionsFor(Scenario::Sequence);
    o.sequence = sim::tourSequence(5.0);
    const auto passes = run(o, 5.0 * static_cast<double>(o.sequence.size()));
    double start = 0.0;
    for (const auto& segment : o.sequence) {
        SCOPED_TRACE(sim::scenarioName(segment.kind));
        expectIntent(passes, intentOf(segment.kind), start + 2.0, start + segment.seconds);
        start += segment.seconds;
    }
}

TEST_F(SimScenarios, OtherRatesKeepTheIntent) {
    // Fewer frames per second make the program's frame windows span more
    // time; the scenarios still land in their bands.
    for (double rate : {50.0, 200.0}) {
        for (Scenario s : {Scenario::Walk, Scenario::LeanLeft, Scenario::Stand}) {
            SetUp();
            GeneratorOptions o = optionsFor(s);
            o.rate = rate;
            SCOPED_TRACE(rate);
            expectIntent(run(o, 8.0), intentOf(s), 2.0, 8.0);
        }
    }
}

}  // namespace
