// InputEmulator: in desktop mode, turns the walking results of each analysis
// pass into key strokes (forward, left, right, and a run key held with the
// forward key at a running cadence) and sideways mouse turns, and
// lets go of every key and of the button when their use ends.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <utility>

#include "analysis/walk_state.h"
#include "platform/input_injector.h"

class InputEmulator {
  public:
    using Clock = std::chrono::steady_clock;
    // A held key's press is sent again at this pace, as a held physical key
    // repeats (about 30 times a second), not at every pass.
    static constexpr Clock::duration kRepeatPeriod = std::chrono::microseconds(33'333);

    // The injector must outlive the emulator. `now` tells the time of each
    // step, for the repeats of held keys.
    explicit InputEmulator(platform::InputInjector& injector,
                           std::function<Clock::time_point()> now = Clock::now)
        : injector_(injector), now_(std::move(now)) {}

    // Releases what the emulation holds (as releaseAll), then builds the
    // three key records from the key-code settings. Key codes changed
    // afterwards (a settings file loaded) are prepared by the next step.
    void prepare(const WalkState& state);

    // One emulation step on the results the analysis pass has just written.
    // A key of the pass's row is pressed when it is not held, and pressed
    // again once a repeat is due; a key the row lets go of is released only
    // when the emulation holds it. A row that presses one side key lets go of
    // the other first, so that left and right are never held together. The
    // button goes down once at the start of a turn and up on the first step
    // that no longer turns; each turning step moves the mouse. The run key (runKeyCode, when not 0)
    // goes down with the front key while the cadence is at runCadence or above, and is let go once
    // either ends. Leaving desktop mode or changing the move mode releases what is held first.
    void step(const WalkState& state);

    // Releases the button and then each key that is held (front, left,
    // right, run); sends nothing for what is not held. For the end of the program.
    void releaseAll();

    // The mouse move of a turn for angle a: |a| * 0.01 * a * rotationSpeed in
    // double, truncated toward zero (saturated at the int range, 0 for NaN).
    static std::int32_t turnAmount(float angle, float rotationSpeed);

    platform::KeyRecord frontKey;
    platform::KeyRecord leftKey;
    platform::KeyRecord rightKey;
    platform::KeyRecord runKey;
    // Set when a press of the key was sent, cleared when a release was sent.
    bool frontHeld = false;
    bool leftHeld = false;
    bool rightHeld = false;
    bool runHeld = false;
    // Set while the left button of a turning drag is down.
    bool buttonHeld = false;

  private:
    // Presses the key when it is not held, or again when its repeat is due.
    void press(platform::KeyRecord& key, bool& held, Clock::time_point& nextRepeat,
               Clock::time_point now);
    void release(platform::KeyRecord& key, bool& held);
    void send(platform::KeyRecord& key, std::uint32_t upFlag);
    void buttonDown();
    void buttonUp();
    void turn(std::int32_t dx);

    platform::InputInjector& injector_;
    std::function<Clock::time_point()> now_;
    // When each held key's next repeat is due.
    Clock::time_point frontRepeat_{};
    Clock::time_point leftRepeat_{};
    Clock::time_point rightRepeat_{};
    Clock::time_point runRepeat_{};
    // The move mode of the last step, to notice a change.
    std::int32_t lastMoveMode_ = 0;
    // The key-code settings the records were built from (front, left, right, run).
    std::array<std::int32_t, 4> keyCodes_{};
};
