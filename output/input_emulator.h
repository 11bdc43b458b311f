// InputEmulator: in desktop mode, turns the walking results of each analysis
// pass into key strokes (forward, left, right) and sideways mouse turns, and
// lets go of every key and of the button when their use ends.
#pragma once

#include "analysis/walk_state.h"
#include "platform/input_injector.h"

class InputEmulator {
  public:
    // The injector must outlive the emulator.
    explicit InputEmulator(platform::InputInjector& injector) : injector_(injector) {}

    // Builds the three key records from the key-code settings and clears the
    // held flags. Key codes changed afterwards take effect at the next prepare.
    void prepare(const WalkState& state);

    // One emulation step on the results the analysis pass has just written:
    // sends zero to five events, plus the releases of what is held when
    // desktop mode was left or the move mode changed since the last step, and
    // the button's release on the first step that no longer turns.
    void step(const WalkState& state);

    // Releases the button and then each key that is held (front, left,
    // right); sends nothing for what is not held. For the end of the program.
    void releaseAll();

    // The mouse move of a turn for angle a: |a| * 0.01 * a * rotationSpeed in
    // double, truncated toward zero (saturated at the int range, 0 for NaN).
    static std::int32_t turnAmount(float angle, float rotationSpeed);

    platform::KeyRecord frontKey;
    platform::KeyRecord leftKey;
    platform::KeyRecord rightKey;
    // Set when a press of the key was sent, cleared when a release was sent.
    bool frontHeld = false;
    bool leftHeld = false;
    bool rightHeld = false;
    // Set while the left button of a turning drag is down.
    bool buttonHeld = false;

  private:
    void press(platform::KeyRecord& key, bool& held);
    void release(platform::KeyRecord& key, bool& held);
    void buttonDown();
    void buttonUp();
    void turn(std::int32_t dx);

    platform::InputInjector& injector_;
    // The move mode of the last step, to notice a change.
    std::int32_t lastMoveMode_ = 0;
};
