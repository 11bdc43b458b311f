// Parsing and checking of tarvel-sim's command line, and its help text.
#include "tools/sim/sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace sim {

namespace {

bool toDouble(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool toUnsigned(const std::string& text, std::uint64_t& out) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE) return false;
    out = v;
    return true;
}

}  // namespace

std::uint64_t SimOptions::settleFrames() const {
    return static_cast<std::uint64_t>(std::llround(settleSeconds * generator.rate));
}

std::string SimOptions::linkPath() const {
    std::string d = dir.empty() ? "." : dir;
    if (d.back() != '/') d += '/';
    return d + "COM" + std::to_string(port);
}

ParseResult parseOptions(const std::vector<std::string>& args) {
    ParseResult result;
    SimOptions& o = result.options;
    GeneratorOptions& g = o.generator;
    std::string scenario;
    std::string sequence;
    std::optional<double> segment;
    bool settleGiven = false;

    auto fail = [&](std::string message) {
        result.status = ParseResult::Status::Error;
        result.error = std::move(message);
        return result;
    };

    // Options that take a value: each handler returns false on a bad value.
    using Handler = std::function<bool(const std::string&)>;
    auto number = [](double& dst, double lo, double hi) {
        return [&dst, lo, hi](const std::string& v) {
            double d;
            if (!toDouble(v, d) || d < lo || d > hi) return false;
            dst = d;
            return true;
        };
    };
    auto count = [](std::uint64_t& dst) {
        return [&dst](const std::string& v) { return toUnsigned(v, dst); };
    };
    auto integer = [](int& dst, int lo, int hi) {
        return [&dst, lo, hi](const std::string& v) {
            std::uint64_t n;
            if (!toUnsigned(v, n) || n < static_cast<std::uint64_t>(lo) ||
                n > static_cast<std::uint64_t>(hi))
                return false;
            dst = static_cast<int>(n);
            return true;
        };
    };
    double unplugAfter = 0.0;
    double segmentValue = 0.0;
    const std::map<std::string, Handler> valued = {
        {"--port", integer(o.port, 1, 99999)},  // COM0 is no port the program opens
        {"--dir",
         [&](const std::string& v) {
             o.dir = v;
             return !v.empty();
         }},
        {"--rate",
         [&](const std::string& v) {
             o.rateGiven = true;
             return number(g.rate, 0.001, 100000.0)(v) && g.rate > 0.0;
         }},
        {"--scenario",
         [&](const std::string& v) {
             scenario = v;
             return true;
         }},
        {"--cadence", [&](const std::string& v) { return number(g.cadence, 1.0, 400.0)(v); }},
        {"--settle",
         [&](const std::string& v) {
             settleGiven = true;
             return number(o.settleSeconds, 0.0, 3600.0)(v);
         }},
        {"--seed", count(g.seed)},
        {"--frames", count(o.frames)},
        {"--start", count(g.counterStart)},
        {"--counter-wrap", count(g.counterWrap)},
        {"--file",
         [&](const std::string& v) {
             o.replayFile = v;
             return !v.empty();
         }},
        {"--sequence",
         [&](const std::string& v) {
             sequence = v;
             return true;
         }},
        {"--segment",
         [&](const std::string& v) {
             if (!number(segmentValue, 0.01, 86400.0)(v)) return false;
             segment = segmentValue;
             return true;
         }},
        {"--noise", [&](const std::string& v) { return number(g.noise, 0.0, 1000.0)(v); }},
        {"--baseline", [&](const std::string& v) { return number(g.baseline, -1.0e6, 1.0e6)(v); }},
        {"--scale", [&](const std::string& v) { return number(g.scale, 0.0, 1000.0)(v); }},
        {"--decimals", integer(g.decimals, 0, 9)},
        {"--unplug-after",
         [&](const std::string& v) {
             if (!number(unplugAfter, 0.0, 1.0e6)(v)) return false;
             o.unplugAfterSeconds = unplugAfter;
             return true;
         }},
        {"--unplug-for", integer(o.unplugForMs, 0, 600000)},
    };
    const std::map<std::string, bool*> flags = {
        {"--stdout", &o.toStdout},
        {"--loop", &o.loop},
        {"--quiet", &o.quiet},
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.status = ParseResult::Status::Help;
            return result;
        }
        if (arg == "--version") {
            result.status = ParseResult::Status::Version;
            return result;
        }
        std::optional<std::string> value;
        if (auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        if (auto f = flags.find(arg); f != flags.end()) {
            if (value) return fail("option " + arg + " takes no value");
            *f->second = true;
            continue;
        }
        auto h = valued.find(arg);
        if (h == valued.end()) return fail("unknown option '" + arg + "'");
        if (!value) {
            if (i + 1 >= args.size()) return fail("option " + arg + " needs a value");
            value = args[++i];
        }
        if (!h->second(*value)) return fail("bad value '" + *value + "' for " + arg);
    }

    // The scenario: named, or implied by --file / --sequence.
    if (scenario.empty()) {
        scenario = !o.replayFile.empty() ? "replay" : !sequence.empty() ? "tour" : "idle";
    }
    auto kind = scenarioByName(scenario);
    if (!kind) return fail("unknown scenario '" + scenario + "' (see --help)");
    g.scenario = *kind;
    if (g.scenario == Scenario::Replay) {
        if (o.replayFile.empty()) return fail("scenario replay needs --file F");
        // A recording brings its own empty-platform frames (and its own
        // baseline, which the simulator's would not match).
        if (!settleGiven) o.settleSeconds = 0.0;
    } else if (!o.replayFile.empty()) {
        return fail("--file is for the replay scenario only");
    }
    if (o.loop && g.scenario != Scenario::Replay) return fail("--loop is for replay only");
    if (!sequence.empty() && g.scenario != Scenario::Sequence) {
        return fail("--sequence cannot be combined with scenario '" + scenario + "'");
    }
    if (g.scenario == Scenario::Sequence) {
        const double seconds = segment.value_or(5.0);
        if (sequence.empty()) {
            g.sequence = tourSequence(seconds);
        } else {
            std::string error;
            auto parsed = parseSequence(sequence, seconds, error);
            if (!parsed) return fail(error);
            g.sequence = *parsed;
        }
    } else if (segment) {
        return fail("--segment is for the tour or a --sequence only");
    }
    if (g.counterWrap == 1) return fail("--counter-wrap must be 0 (never) or at least 2");
    if (o.toStdout && o.unplugAfterSeconds) return fail("--unplug-after needs the pty");
    return result;
}

std::string usageText() {
    std::string scenarios;
    for (const auto& s : scenarioTable()) {
        std::string name = s.name;
        name.resize(16, ' ');
        scenarios += "  " + name + s.summary + "\n";
    }
    return R"(Usage: tarvel-sim [OPTIONS]

Simulates the walking platform's controller: streams frames of eight sensor
loads and a frame counter ("!l0,l1,...,l7,counter" CR LF) on a pseudo-terminal
linked as ./COM<n>, so that the program connects to it like to the real
platform. Each time a reader opens the port it first gets --settle seconds of
empty-platform frames (so the tare it captures is the empty platform), then the
scenario, which starts from its beginning.

Port and pacing:
  --port N            link name COM<N>, N from 1 (default 3)
  --dir D             folder of the link (default .)
  --rate HZ           frames per second (default 100); also sets the simulated
                      time of each frame
  --frames N          stop after N frame periods (default: run until stopped)
  --stdout            write the frames to standard output instead of a pty,
                      as fast as possible unless --rate is given; the reader
                      counts as attached from frame 0 (for recording files)
  --quiet             no messages on standard error

Scenario:
  --scenario NAME     what the user on the platform does (default idle)
  --cadence SPM       steps per minute while walking (default 100)
  --settle SECONDS    empty-platform frames after a reader attaches (default
                      1.0; 0 for replay unless given)
  --sequence LIST     cycle through scenarios, e.g. "stand:3,walk,lean-left:4"
                      (NAME[@SPM][:SECONDS], default length --segment, default
                      cadence --cadence: "walk:10,walk@170:10" steps up)
  --segment SECONDS   length of each step of the tour or a sequence (default 5)
  --file F            the recorded stream for replay: split at "!" and sent one
                      frame per period, bytes unchanged
  --loop              replay the file over and over (default: stop at its end)

Frame content:
  --seed N            noise seed (default 1); frame k depends only on the
                      seed, the options and k
  --noise A           uniform noise +-A on every reading (default 0.02)
  --baseline B        empty-platform reading per sensor (default 2.0, plus a
                      fixed per-sensor offset within +-0.15)
  --scale F           multiply the user's loads (default 1.0: loads stay
                      within 0..10, the range of the default loadMax)
  --decimals N        decimals of the load fields (default 3)
  --start N           counter of the first frame (default 0); the counter goes
                      up by one per frame period, also while nobody reads
  --counter-wrap N    the counter runs modulo N (default: never wraps)

Unplugging (pty only):
  --unplug-after S    unplug once, S seconds after the start
  --unplug-for MS     how long an unplug lasts (default 500)
  SIGUSR1             unplug now: the port is closed (the reader sees EIO or a
                      hang-up), the link is removed, and after --unplug-for a
                      new pty is linked under the same name
  SIGUSR2             line noise: a burst of 256 random bytes (any values,
                      frame characters included) goes out before the next frame

SIGINT, SIGTERM and SIGHUP stop the simulator and remove the link.
--help prints this text, --version the version.

Scenarios:
)" + scenarios +
           R"(
With the program's default settings (loadMax 10, walking threshold 0.3,
angle thresholds -20/-12.5/12.5/20): idle and stand show no walking; walk
walks straight; diagonal-* fall in the front-left/front-right bands; lean-*,
turn-* and sidestep-* fall beyond +-20 degrees (sideways or turning).

Examples:
  tarvel-sim --scenario walk                 walk on ./COM3 at 100 Hz
  tarvel-sim --scenario tour --segment 8     demo tour, 8 s per scenario
  tarvel-sim --scenario walk --stdout --frames 1000 > walk.txt
  tarvel-sim --scenario replay --file walk.txt --loop
)";
}

}  // namespace sim
