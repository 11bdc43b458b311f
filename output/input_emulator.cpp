// InputEmulator: picks the angle band of each walking pass and sends the key
// presses, key releases, button press and turn moves that belong to it, each
// key pressed once and repeated at a held key's pace, released once.
#include "output/input_emulator.h"

#include <cmath>
#include <limits>

#include "output/walk_row.h"
#include "platform/virtual_keys.h"

namespace {

constexpr std::int32_t kDesktopMode = 1;
constexpr std::int32_t kSideStepMode = 0;
constexpr std::int32_t kTurnMode = 1;

// Key strokes name the physical key by its scan code, so that applications
// reading scan codes (most games) see the key itself. A code without a scan
// code can only be sent by its virtual-key code.
std::uint32_t strokeFlags(const platform::KeyRecord& key) {
    if (key.scanCode == 0) return 0;
    std::uint32_t flags = platform::kKeyEventScanCode;
    if (platform::vk::isExtendedKey(key.virtualKey)) flags |= platform::kKeyEventExtendedKey;
    return flags;
}

platform::KeyRecord makeKeyRecord(platform::InputInjector& injector, std::int32_t keyCode) {
    platform::KeyRecord key;
    key.virtualKey = static_cast<std::uint16_t>(keyCode);
    key.scanCode = injector.scanCodeFor(keyCode);
    key.flags = 0;
    return key;
}

std::array<std::int32_t, 4> keyCodesOf(const WalkState& state) {
    return {state.moveFrontKeyCode, state.moveLeftKeyCode, state.moveRightKeyCode,
            state.runKeyCode};
}

}  // namespace

void InputEmulator::prepare(const WalkState& state) {
    // What the old records hold goes up first: with new codes it could never be let go of.
    releaseAll();
    frontKey = makeKeyRecord(injector_, state.moveFrontKeyCode);
    leftKey = makeKeyRecord(injector_, state.moveLeftKeyCode);
    rightKey = makeKeyRecord(injector_, state.moveRightKeyCode);
    runKey = state.runKeyCode != 0 ? makeKeyRecord(injector_, state.runKeyCode) : runKey;
    keyCodes_ = keyCodesOf(state);
    lastMoveMode_ = state.moveMode;
}

void InputEmulator::releaseAll() {
    if (buttonHeld) buttonUp();
    release(frontKey, frontHeld);
    release(leftKey, leftHeld);
    release(rightKey, rightHeld);
    release(runKey, runHeld);
}

void InputEmulator::step(const WalkState& state) {
    // Keys of a settings file loaded meanwhile: the old ones let go of, the new ones from now.
    if (keyCodesOf(state) != keyCodes_) prepare(state);
    // Outside desktop mode nothing may stay held, and a new move mode starts
    // from nothing held: the keys of the old one would otherwise stay down in
    // the application.
    if (state.appMode != kDesktopMode || state.moveMode != lastMoveMode_) releaseAll();
    lastMoveMode_ = state.moveMode;
    if (state.appMode != kDesktopMode) return;
    if (state.moveMode != kSideStepMode && state.moveMode != kTurnMode) return;

    const bool walking = state.walking > 0;
    const bool turning = state.moveMode == kTurnMode;
    const WalkRow row = walkRowOf(state);
    // The turning drag ends like a person ends it: the button goes up on the
    // first step that does not turn.
    if (buttonHeld && !(walking && turning && isSideways(row))) buttonUp();

    if (!walking) {
        // The keys still held, front, left, right (the button is up by now).
        releaseAll();
        return;
    }

    const Clock::time_point now = now_();
    switch (row) {
        case WalkRow::SidewaysLeft:
        case WalkRow::SidewaysRight:
            release(frontKey, frontHeld);
            if (turning) {
                release(leftKey, leftHeld);
                release(rightKey, rightHeld);
                if (!buttonHeld) buttonDown();
                turn(turnAmount(state.angle, state.rotationSpeed));
            } else if (row == WalkRow::SidewaysLeft) {
                release(rightKey, rightHeld);
                press(leftKey, leftHeld, leftRepeat_, now);
            } else {
                release(leftKey, leftHeld);
                press(rightKey, rightHeld, rightRepeat_, now);
            }
            break;
        case WalkRow::FrontLeft:
            release(rightKey, rightHeld);
            press(frontKey, frontHeld, frontRepeat_, now);
            press(leftKey, leftHeld, leftRepeat_, now);
            break;
        case WalkRow::FrontRight:
            release(leftKey, leftHeld);
            press(frontKey, frontHeld, frontRepeat_, now);
            press(rightKey, rightHeld, rightRepeat_, now);
            break;
        case WalkRow::Straight:
            press(frontKey, frontHeld, frontRepeat_, now);
            release(leftKey, leftHeld);
            release(rightKey, rightHeld);
            break;
    }
    // Running: the run key with the front key, at a cadence of runCadence and above.
    if (frontHeld && state.runKeyCode != 0 && state.cadence >= state.runCadence) {
        press(runKey, runHeld, runRepeat_, now);
    } else {
        release(runKey, runHeld);
    }
}

std::int32_t InputEmulator::turnAmount(float angle, float rotationSpeed) {
    const double a = angle;
    const double s = a > 0 ? a * 0.01 : a * -0.01;
    const double dx = std::trunc(s * a * static_cast<double>(rotationSpeed));
    // Only out-of-range records get here with values an int cannot hold.
    if (std::isnan(dx)) return 0;
    if (dx >= static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (dx <= static_cast<double>(std::numeric_limits<std::int32_t>::min())) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(dx);
}

void InputEmulator::press(platform::KeyRecord& key, bool& held, Clock::time_point& nextRepeat,
                          Clock::time_point now) {
    if (held && now < nextRepeat) return;
    // Repeats keep their pace on average; after a late pass the next one
    // is a whole period away rather than owed at once.
    nextRepeat = held ? nextRepeat + kRepeatPeriod : now + kRepeatPeriod;
    if (nextRepeat <= now) nextRepeat = now + kRepeatPeriod;
    send(key, 0);
    held = true;
}

void InputEmulator::release(platform::KeyRecord& key, bool& held) {
    // A key the emulation did not press may be held by the user's own hand.
    if (!held) return;
    send(key, platform::kKeyEventKeyUp);
    held = false;
}

void InputEmulator::send(platform::KeyRecord& key, std::uint32_t upFlag) {
    key.flags = strokeFlags(key) | upFlag;
    injector_.sendKey(key);
}

void InputEmulator::buttonDown() {
    platform::MouseRecord mouse;
    mouse.flags = platform::kMouseEventLeftDown;
    injector_.sendMouse(mouse);
    buttonHeld = true;
}

void InputEmulator::buttonUp() {
    platform::MouseRecord mouse;
    mouse.flags = platform::kMouseEventLeftUp;
    injector_.sendMouse(mouse);
    buttonHeld = false;
}

void InputEmulator::turn(std::int32_t dx) {
    platform::MouseRecord mouse;
    mouse.dx = dx;
    mouse.flags = platform::kMouseEventMove;
    injector_.sendMouse(mouse);
}
