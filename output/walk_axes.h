// The walk as three analog axes in [-1, 1]: forward, sideways and turning. The OSC output sends
// them and the block the OpenXR layer reads carries them, so the outputs never disagree.
#pragma once

struct WalkState;

// +1 walks forward at full speed, moves right, turns right.
struct WalkAxes {
    float vertical = 0.0f;
    float horizontal = 0.0f;
    float lookHorizontal = 0.0f;
    bool operator==(const WalkAxes&) const = default;
};

// The axes for the results the analysis has just written, by the angle bands of the key
// emulation and with the speeds set in the window: not walking, or a move mode other than 0
// and 1, gives 0, 0, 0. Sideways: horizontal -+walkSpeedLR (move mode 0) or lookHorizontal
// -+rotationSpeed (move mode 1); diagonally forward: vertical walkSpeedFB and horizontal
// -+walkSpeedLR; straight ahead: vertical walkSpeedFB. With cadenceSpeed 1 the forward speed is
// forwardSpeedOf's and the sideways speed scales by the same factor; the turn keeps its speed.
// The application mode plays no part. Every value lies in [-1, 1] and zero is +0.
WalkAxes walkAxesOf(const WalkState& state);

// The forward speed at the state's cadence. With cadenceSpeed other than 1, walkSpeedFB. Else
// walkSpeedFB up to walkCadence, rising linearly to runSpeed at runCadence, runSpeed above it
// (a runCadence at or below walkCadence: runSpeed above walkCadence); never below walkSpeedFB.
// In double, rounded to float.
float forwardSpeedOf(const WalkState& state);
