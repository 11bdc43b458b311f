// WalkState: the process-wide record of the user's settings and of every
// result of the walk analysis, plus the analysis pass itself.
#pragma once

#include <cstdint>

// What one pass analyses: the eight raw loads and the frame counter of one frame of the platform.
struct FrameReadings {
    float rawLoad[8];
    float tick;
};

struct WalkState {
    // ---- Settings block (named after their settings-file keys) ----
    std::int32_t comID;
    std::int32_t autoCalibration;  // exactly 1 turns automatic calibration on
    float walkFThreshold;
    float thresholdFL;
    float thresholdFR;
    float thresholdL;
    float thresholdR;
    float walkSpeedFB;
    float walkSpeedLR;
    float rotationSpeed;
    std::int32_t appMode;   // 0 VR, 1 desktop (key emulation)
    std::int32_t moveMode;  // 0 forward and side-step, 1 forward and turn
    std::int32_t moveFrontKeyCode;
    std::int32_t moveLeftKeyCode;
    std::int32_t moveRightKeyCode;
    std::int32_t runKeyCode;  // held with the front key at runCadence and above; 0: none
    float loadMax[8];
    // The OSC output (section [osc] of the settings file).
    static constexpr int kHostTextSize = 16;  // "255.255.255.255" and its NUL
    std::int32_t oscEnabled;                  // 1 sends, 0 does not
    char oscHost[kHostTextSize];              // IPv4 destination, dotted decimal
    std::int32_t oscPort;                     // destination port, 1 to 65535
    // The OpenXR layer's block (section [openxr]): 1 publishes the walk, 0 does not.
    std::int32_t xrEnabled;
    // Speed from the step rate (section [walk]): 1 lets the cadence raise the analog outputs'
    // speeds from walkSpeedFB at walkCadence to runSpeed at runCadence (steps per minute).
    std::int32_t cadenceSpeed;
    float walkCadence;
    float runCadence;
    float runSpeed;

    // ---- Results block ----
    float taredLoad[8];
    std::int32_t walking;
    std::int32_t numStep;
    std::uint8_t leftStepArmed;
    std::uint8_t rightStepArmed;
    float upperAverage;
    float previousUpperAverage;
    float upperChange;
    float upperChangeHistory[30];
    float upperChangeAverage;
    float lowerAverage;
    float lowerHistory[8];
    float lowerMovingAverage;
    float leftMovingAverage;
    float rightMovingAverage;
    float lowerChange;
    float lowerChangeHistory[30];
    float lowerChangeAverage;
    float leftAverage;
    float leftHistory[8];
    float rightAverage;
    float rightHistory[8];
    float directionX;
    float directionY;
    float angle;
    float lastTick;
    // Steps per minute, from the counted steps: 6000 over the mean of the last two intervals
    // between steps (the platform sends 100 frames a second), falling as 1 / time once no
    // step came for 1.5 mean intervals, 0 with no interval known. The interval after the first
    // step of a walk (from a standstill, often short or long) is not used.
    float cadence;
    // Frames since the latest counted step plus one; 0 while none is known (at the start,
    // after a rest, after a pause of more than kCadenceForgetFrames).
    std::int32_t stepAge;
    // The last two intervals between counted steps in frames, newest first; 0 where none, -1
    // (newest) between the first step of a walk and the next.
    std::int32_t stepIntervals[2];
    // A pause between steps longer than this (3 s) starts the cadence afresh.
    static constexpr std::int32_t kCadenceForgetFrames = 300;

    // The one record, created all-zero on first use and never freed.
    static WalkState& instance();

    // One analysis pass over a frame, against the sensor link's tare. With automatic calibration
    // on, a frame at rest becomes the new tare while the link is `connected`.
    void analyze(const FrameReadings& frame, float (&tare)[8], bool connected);

    // The pass while the platform delivers no frames: the results of a platform that has
    // been empty for a while. Every result, window, step flag and the cadence is 0 (so nobody
    // walks, and frames that come back start the windows afresh instead of from stale walking); the
    // tare, the maxima and the step count stay as they are. `tick` is the counter of the latest
    // frame, from which the windows advance again.
    void rest(float tick);

    // Takes back the results, windows and step flags of `before`, a copy of this record made
    // before rest(), for frames that continue the stream without a gap. The settings and the
    // step count stay as they are now.
    void resume(const WalkState& before);
};
