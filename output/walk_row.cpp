// The angle band of a walking pass.
#include "output/walk_row.h"

#include "analysis/walk_state.h"

WalkRow walkRowOf(float a, const WalkThresholds& t) {
    if (a < t.left) return WalkRow::SidewaysLeft;
    if (a > t.right) return WalkRow::SidewaysRight;
    if (a < t.frontLeft) return WalkRow::FrontLeft;
    if (a > t.frontRight) return WalkRow::FrontRight;
    return WalkRow::Straight;
}

WalkThresholds walkThresholdsOf(const WalkState& state) {
    return {state.thresholdL, state.thresholdFL, state.thresholdFR, state.thresholdR};
}

WalkRow walkRowOf(const WalkState& state) {
    return walkRowOf(state.angle, walkThresholdsOf(state));
}
