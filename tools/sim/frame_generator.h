// Frame generation of the platform simulator: the scenarios (what a user on
// the platform does) turned into the controller's text frames, deterministic
// in the seed, the options and the frame number. No I/O here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// What the simulated user does. Loads are produced in "tared" units: the
// amount above the empty platform, where the program's default loadMax of
// 10.0 normalises to 5.0.
enum class Scenario {
    Idle,           // nobody on the platform
    Stand,          // standing still, weight even, slight sway
    Walk,           // walking straight ahead at the cadence
    DiagonalLeft,   // walking, angle about -16 degrees (front-left band)
    DiagonalRight,  // walking, angle about +16 degrees (front-right band)
    LeanLeft,       // walking, leaning left: angle about -28 degrees
    LeanRight,      // walking, leaning right: angle about +28 degrees
    TurnLeft,       // walking into a left turn: angle eases to about -35 degrees
    TurnRight,      // walking into a right turn: angle eases to about +35 degrees
    SidestepLeft,   // stepping sideways to the left: angle about -42 degrees
    SidestepRight,  // stepping sideways to the right: angle about +42 degrees
    Sequence,       // a list of the above, cycled (the "tour" is one)
    Replay,         // frames taken from a recorded stream file
};

struct ScenarioInfo {
    Scenario kind;
    const char* name;
    const char* summary;
};

// Every scenario with its command-line name, in the order --help lists them.
const std::vector<ScenarioInfo>& scenarioTable();
std::optional<Scenario> scenarioByName(std::string_view name);
const char* scenarioName(Scenario kind);

// One element of a sequence: a scenario held for a number of seconds.
struct Segment {
    Scenario kind;
    double seconds;
    double cadence = 0.0;  // steps per minute of its own; 0: the options' cadence
};

// Parses "stand:3,walk,lean-left:4.5,walk@170:10" (durations default to
// `defaultSeconds`; "@SPM" gives a segment a cadence of its own, 1 to 400).
// Only the plain scenarios may appear. Returns nullopt and fills `error` on a
// bad list.
std::optional<std::vector<Segment>> parseSequence(std::string_view text, double defaultSeconds,
                                                  std::string& error);

// The demo tour: every plain scenario once, each `seconds` long.
std::vector<Segment> tourSequence(double seconds);

struct GeneratorOptions {
    Scenario scenario = Scenario::Idle;
    std::vector<Segment> sequence;  // used when scenario is Sequence
    double rate = 100.0;            // frames per second: frame k is at k / rate seconds
    double cadence = 100.0;         // steps per minute (both feet together)
    double baseline = 2.0;          // mean empty-platform reading of a sensor
    double noise = 0.02;            // each reading gets uniform noise in [-noise, +noise]
    double scale = 1.0;             // multiplies every load the user puts on the platform
    std::uint64_t seed = 1;
    std::uint64_t counterStart = 0;  // counter of frame 0
    std::uint64_t counterWrap = 0;   // the counter runs modulo this; 0: never wraps
    int decimals = 3;                // decimals of the eight load fields
};

// The nine values of one frame.
struct Frame {
    double load[8];
    std::uint64_t counter;
};

// Empty-platform reading of sensor i without noise: the baseline plus a fixed
// per-sensor offset, so that the tare differs from sensor to sensor.
double sensorBaseline(const GeneratorOptions& options, int sensor);

// Upper-sensor shares (sensors 0, 2, 4, 6; summing to 4) whose direction
// vector points at `angleDeg` (0 straight ahead, negative left). Angles beyond
// +-45 degrees cannot be made with non-negative loads and give all of the load
// on the outermost sensor.
void upperShares(double angleDeg, double shares[4]);

// What the user puts on each sensor (tared units, before scale and noise).
// `local` is the time since this scenario began (it paces a turn's lean),
// `seconds` the time since the user stepped on (it sets the gait's phase, which
// carries on across the segments of a sequence). Idle, Sequence and Replay
// give zero loads.
void scenarioPose(Scenario kind, double local, double seconds, double cadence, double tared[8]);

class FrameGenerator {
  public:
    explicit FrameGenerator(GeneratorOptions options);

    const GeneratorOptions& options() const { return options_; }

    // Frame k, where the scenario begins at frame `scenarioStart`: frames
    // before it, and every frame when scenarioStart is nullopt, show the empty
    // platform. The result depends only on the options, k and scenarioStart.
    Frame frame(std::uint64_t k, std::optional<std::uint64_t> scenarioStart) const;

    // Frame counter of frame k.
    std::uint64_t counter(std::uint64_t k) const;

    // The loads the user puts on the platform (tared units, scale applied, no
    // noise) at `seconds` into the scenario.
    void userLoads(double seconds, double tared[8]) const;

  private:
    // Steps walked (at each segment's cadence) from the start of the sequence to `seconds`.
    double sequenceSteps(double seconds) const;
    double cadenceOf(const Segment& segment) const;

    GeneratorOptions options_;
    double sequenceLength_ = 0.0;
    // Some segment has a cadence of its own: the gait's phase then follows the steps walked,
    // so that it runs on without a jump where the cadence changes.
    bool ownCadences_ = false;
};

// The frame as the controller sends it: "!", eight loads with the chosen
// decimals, the counter, separated by "," and ended by CR LF. Appends to out.
void formatFrame(const Frame& frame, int decimals, std::string& out);

}  // namespace sim
