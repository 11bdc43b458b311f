// The angle band of a walking pass.
#include "output/walk_row.h"

#include "analysis/walk_state.h"

WalkRow walkRowOf(const WalkState& state) {
    const float a = state.angle;
    if (a < state.thresholdL) return WalkRow::SidewaysLeft;
    if (a > state.thresholdR) return WalkRow::SidewaysRight;
    if (a < state.thresholdFL) return WalkRow::FrontLeft;
    if (a > state.thresholdFR) return WalkRow::FrontRight;
    return WalkRow::Straight;
}
