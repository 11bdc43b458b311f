// Tests of the input emulator's event sequences, held flags, key repeats and
// turn amounts, recorded through a fake injector on a clock of the test's own.
#include "output/input_emulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/walk_state.h"
#include "platform/virtual_keys.h"
#include "tests/support/default_settings.h"
#include "tests/support/recording_injector.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Events = std::vector<std::string>;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class InputEmulatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The settings-file defaults, desktop mode, walking.
        state = testsupport::defaultSettings();
        state.appMode = 1;
        state.walking = 1;
        emulator.prepare(state);
    }

    Events stepAt(float angle) {
        state.angle = angle;
        emulator.step(state);
        return injector.take();
    }

    // One step whose records stay in injector.events for inspection.
    void stepKeepingRecords(float angle) {
        state.angle = angle;
        emulator.step(state);
    }

    struct Row {
        float angle;
        Events events;
    };
    // Each row's step, taken from a fresh start with nothing held, sends its events in order.
    void expectRows(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            emulator.prepare(state);
            injector.take();
            EXPECT_THAT(stepAt(row.angle), ::testing::ElementsAreArray(row.events))
                << "angle " << row.angle;
        }
    }

    Events stopWalking() {
        state.walking = 0;
        emulator.step(state);
        state.walking = 1;
        return injector.take();
    }

    WalkState state{};
    testsupport::RecordingInjector injector;
    InputEmulator::Clock::time_point now{};
    InputEmulator emulator{injector, [this] { return now; }};
};

// ---- The five angle bands -------------------------------------------------

TEST_F(InputEmulatorTest, SideStepModeSendsEachRowsEventsInOrder) {
    // Every case starts with nothing held: a key the emulation did not press
    // is never released (the user may hold it).
    expectRows({
        {-30.0f, {"press A"}},
        {30.0f, {"press D"}},
        {-15.0f, {"press W", "press A"}},
        {15.0f, {"press W", "press D"}},
        {0.0f, {"press W"}},
    });
}

TEST_F(InputEmulatorTest, TurnModeSendsEachRowsEventsInOrder) {
    state.moveMode = 1;
    expectRows({
        {-30.0f, {"button down", "turn -1"}},
        {45.0f, {"button down", "turn 3"}},
        {-15.0f, {"press W", "press A"}},
        {15.0f, {"press W", "press D"}},
        {0.0f, {"press W"}},
    });
}

TEST_F(InputEmulatorTest, TurnJustAboveThresholdRReleasesWhatIsHeldAndTurnsRight) {
    state.moveMode = 1;
    state.thresholdR = 30.0f;
    stepAt(-15.0f);  // front and left held, right not
    EXPECT_THAT(stepAt(std::nextafter(30.0f, 100.0f)),
                ElementsAre("release W", "release A", "button down", "turn 1"));
    EXPECT_FALSE(emulator.frontHeld || emulator.leftHeld || emulator.rightHeld);
}

TEST_F(InputEmulatorTest, HeldKeysRepeatAtAHeldKeysPaceAndAreReleasedOnce) {
    using namespace std::chrono_literals;
    EXPECT_THAT(stepAt(-15.0f), ElementsAre("press W", "press A"));
    now += InputEmulator::kRepeatPeriod - 1ns;
    EXPECT_THAT(stepAt(-14.0f), IsEmpty());
    now += 1ns;
    EXPECT_THAT(stepAt(0.0f), ElementsAre("press W", "release A"));
    // A pass a millisecond for a second: 30 presses; a late pass repeats once, not all it missed.
    int presses = 0;
    for (int pass = 0; pass < 1000; ++pass) {
        now += 1ms;
        presses += int(stepAt(0.0f).size());
    }
    EXPECT_EQ(presses, 30);
    now += 500ms;
    EXPECT_THAT(stepAt(0.0f), ElementsAre("press W"));
    EXPECT_THAT(stepAt(0.0f), IsEmpty());
}

TEST_F(InputEmulatorTest, EqualToAThresholdIsNotBeyondIt) {
    expectRows({
        {12.5f, {"press W"}},
        {-12.5f, {"press W"}},
        {20.0f, {"press W", "press D"}},
        // Equal to thresholdL, with thresholdFL above it: the diagonal row.
        {-20.0f, {"press W", "press A"}},
    });
    // Equal to thresholdL and thresholdFL alike: straight ahead.
    state.thresholdFL = -20.0f;
    expectRows({{-20.0f, {"press W"}}});
}

TEST_F(InputEmulatorTest, NaNAngleGoesStraightAhead) {
    expectRows({{kNaN, {"press W"}}});
    state.moveMode = 1;
    expectRows({{kNaN, {"press W"}}});
}

// ---- Held flags -------------------------------------------------------------

TEST_F(InputEmulatorTest, HeldFlagsFollowThePressesAndReleasesSent) {
    stepAt(-15.0f);
    EXPECT_TRUE(emulator.frontHeld);
    EXPECT_TRUE(emulator.leftHeld);
    EXPECT_FALSE(emulator.rightHeld);

    stepAt(-30.0f);  // sideways left: front released, left pressed again
    EXPECT_FALSE(emulator.frontHeld);
    EXPECT_TRUE(emulator.leftHeld);
    EXPECT_FALSE(emulator.rightHeld);

    stepAt(0.0f);
    EXPECT_TRUE(emulator.frontHeld);
    EXPECT_FALSE(emulator.leftHeld);
    EXPECT_FALSE(emulator.rightHeld);
}

TEST_F(InputEmulatorTest, StoppingReleasesOnlyHeldKeysFrontLeftRight) {
    EXPECT_THAT(stopWalking(), IsEmpty());

    stepAt(-15.0f);  // front and left held
    EXPECT_THAT(stopWalking(), ElementsAre("release W", "release A"));
    EXPECT_FALSE(emulator.frontHeld || emulator.leftHeld || emulator.rightHeld);
    EXPECT_THAT(stopWalking(), IsEmpty());

    stepAt(15.0f);  // front and right
    state.walking = -1;
    emulator.step(state);
    EXPECT_THAT(injector.take(), ElementsAre("release W", "release D"));
}

// Games cancel a strafe while both side keys are down: a row lets go of the other side first.
TEST_F(InputEmulatorTest, LeftAndRightAreNeverHeldTogether) {
    EXPECT_THAT(stepAt(-30.0f), ElementsAre("press A"));
    EXPECT_THAT(stepAt(30.0f), ElementsAre("release A", "press D"));
    EXPECT_THAT(stepAt(-15.0f), ElementsAre("release D", "press W", "press A"));
    EXPECT_THAT(stepAt(15.0f), ElementsAre("release A", "press D"));
    EXPECT_THAT(stepAt(-30.0f), ElementsAre("release W", "release D", "press A"));
    EXPECT_THAT(stopWalking(), ElementsAre("release A"));
}

// Keys of a settings file loaded during the run: what the old codes hold goes up, the new codes
// go down from the next step on; a second prepare leaves nothing stuck either.
TEST_F(InputEmulatorTest, NewKeyCodesLetGoOfTheOldKeysAndApplyAtTheNextStep) {
    stepAt(-15.0f);
    state.moveFrontKeyCode = 0x26;
    state.moveLeftKeyCode = 0x25;
    EXPECT_THAT(stepAt(-15.0f), ElementsAre("release W", "release A", "press 0x26", "press 0x25"));
    emulator.prepare(state);
    EXPECT_THAT(injector.take(), ElementsAre("release 0x26", "release 0x25"));
    EXPECT_THAT(stopWalking(), IsEmpty());
}

// ---- Modes, and letting go ----------------------------------------------------

TEST_F(InputEmulatorTest, OutsideDesktopModeOnlyTheHeldKeysAreReleasedOnce) {
    for (int appMode : {0, 2, -1}) {
        state.appMode = 1;
        state.moveMode = 0;
        stepAt(-15.0f);  // front and left held when the mode changes
        state.appMode = appMode;
        EXPECT_THAT(stepAt(-30.0f), ElementsAre("release W", "release A")) << appMode;
        for (int moveMode : {0, 1}) {
            state.moveMode = moveMode;
            for (float angle : {-30.0f, -15.0f, 0.0f, 15.0f, 30.0f, kNaN}) {
                EXPECT_THAT(stepAt(angle), IsEmpty()) << appMode << " " << moveMode << " " << angle;
            }
            EXPECT_THAT(stopWalking(), IsEmpty()) << appMode << " " << moveMode;
        }
    }
}

TEST_F(InputEmulatorTest, ANewMoveModeStartsWithNothingHeld) {
    stepAt(-15.0f);  // front and left held
    state.moveMode = 1;
    EXPECT_THAT(stepAt(-15.0f), ElementsAre("release W", "release A", "press W", "press A"));
    EXPECT_THAT(stepAt(-15.0f), IsEmpty());
    // A mode the emulation does not know releases and then sends nothing.
    for (int moveMode : {2, -1}) {
        state.moveMode = 0;
        stepAt(15.0f);
        state.moveMode = moveMode;
        EXPECT_THAT(stepAt(-30.0f), ElementsAre("release W", "release D")) << moveMode;
        EXPECT_THAT(stepAt(-30.0f), IsEmpty());
        EXPECT_THAT(stopWalking(), IsEmpty());
    }
}

TEST_F(InputEmulatorTest, TheButtonGoesUpOnTheFirstStepThatDoesNotTurn) {
    state.moveMode = 1;
    EXPECT_THAT(stepAt(45.0f), ElementsAre("button down", "turn 3"));
    EXPECT_THAT(stepAt(45.0f), ElementsAre("turn 3"));  // down once, a move on every step
    EXPECT_TRUE(emulator.buttonHeld);
    EXPECT_THAT(stepAt(0.0f), ElementsAre("button up", "press W"));
    EXPECT_FALSE(emulator.buttonHeld);
    EXPECT_THAT(stepAt(0.0f), IsEmpty());

    // Walking stops in the middle of a turn: the button goes up, then the held keys.
    stepAt(-15.0f);
    stepAt(45.0f);
    EXPECT_THAT(stopWalking(), ElementsAre("button up"));
    EXPECT_THAT(stopWalking(), IsEmpty());

    // Leaving the turning mode or desktop mode in the middle of a turn.
    stepAt(-45.0f);
    state.moveMode = 0;
    EXPECT_THAT(stepAt(-45.0f), ElementsAre("button up", "press A"));
    state.moveMode = 1;
    stepAt(-45.0f);
    state.appMode = 0;
    EXPECT_THAT(stepAt(-45.0f), ElementsAre("button up"));
}

TEST_F(InputEmulatorTest, ReleaseAllLetsGoOfTheButtonThenTheHeldKeys) {
    emulator.releaseAll();
    EXPECT_THAT(injector.take(), IsEmpty());
    stepAt(15.0f);  // front and right held
    emulator.releaseAll();
    EXPECT_THAT(injector.take(), ElementsAre("release W", "release D"));
    state.moveMode = 1;
    stepAt(-15.0f);
    stepAt(30.0f);  // the button held, the keys released by the turn
    stepAt(-30.0f);
    emulator.releaseAll();
    EXPECT_THAT(injector.take(), ElementsAre("button up"));
    EXPECT_FALSE(emulator.buttonHeld || emulator.frontHeld || emulator.leftHeld ||
                 emulator.rightHeld);
    emulator.releaseAll();
    EXPECT_THAT(injector.take(), IsEmpty());
}

TEST_F(InputEmulatorTest, TheRunKeyGoesWithTheFrontKeyAtARunningCadenceAndIsLetGoOnce) {
    state.runKeyCode = 0x10;  // Shift; runCadence 170
    state.cadence = 180.0f;
    emulator.prepare(state);
    EXPECT_THAT(stepAt(0.0f), ElementsAre("press W", "press 0x10"));
    state.cadence = 150.0f;  // below runCadence: let go once
    EXPECT_THAT(stepAt(-15.0f), ElementsAre("press A", "release 0x10"));
    EXPECT_THAT(stepAt(0.0f), ElementsAre("release A"));
    state.cadence = 170.0f;  // at runCadence
    EXPECT_THAT(stepAt(0.0f), ElementsAre("press 0x10"));
    // Sideways there is no front key to go with.
    EXPECT_THAT(stepAt(-30.0f), ElementsAre("release W", "press A", "release 0x10"));
    stepAt(0.0f);
    EXPECT_THAT(stopWalking(), ElementsAre("release W", "release 0x10"));
    // Without a run key nothing more than before is sent.
    state.runKeyCode = 0;
    emulator.prepare(state);
    EXPECT_THAT(stepAt(0.0f), ElementsAre("press W"));
    EXPECT_THAT(stopWalking(), ElementsAre("release W"));
}

// ---- Turn amounts -------------------------------------------------------------

TEST(InputEmulatorTurn, AmountGrowsWithTheSquareAndTruncatesTowardZero) {
    EXPECT_EQ(InputEmulator::turnAmount(45.0f, 0.15f), 3);    // 3.0375
    EXPECT_EQ(InputEmulator::turnAmount(-30.0f, 0.15f), -1);  // -1.35
    EXPECT_EQ(InputEmulator::turnAmount(-25.0f, 0.15f), 0);   // -0.9375
    EXPECT_EQ(InputEmulator::turnAmount(180.0f, 1.0f), 324);
    EXPECT_EQ(InputEmulator::turnAmount(-180.0f, 1.0f), -324);
    EXPECT_EQ(InputEmulator::turnAmount(30.0f, 0.0f), 0);
}

TEST(InputEmulatorTurn, AmountIsComputedInDouble) {
    // In double this is 6.99999996; single precision would round it to 7.
    EXPECT_EQ(InputEmulator::turnAmount(68.3130035f, 0.15f), 6);
    // 21.00000033 in double, 20.99999 in single.
    EXPECT_EQ(InputEmulator::turnAmount(118.321594f, 0.15f), 21);
}

TEST(InputEmulatorTurn, AmountOfValuesOutsideTheSettingsRangesStaysDefined) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(InputEmulator::turnAmount(kInf, 0.15f), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(InputEmulator::turnAmount(-kInf, 0.15f), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(InputEmulator::turnAmount(1e30f, 1.0f), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(InputEmulator::turnAmount(30.0f, kNaN), 0);
    EXPECT_EQ(InputEmulator::turnAmount(kInf, 0.0f), 0);  // inf * 0 is NaN
}

TEST_F(InputEmulatorTest, TurnOfZeroIsStillSent) {
    state.moveMode = 1;
    const Events events = stepAt(-25.0f);
    EXPECT_THAT(events, ElementsAre("button down", "turn 0"));
}

// ---- The records handed to the injector -------------------------------------

// Front and left pressed, then left let go and right pressed, then all let go: the records of the
// front key's press and of the left and right keys' releases carry the key, its scan code and the
// scan-code stroke flag (with the extended mark where the key has one), never the character-typing
// flag.
TEST_F(InputEmulatorTest, KeyRecordsCarryScanCodesAndScanCodeStrokeFlags) {
    using Record = std::tuple<int, int, unsigned>;
    const auto records = [&] {
        emulator.prepare(state);
        stepKeepingRecords(-15.0f);
        stepKeepingRecords(15.0f);
        emulator.releaseAll();
        std::vector<Record> kept;
        for (const auto& e : injector.events) {
            EXPECT_EQ(e.key.flags & platform::kKeyEventUnicode, 0u);
            kept.emplace_back(e.key.virtualKey, e.key.scanCode, e.key.flags);
        }
        injector.events.clear();
        return kept.size() == 6 ? std::vector<Record>{kept[0], kept[2], kept[5]} : kept;
    };
    EXPECT_THAT(records(),
                ElementsAre(Record{'W', 0x11, 8u}, Record{'A', 0x1E, 10u}, Record{'D', 0x20, 10u}));
    EXPECT_THAT(injector.scanCodeQueries, ElementsAre(87, 65, 68, 87, 65, 68));
    using namespace platform::vk;
    state.moveFrontKeyCode = kUp;
    state.moveLeftKeyCode = kLeft;
    state.moveRightKeyCode = kNumpad0 + 6;  // shares the scan code of the right arrow
    EXPECT_THAT(records(), ElementsAre(Record{kUp, 0x48, 9u}, Record{kLeft, 0x4B, 11u},
                                       Record{kNumpad0 + 6, 0x4D, 10u}));
}

TEST_F(InputEmulatorTest, MouseRecordsAreAButtonPressAndARelativeMove) {
    state.moveMode = 1;
    stepKeepingRecords(45.0f);
    ASSERT_EQ(injector.events.size(), 2u);
    const platform::MouseRecord& button = injector.events[0].mouse;
    EXPECT_FALSE(injector.events[0].isKey);
    EXPECT_EQ(button.flags, 2u);
    EXPECT_EQ(button.dx, 0);
    EXPECT_EQ(button.dy, 0);
    const platform::MouseRecord& move = injector.events[1].mouse;
    EXPECT_FALSE(injector.events[1].isKey);
    EXPECT_EQ(move.flags, 1u);
    EXPECT_EQ(move.dx, 3);
    EXPECT_EQ(move.dy, 0);
    injector.events.clear();
    stepKeepingRecords(0.0f);
    ASSERT_FALSE(injector.events.empty());
    const platform::MouseRecord& up = injector.events[0].mouse;
    EXPECT_FALSE(injector.events[0].isKey);
    EXPECT_EQ(up.flags, 4u);
    EXPECT_EQ(up.dx, 0);
    EXPECT_EQ(up.dy, 0);
}

TEST_F(InputEmulatorTest, KeyCodesAreUsedByTheirLow16Bits) {
    // 0x10057 keeps 0x57 as its virtual key; the scan code is asked for the
    // whole value and has none, so that key goes out by its virtual-key code.
    state.moveFrontKeyCode = 0x10057;
    injector.scanCodeOverrides[0x10057] = 0;
    injector.scanCodeOverrides[65] = 0x1234;  // whatever the layout says is used
    emulator.prepare(state);
    stepKeepingRecords(-15.0f);
    ASSERT_EQ(injector.events.size(), 2u);
    EXPECT_EQ(injector.events[0].key.virtualKey, 0x57);
    EXPECT_EQ(injector.events[0].key.scanCode, 0);
    EXPECT_EQ(injector.events[0].key.flags, 0u);
    EXPECT_EQ(injector.events[1].key.virtualKey, 65);
    EXPECT_EQ(injector.events[1].key.scanCode, 0x1234);
    EXPECT_EQ(injector.events[1].key.flags, 8u);
    injector.events.clear();
    state.walking = 0;
    emulator.step(state);
    ASSERT_EQ(injector.events.size(), 2u);
    EXPECT_EQ(injector.events[0].key.flags, 2u);  // virtual-key release
    EXPECT_EQ(injector.events[1].key.flags, 10u);
}

}  // namespace
