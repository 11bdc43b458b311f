// The walk analysis pass: from the eight raw loads to tared and normalised
// loads, group averages and their windows, the direction vector and angle,
// walking, steps, the cadence and automatic calibration. Every step keeps the single or
// double precision it is defined with, because later steps compare results
// exactly (change averages against 0.0, the counter difference against 1.0).
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <limits>
#include <type_traits>

#include "analysis/walk_state.h"

namespace {

constexpr double kDegreesToRadians = 0.017453292519944444;  // 3.14159265359 / 180
constexpr double kPi = 3.14159265359;

// cos and sin of the upper sensors' bearings (45, 75, 105, 135 degrees),
// each bearing rounded to a float radian first, each result to a float.
struct Bearings {
    float cosine[4];
    float sine[4];
    Bearings() {
        for (int k = 0; k < 4; ++k) {
            const float r = static_cast<float>((30 * k + 45) * kDegreesToRadians);
            cosine[k] = static_cast<float>(std::cos(static_cast<double>(r)));
            sine[k] = static_cast<float>(std::sin(static_cast<double>(r)));
        }
    }
};
const Bearings kBearings;

// The current value plus the history from newest to oldest, in that order.
template <int N>
float windowSum(float current, const float (&history)[N]) {
    float sum = current;
    for (int k = 0; k < N; ++k) sum += history[k];
    return sum;
}

template <int N>
void clear(float (&values)[N]) {
    std::fill(std::begin(values), std::end(values), 0.0f);
}

template <int N>
void advance(float (&history)[N], float current) {
    std::memmove(&history[1], &history[0], (N - 1) * sizeof(float));
    history[0] = current;
}

bool isNaN(float v) {
    return v != v;
}

// A finite load over its maximum, scaled so that the maximum reads 5.0. A maximum that
// cannot scale a finite load (0, one so small that the quotient overflows, or one that is
// not a number) gives 0 until a usable maximum exists, so that no output turns infinite or
// NaN because of it. A load that is itself not finite goes through unchanged.
float normalised(float load, float maximum) {
    const float n = (load / maximum) * 5.0f;
    if (!std::isfinite(n) && std::isfinite(load)) return 0.0f;
    return n;
}

// One side of the step detector: arm on a rise above the moving average by
// 0.1, count when the value falls back below the moving average. The count
// only grows: one loaded at the top of the int range stays there.
void detectStep(float value, float movingAverage, std::uint8_t& armed, std::int32_t& numStep) {
    if (static_cast<double>(value) > static_cast<double>(movingAverage) + 0.1) {
        armed = 1;
    } else if (armed == 1 && value < movingAverage) {
        if (numStep < std::numeric_limits<std::int32_t>::max()) ++numStep;
        armed = 0;
    }
}

// The frames by which a pass moves the cadence's clock on: the counter's move when it went up by
// a whole 1 to 16 (frames lost on the way), one for any other move (a wrap, a restart, a
// fraction, NaN), none for the same frame again.
std::int32_t newFrames(float d) {
    if (d >= 1.0f && d <= 16.0f) return static_cast<std::int32_t>(d);
    return d == 0.0f ? 0 : 1;
}

// The cadence after a pass that moved the clock by `frames` and counted a step or not. Steps
// counted on the same frame are one for the timing. In double, rounded to float once.
void updateCadence(WalkState& s, std::int32_t frames, bool stepped) {
    if (frames == 0 && !stepped) return;
    if (s.stepAge > 0) s.stepAge += frames;
    if (stepped) {
        const std::int32_t interval = s.stepAge - 1;
        if (s.stepAge == 0 || interval > WalkState::kCadenceForgetFrames) {
            // The first step of a walk: the interval up to the next one is not timed.
            s.stepIntervals[0] = -1;
            s.stepIntervals[1] = 0;
        } else if (interval > 0 && s.stepIntervals[0] < 0) {
            s.stepIntervals[0] = 0;
        } else if (interval > 0) {
            s.stepIntervals[1] = s.stepIntervals[0];
            s.stepIntervals[0] = interval;
        }
        s.stepAge = 1;
    }
    const std::int32_t since = s.stepAge - 1;
    const std::int32_t sum = std::max(s.stepIntervals[0], 0) + s.stepIntervals[1];
    if (since > WalkState::kCadenceForgetFrames) {
        s.stepAge = s.stepIntervals[0] = s.stepIntervals[1] = 0;
        s.cadence = 0.0f;
    } else if (sum == 0 || s.stepAge == 0) {
        s.cadence = 0.0f;
    } else {
        const std::int32_t known = (s.stepIntervals[0] > 0) + (s.stepIntervals[1] > 0);
        // Past 1.5 mean intervals without a step the cadence falls as 1 / time, from where it
        // stood: 6000 * 1.5 / since.
        s.cadence = 2 * since * known > 3 * sum ? static_cast<float>(9000.0 / since)
                                                : static_cast<float>(6000.0 * known / sum);
    }
}

}  // namespace

void WalkState::analyze(const FrameReadings& frame, float (&tare)[8], bool connected) {
    // Tared loads: clamped at zero (NaN stays), normalised to 5.0 at loadMax.
    float n[8];
    for (int i = 0; i < 8; ++i) {
        float t = frame.rawLoad[i] - tare[i];
        if (!(t > 0.0f) && !isNaN(t)) t = 0.0f;
        taredLoad[i] = t;
        n[i] = normalised(t, loadMax[i]);
    }

    // Group values; each side is rescaled against a heavier upper group.
    upperAverage = (((n[0] + n[2]) + n[4]) + n[6]) * 0.25f;
    leftAverage = (n[1] + n[3]) * 0.5f;
    rightAverage = (n[5] + n[7]) * 0.5f;
    if (upperAverage > leftAverage) {
        leftAverage = static_cast<float>(static_cast<double>(leftAverage) /
                                         (static_cast<double>(upperAverage) * 5.0));
    }
    if (upperAverage > rightAverage) {
        rightAverage = static_cast<float>(static_cast<double>(rightAverage) /
                                          (static_cast<double>(upperAverage) * 5.0));
    }
    lowerAverage = (leftAverage + rightAverage) * 0.5f;

    // Moving averages over the 9-long windows.
    leftMovingAverage = windowSum(leftAverage, leftHistory) / 9.0f;
    rightMovingAverage = windowSum(rightAverage, rightHistory) / 9.0f;
    lowerMovingAverage = windowSum(lowerAverage, lowerHistory) / 9.0f;

    // Changes against the previous frame and their 31-long averages.
    upperChange = upperAverage - previousUpperAverage;
    lowerChange = lowerAverage - lowerHistory[0];
    upperChangeAverage = windowSum(upperChange, upperChangeHistory) / 31.0f;
    lowerChangeAverage = windowSum(lowerChange, lowerChangeHistory) / 31.0f;

    // Direction vector from the tared upper loads, sensor 6 first.
    float x = 0.0f;
    float y = 0.0f;
    for (int k = 3; k >= 0; --k) {
        const float load = taredLoad[2 * k];
        x = x - kBearings.cosine[k] * load;
        y = kBearings.sine[k] * load + y;
    }
    directionX = x;
    directionY = y;

    // Angle in degrees, 0 along +y, positive towards +x.
    if (static_cast<double>(upperAverage) < 0.05) {
        angle = 0.0f;
    } else {
        angle = static_cast<float>(
            std::atan2(static_cast<double>(directionX), static_cast<double>(directionY)) / kPi *
            180.0);
    }

    // Walking, and the step detector while walking (left side first).
    const std::int32_t stepsBefore = numStep;
    if (lowerMovingAverage > walkFThreshold && static_cast<double>(upperAverage) > 0.05) {
        walking = 1;
        detectStep(leftAverage, leftMovingAverage, leftStepArmed, numStep);
        detectStep(rightAverage, rightMovingAverage, rightStepArmed, numStep);
    } else {
        walking = 0;
    }

    // Window advance: only when the frame counter moved by exactly one.
    const float d = frame.tick - lastTick;
    if (std::fabs(d) == 1.0f) {
        previousUpperAverage = upperAverage;
        advance(upperChangeHistory, upperChange);
        advance(lowerHistory, lowerAverage);
        advance(lowerChangeHistory, lowerChange);
        advance(leftHistory, leftAverage);
        advance(rightHistory, rightAverage);
    }

    if (autoCalibration == 1) {
        // Automatic re-tare at rest, from this frame's raw loads.
        if (walking == 0 && upperChangeAverage == 0.0f && lowerChangeAverage == 0.0f && connected) {
            for (int i = 0; i < 8; ++i) tare[i] = frame.rawLoad[i];
        }
        // Automatic maximum: each maximum follows the largest finite tared load seen; one that is
        // not finite itself gives way to any positive load.
        for (int i = 0; i < 8; ++i) {
            const float t = taredLoad[i];
            const bool usable = std::isfinite(loadMax[i]);
            if (std::isfinite(t) && (t > loadMax[i] || (!usable && t > 0.0f))) {
                loadMax[i] = t;
            }
        }
    }

    updateCadence(*this, newFrames(d), numStep != stepsBefore);

    // The counter this pass saw, for the next window advance.
    lastTick = frame.tick;
}

static_assert(std::is_standard_layout_v<WalkState> && std::is_trivially_copyable_v<WalkState>);

void WalkState::resume(const WalkState& before) {
    const std::int32_t steps = numStep;
    // The results block runs from taredLoad to the end of the record.
    constexpr std::size_t kResults = offsetof(WalkState, taredLoad);
    std::memcpy(reinterpret_cast<unsigned char*>(this) + kResults,
                reinterpret_cast<const unsigned char*>(&before) + kResults,
                sizeof(WalkState) - kResults);
    numStep = steps;
}

void WalkState::rest(float tick) {
    clear(taredLoad);
    upperAverage = previousUpperAverage = upperChange = upperChangeAverage = 0.0f;
    clear(upperChangeHistory);
    lowerAverage = lowerMovingAverage = lowerChange = lowerChangeAverage = 0.0f;
    clear(lowerHistory);
    clear(lowerChangeHistory);
    leftAverage = leftMovingAverage = rightAverage = rightMovingAverage = 0.0f;
    clear(leftHistory);
    clear(rightHistory);
    directionX = directionY = angle = 0.0f;
    walking = 0;
    leftStepArmed = rightStepArmed = 0;
    cadence = 0.0f;
    stepAge = stepIntervals[0] = stepIntervals[1] = 0;
    lastTick = tick;
}
