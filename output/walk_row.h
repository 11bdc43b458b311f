// The band of the walking angle that decides what the outputs do: sideways (or turning) left or
// right, diagonally forward left or right, or straight ahead. Shared by the key emulation, the
// OSC output and the graph window so that all read the thresholds alike.
#pragma once

struct WalkState;

enum class WalkRow {
    SidewaysLeft,   // angle below thresholdL
    SidewaysRight,  // angle above thresholdR
    FrontLeft,      // angle below thresholdFL
    FrontRight,     // angle above thresholdFR
    Straight,       // any other angle, NaN included
};

// The four angle thresholds that bound the bands, from left to right.
struct WalkThresholds {
    float left;        // thresholdL
    float frontLeft;   // thresholdFL
    float frontRight;  // thresholdFR
    float right;       // thresholdR
};
WalkThresholds walkThresholdsOf(const WalkState& state);

// The first band whose condition holds, in the order above; every comparison is strict, so an
// angle equal to a threshold belongs to the next band.
WalkRow walkRowOf(float angle, const WalkThresholds& thresholds);
// The band of the state's angle under its thresholds.
WalkRow walkRowOf(const WalkState& state);

constexpr bool isSideways(WalkRow row) {
    return row == WalkRow::SidewaysLeft || row == WalkRow::SidewaysRight;
}
