// The walk's axes from the angle band, the speeds and the speed curve over the cadence.
#include "output/walk_axes.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "analysis/walk_state.h"
#include "output/walk_row.h"

namespace {

constexpr std::int32_t kSideStepMode = 0;
constexpr std::int32_t kTurnMode = 1;

// A game reads [-1, 1]; the speeds are kept in [0, 1] by the settings, this only guards the
// outputs. -0 and NaN become +0.
float axis(float value) {
    if (std::isnan(value) || value == 0.0f) return 0.0f;
    return std::clamp(value, -1.0f, 1.0f);
}

}  // namespace

float forwardSpeedOf(const WalkState& state) {
    if (state.cadenceSpeed != 1) return state.walkSpeedFB;
    const double cadence = state.cadence;
    const double walk = state.walkCadence;
    const double run = state.runCadence;
    const double base = state.walkSpeedFB;
    const double top = state.runSpeed;
    double speed = base;
    if (cadence <= walk) {
        speed = base;
    } else if (cadence >= run) {
        speed = top;
    } else {
        speed = base + (top - base) * ((cadence - walk) / (run - walk));
    }
    // walkSpeedFB is the floor: a slow walker, or a runSpeed below it, is never slower.
    return speed > base ? static_cast<float>(speed) : state.walkSpeedFB;
}

WalkAxes walkAxesOf(const WalkState& state) {
    WalkAxes axes;
    if (state.walking <= 0) return axes;
    if (state.moveMode != kSideStepMode && state.moveMode != kTurnMode) return axes;
    const bool turning = state.moveMode == kTurnMode;
    const float forward = forwardSpeedOf(state);
    // The sideways speed by the forward speed's factor: exactly walkSpeedLR when the forward
    // speed is walkSpeedFB (a product of two floats is exact in double).
    const float side = forward == state.walkSpeedFB || !(state.walkSpeedFB > 0.0f)
                           ? state.walkSpeedLR
                           : static_cast<float>(static_cast<double>(state.walkSpeedLR) * forward /
                                                state.walkSpeedFB);
    switch (walkRowOf(state)) {
        case WalkRow::SidewaysLeft:
            if (turning) {
                axes.lookHorizontal = -state.rotationSpeed;
            } else {
                axes.horizontal = -side;
            }
            break;
        case WalkRow::SidewaysRight:
            if (turning) {
                axes.lookHorizontal = state.rotationSpeed;
            } else {
                axes.horizontal = side;
            }
            break;
        case WalkRow::FrontLeft:
            axes.vertical = forward;
            axes.horizontal = -side;
            break;
        case WalkRow::FrontRight:
            axes.vertical = forward;
            axes.horizontal = side;
            break;
        case WalkRow::Straight:
            axes.vertical = forward;
            break;
    }
    return {axis(axes.vertical), axis(axes.horizontal), axis(axes.lookHorizontal)};
}
