// The walk's axes from the angle band and the speeds.
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

WalkAxes walkAxesOf(const WalkState& state) {
    WalkAxes axes;
    if (state.walking <= 0) return axes;
    if (state.moveMode != kSideStepMode && state.moveMode != kTurnMode) return axes;
    const bool turning = state.moveMode == kTurnMode;
    const float forward = state.walkSpeedFB;
    const float side = state.walkSpeedLR;
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
