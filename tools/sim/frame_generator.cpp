// Scenario poses and frame formatting of the platform simulator.
#include "tools/sim/frame_generator.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// Fixed per-sensor deviations from the baseline: a real platform's sensors
// never read exactly alike when it is empty.
constexpr double kBaselineOffset[8] = {0.00, 0.12, -0.08, 0.05, 0.15, -0.04, 0.09, -0.11};

// Time over which the user steps on, and over which one segment of a sequence
// blends into the next.
constexpr double kFadeSeconds = 0.5;

// Standing: upper sensors carry more than the lower ones, so the analysis
// sees no walking (the lower values are rescaled against the upper average).
constexpr double kStandUpper = 4.0;
constexpr double kStandLower = 2.0;
constexpr double kStandSwayPeriod = 6.0;   // seconds
constexpr double kStandSwayDegrees = 2.0;  // sideways sway of the direction
constexpr double kStandSwayLower = 0.1;    // relative left/right shift

// Walking: the upper sensors carry 1.0 each (normalised 0.5), a stance foot
// up to 6.0 per sensor (3.0), a lifted foot 0.4 (0.2).
constexpr double kWalkUpper = 1.0;
constexpr double kWalkFootLifted = 0.4;
constexpr double kWalkFootStance = 6.0;
constexpr double kWalkBob = 0.04;         // relative bob of the upper load, twice per stride
constexpr double kTurnEaseSeconds = 1.5;  // time to lean fully into a turn

const std::vector<ScenarioInfo> kScenarios = {
    {Scenario::Idle, "idle", "empty platform"},
    {Scenario::Stand, "stand", "standing still, weight spread evenly (not walking)"},
    {Scenario::Walk, "walk", "walking straight ahead at --cadence (angle about 0)"},
    {Scenario::DiagonalLeft, "diagonal-left", "walking diagonally front-left (about -16 deg)"},
    {Scenario::DiagonalRight, "diagonal-right", "walking diagonally front-right (about +16 deg)"},
    {Scenario::LeanLeft, "lean-left", "walking while leaning left (about -28 deg)"},
    {Scenario::LeanRight, "lean-right", "walking while leaning right (about +28 deg)"},
    {Scenario::TurnLeft, "turn-left", "walking into a left turn (eases to about -35 deg)"},
    {Scenario::TurnRight, "turn-right", "walking into a right turn (eases to about +35 deg)"},
    {Scenario::SidestepLeft, "sidestep-left", "stepping sideways to the left (about -42 deg)"},
    {Scenario::SidestepRight, "sidestep-right", "stepping sideways to the right (about +42 deg)"},
    {Scenario::Sequence, "tour", "demo: cycles through every scenario above (--segment)"},
    {Scenario::Replay, "replay", "replays a recorded stream file (--file, --loop)"},
};

double smoothstep(double x) {
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3.0 - 2.0 * x);
}

// splitmix64 finaliser: a well-mixed 64-bit value from any 64-bit input.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in [-1, 1), a pure function of seed, frame and sensor.
double noiseUnit(std::uint64_t seed, std::uint64_t k, int sensor) {
    std::uint64_t x =
        mix(mix(seed) ^ mix(k ^ 0xA5A5A5A5A5A5A5A5ull) ^ static_cast<std::uint64_t>(sensor));
    x = mix(x);
    double u = static_cast<double>(x >> 11) * (1.0 / 9007199254740992.0);  // [0, 1)
    return 2.0 * u - 1.0;
}

// Walking gait with the upper load pointed at `angleDeg`; `bias` > 0 puts
// more of the lower load on the left side, < 0 on the right.
void walkingPose(double seconds, double cadence, double angleDeg, double bias, double tared[8]) {
    // Two steps make one stride: the left foot is loaded while the right is
    // lifted and the other way round.
    const double phase = 2.0 * kPi * (cadence / 120.0) * seconds;
    const double s = std::sin(phase);
    const double left =
        (kWalkFootLifted + (kWalkFootStance - kWalkFootLifted) * (1.0 + s) * 0.5) * (1.0 + bias);
    const double right =
        (kWalkFootLifted + (kWalkFootStance - kWalkFootLifted) * (1.0 - s) * 0.5) * (1.0 - bias);
    tared[1] = left * 1.04;
    tared[3] = left * 0.96;
    tared[5] = right * 1.03;
    tared[7] = right * 0.97;

    double shares[4];
    upperShares(angleDeg, shares);
    const double upper = kWalkUpper * (1.0 + kWalkBob * std::cos(2.0 * phase));
    for (int j = 0; j < 4; ++j) tared[2 * j] = shares[j] * upper;
}

void blend(const double from[8], double weight, double to[8]) {
    for (int i = 0; i < 8; ++i) to[i] = from[i] + (to[i] - from[i]) * weight;
}

}  // namespace

const std::vector<ScenarioInfo>& scenarioTable() {
    return kScenarios;
}

std::optional<Scenario> scenarioByName(std::string_view name) {
    for (const auto& s : kScenarios) {
        if (name == s.name) return s.kind;
    }
    return std::nullopt;
}

const char* scenarioName(Scenario kind) {
    for (const auto& s : kScenarios) {
        if (s.kind == kind) return s.name;
    }
    return "?";
}

std::optional<std::vector<Segment>> parseSequence(std::string_view text, double defaultSeconds,
                                                  std::string& error) {
    std::vector<Segment> out;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        if (comma == std::string_view::npos) comma = text.size();
        std::string_view item = text.substr(pos, comma - pos);
        pos = comma + 1;
        if (item.empty()) {
            error = "empty element in the sequence";
            return std::nullopt;
        }
        double seconds = defaultSeconds;
        std::size_t colon = item.find(':');
        std::string_view name = item.substr(0, colon);
        double cadence = 0.0;
        if (const std::size_t at = name.find('@'); at != std::string_view::npos) {
            std::string number(name.substr(at + 1));
            char* end = nullptr;
            cadence = std::strtod(number.c_str(), &end);
            if (number.empty() || *end != '\0' || !(cadence >= 1.0 && cadence <= 400.0)) {
                error = "bad cadence in sequence element '" + std::string(item) + "'";
                return std::nullopt;
            }
            name = name.substr(0, at);
        }
        if (colon != std::string_view::npos) {
            std::string number(item.substr(colon + 1));
            char* end = nullptr;
            seconds = std::strtod(number.c_str(), &end);
            if (number.empty() || *end != '\0' || !(seconds > 0.0) || !std::isfinite(seconds)) {
                error = "bad duration in sequence element '" + std::string(item) + "'";
                return std::nullopt;
            }
        }
        auto kind = scenarioByName(name);
        if (!kind || *kind == Scenario::Sequence || *kind == Scenario::Replay) {
            error = "'" + std::string(name) + "' cannot be part of a sequence";
            return std::nullopt;
        }
        out.push_back({*kind, seconds, cadence});
    }
    return out;
}

std::vector<Segment> tourSequence(double seconds) {
    const Scenario order[] = {
        Scenario::Idle,         Scenario::Stand,     Scenario::Walk,
        Scenario::DiagonalLeft, Scenario::LeanLeft,  Scenario::TurnLeft,
        Scenario::SidestepLeft, Scenario::Walk,      Scenario::DiagonalRight,
        Scenario::LeanRight,    Scenario::TurnRight, Scenario::SidestepRight,
        Scenario::Stand,
    };
    std::vector<Segment> out;
    for (Scenario s : order) out.push_back({s, seconds});
    return out;
}

double sensorBaseline(const GeneratorOptions& options, int sensor) {
    return options.baseline + kBaselineOffset[sensor];
}

void upperShares(double angleDeg, double shares[4]) {
    // An even spread points straight ahead; moving a fraction p of it onto the
    // outermost sensor (0 on the left, 6 on the right, both 45 degrees off
    // the axis) turns the vector by atan(4p sin45 / ((1-p) S + 4p sin45)),
    // S being the sum of the four sines. Solved for p:
    const double a = std::clamp(std::fabs(angleDeg), 0.0, 45.0) * kDeg;
    const double t = std::tan(a);
    const double s45 = std::sin(45.0 * kDeg);
    const double sum = 2.0 * s45 + 2.0 * std::sin(75.0 * kDeg);
    const double p = std::clamp(t * sum / (4.0 * s45 + t * (sum - 4.0 * s45)), 0.0, 1.0);
    for (int j = 0; j < 4; ++j) shares[j] = 1.0 - p;
    shares[angleDeg < 0.0 ? 0 : 3] += 4.0 * p;
}

void scenarioPose(Scenario kind, double local, double seconds, double cadence, double tared[8]) {
    for (int i = 0; i < 8; ++i) tared[i] = 0.0;
    switch (kind) {
        case Scenario::Idle:
        case Scenario::Sequence:
        case Scenario::Replay:
            return;
        case Scenario::Stand: {
            const double sway = std::sin(2.0 * kPi * seconds / kStandSwayPeriod);
            double shares[4];
            upperShares(kStandSwayDegrees * sway, shares);
            for (int j = 0; j < 4; ++j) tared[2 * j] = shares[j] * kStandUpper;
            const double left = kStandLower * (1.0 + kStandSwayLower * sway);
            const double right = kStandLower * (1.0 - kStandSwayLower * sway);
            tared[1] = left;
            tared[3] = left;
            tared[5] = right;
            tared[7] = right;
            return;
        }
        case Scenario::Walk:
            return walkingPose(seconds, cadence, 0.0, 0.0, tared);
        case Scenario::DiagonalLeft:
            return walkingPose(seconds, cadence, -16.25, 0.05, tared);
        case Scenario::DiagonalRight:
            return walkingPose(seconds, cadence, 16.25, -0.05, tared);
        case Scenario::LeanLeft:
            return walkingPose(seconds, cadence, -28.0, 0.12, tared);
        case Scenario::LeanRight:
            return walkingPose(seconds, cadence, 28.0, -0.12, tared);
        case Scenario::TurnLeft:
            return walkingPose(seconds, cadence, -35.0 * smoothstep(local / kTurnEaseSeconds), 0.08,
                               tared);
        case Scenario::TurnRight:
            return walkingPose(seconds, cadence, 35.0 * smoothstep(local / kTurnEaseSeconds), -0.08,
                               tared);
        case Scenario::SidestepLeft:
            return walkingPose(seconds, cadence, -42.0, 0.2, tared);
        case Scenario::SidestepRight:
            return walkingPose(seconds, cadence, 42.0, -0.2, tared);
    }
}

FrameGenerator::FrameGenerator(GeneratorOptions options) : options_(std::move(options)) {
    if (options_.scenario == Scenario::Sequence && options_.sequence.empty()) {
        options_.sequence = tourSequence(5.0);
    }
    for (const auto& s : options_.sequence) {
        sequenceLength_ += s.seconds;
        ownCadences_ = ownCadences_ || s.cadence > 0.0;
    }
}

double FrameGenerator::cadenceOf(const Segment& segment) const {
    return segment.cadence > 0.0 ? segment.cadence : options_.cadence;
}

double FrameGenerator::sequenceSteps(double seconds) const {
    double perCycle = 0.0;
    for (const Segment& s : options_.sequence) perCycle += cadenceOf(s) * s.seconds / 60.0;
    const double cycles = std::floor(seconds / sequenceLength_);
    double local = seconds - cycles * sequenceLength_;
    double steps = cycles * perCycle;
    for (const Segment& s : options_.sequence) {
        const double taken = std::min(local, s.seconds);
        steps += cadenceOf(s) * taken / 60.0;
        local -= taken;
        if (local <= 0.0) break;
    }
    return steps;
}

std::uint64_t FrameGenerator::counter(std::uint64_t k) const {
    if (options_.counterWrap == 0) return options_.counterStart + k;
    const std::uint64_t w = options_.counterWrap;
    return (options_.counterStart % w + k % w) % w;
}

void FrameGenerator::userLoads(double seconds, double tared[8]) const {
    const double cadence = options_.cadence;
    if (options_.scenario != Scenario::Sequence) {
        scenarioPose(options_.scenario, seconds, seconds, cadence, tared);
        // The user steps on: nothing at the start, full weight after the fade.
        const double zero[8] = {};
        blend(zero, smoothstep(seconds / kFadeSeconds), tared);
    } else if (sequenceLength_ > 0.0) {
        const auto& seq = options_.sequence;
        double local = std::fmod(seconds, sequenceLength_);
        std::size_t i = 0;
        while (i + 1 < seq.size() && local >= seq[i].seconds) {
            local -= seq[i].seconds;
            ++i;
        }
        // With cadences of their own, each pose gets the time at its cadence that puts the
        // gait where the steps walked so far do.
        const double steps = ownCadences_ ? sequenceSteps(seconds) : 0.0;
        auto pose = [&](const Segment& segment, double at, double out[8]) {
            if (!ownCadences_) return scenarioPose(segment.kind, at, seconds, cadence, out);
            const double c = cadenceOf(segment);
            scenarioPose(segment.kind, at, steps * 60.0 / c, c, out);
        };
        pose(seq[i], local, tared);
        const double fade = std::min(kFadeSeconds, seq[i].seconds * 0.5);
        if (local < fade) {
            // Blend from the pose the previous segment would be in now; the
            // very first segment blends from the empty platform.
            double from[8] = {};
            if (seconds >= sequenceLength_ || i > 0) {
                const Segment& prev = seq[(i + seq.size() - 1) % seq.size()];
                pose(prev, prev.seconds + local, from);
            }
            blend(from, smoothstep(local / fade), tared);
        }
    } else {
        for (int s = 0; s < 8; ++s) tared[s] = 0.0;
    }
    for (int s = 0; s < 8; ++s) tared[s] *= options_.scale;
}

Frame FrameGenerator::frame(std::uint64_t k, std::optional<std::uint64_t> scenarioStart) const {
    Frame f{};
    double tared[8] = {};
    if (scenarioStart && k >= *scenarioStart) {
        userLoads(static_cast<double>(k - *scenarioStart) / options_.rate, tared);
    }
    for (int i = 0; i < 8; ++i) {
        f.load[i] = sensorBaseline(options_, i) + tared[i] +
                    options_.noise * noiseUnit(options_.seed, k, i);
    }
    f.counter = counter(k);
    return f;
}

void formatFrame(const Frame& frame, int decimals, std::string& out) {
    char buf[64];
    out.push_back('!');
    for (int i = 0; i < 8; ++i) {
        auto r =
            std::to_chars(buf, buf + sizeof buf, frame.load[i], std::chars_format::fixed, decimals);
        char* begin = buf;
        // A tiny negative value rounds to "-0.000": send it without the sign.
        if (buf[0] == '-' &&
            std::all_of(buf + 1, r.ptr, [](char c) { return c == '0' || c == '.'; }))
            ++begin;
        out.append(begin, r.ptr);
        out.push_back(',');
    }
    auto r = std::to_chars(buf, buf + sizeof buf, frame.counter);
    out.append(buf, r.ptr);
    out.append("\r\n");
}

}  // namespace sim
