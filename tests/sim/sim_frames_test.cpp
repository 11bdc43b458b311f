// The simulator's frame generation without a pty: the frame text, the counter,
// determinism, scenario poses, sequences, replay splitting and the options.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <set>
#include <string>

#include "tests/sim/frame_grammar.h"
#include "tests/support/support.h"
#include "tools/sim/frame_generator.h"
#include "tools/sim/frame_source.h"
#include "tools/sim/sim_options.h"

namespace {

using sim::Frame;
using sim::FrameGenerator;
using sim::GeneratorOptions;
using sim::Scenario;
using simtest::optionsFor;

std::string text(const FrameGenerator& g, std::uint64_t k, std::optional<std::uint64_t> start) {
    std::string out;
    sim::formatFrame(g.frame(k, start), g.options().decimals, out);
    return out;
}

const Scenario kPlain[] = {
    Scenario::Idle,         Scenario::Stand,         Scenario::Walk,
    Scenario::DiagonalLeft, Scenario::DiagonalRight, Scenario::LeanLeft,
    Scenario::LeanRight,    Scenario::TurnLeft,      Scenario::TurnRight,
    Scenario::SidestepLeft, Scenario::SidestepRight,
};

// ---- Frame text ----

TEST(SimFrameText, EveryFrameFollowsTheControllerGrammar) {
    // The checker itself tells frames from near misses.
    const std::string good = "!1.000,2.000,3.000,4.000,5.000,6.000,7.000,-8.000,9\r\n";
    ASSERT_TRUE(simtest::isFrame(good));
    const std::vector<std::string> bad = {
        good.substr(0, good.size() - 2) + "\n",                      // LF only
        good + "x",                                                  // trailing byte
        good.substr(1),                                              // no "!"
        "!1.000," + good.substr(13),                                 // seven loads
        "!1.000,2.000,3.000,4.000,5.000,6.000,7.000,8.000,9.5\r\n",  // fractional counter
        "!1.00,2.000,3.000,4.000,5.000,6.000,7.000,8.000,9\r\n",     // two decimals
    };
    for (const std::string& b : bad) {
        ASSERT_FALSE(simtest::isFrame(b)) << b;
    }
    for (Scenario s : kPlain) {
        FrameGenerator g(optionsFor(s));
        for (std::uint64_t k = 0; k < 600; k += 7) {
            const std::string t = text(g, k, 100);
            EXPECT_TRUE(simtest::isFrame(t)) << sim::scenarioName(s) << ": " << t;
        }
    }
}

TEST(SimFrameText, DecimalsOptionSetsTheLoadPrecision) {
    GeneratorOptions o = optionsFor(Scenario::Walk);
    o.decimals = 0;
    std::string t = text(FrameGenerator(o), 150, 0);
    EXPECT_TRUE(simtest::isFrame(t, 0)) << t;
    EXPECT_EQ(t.find('.'), std::string::npos);
    o.decimals = 5;
    t = text(FrameGenerator(o), 150, 0);
    EXPECT_TRUE(simtest::isFrame(t, 5)) << t;
    EXPECT_FALSE(simtest::isFrame(t, 3)) << t;
}

TEST(SimFrameText, NearZeroReadingsCarryNoMinusSign) {
    // Readings that round to zero print as "0.000", never "-0.000"; a small
    // negative reading that does not round to zero keeps its sign.
    Frame f{{-0.0004, -0.0, 0.0004, -1e-12, -0.00049, -0.0006, -2.5, 0.0}, 7};
    std::string out;
    sim::formatFrame(f, 3, out);
    EXPECT_EQ(out, "!0.000,0.000,0.000,0.000,0.000,-0.001,-2.500,0.000,7\r\n");
}

TEST(SimFrameText, ParsedValuesAreTheGeneratedOnesRounded) {
    FrameGenerator g(optionsFor(Scenario::LeanRight));
    const Frame f = g.frame(321, 100);
    const std::string t = text(g, 321, 100);
    const simtest::ParsedFrame p = simtest::parseFrame(t);
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(p.load[i], f.load[i], 0.0005) << i;
    EXPECT_EQ(p.counterText, "321\r\n");
}

// ---- Counter ----

TEST(SimCounter, RisesByExactlyOnePerFrameFromTheStartValue) {
    GeneratorOptions o = optionsFor(Scenario::Walk);
    o.counterStart = 1000;
    FrameGenerator g(o);
    for (std::uint64_t k = 0; k < 500; ++k) EXPECT_EQ(g.frame(k, 0).counter, 1000 + k);
    EXPECT_EQ(FrameGenerator(optionsFor(Scenario::Idle)).counter(0), 0u);
}

TEST(SimCounter, WrapsAtTheChosenModulus) {
    GeneratorOptions o = optionsFor(Scenario::Idle);
    o.counterStart = 3;
    o.counterWrap = 5;
    FrameGenerator g(o);
    std::vector<std::uint64_t> seen;
    for (std::uint64_t k = 0; k < 8; ++k) seen.push_back(g.counter(k));
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{3, 4, 0, 1, 2, 3, 4, 0}));
}

// ---- Determinism ----

TEST(SimDeterminism, SameSeedAndOptionsGiveTheSameBytes) {
    for (Scenario s : {Scenario::Walk, Scenario::Stand, Scenario::Sequence}) {
        FrameGenerator a(optionsFor(s));
        FrameGenerator b(optionsFor(s));
        for (std::uint64_t k = 0; k < 3000; k += 13) ASSERT_EQ(text(a, k, 100), text(b, k, 100));
    }
}

TEST(SimDeterminism, FrameDependsOnItsNumberNotOnWhatWasGeneratedBefore) {
    FrameGenerator g(optionsFor(Scenario::TurnLeft));
    std::vector<std::string> forward;
    for (std::uint64_t k = 0; k < 400; ++k) forward.push_back(text(g, k, 100));
    for (std::uint64_t k = 400; k-- > 0;) ASSERT_EQ(text(g, k, 100), forward[k]);
}

TEST(SimDeterminism, SeedChangesTheNoiseOnly) {
    GeneratorOptions a = optionsFor(Scenario::Walk);
    GeneratorOptions b = a;
    b.seed = 2;
    FrameGenerator ga(a), gb(b);
    int differing = 0;
    for (std::uint64_t k = 100; k < 200; ++k) {
        if (text(ga, k, 100) != text(gb, k, 100)) ++differing;
        const Frame fa = ga.frame(k, 100);
        const Frame fb = gb.frame(k, 100);
        for (int i = 0; i < 8; ++i) EXPECT_NEAR(fa.load[i], fb.load[i], 2 * a.noise + 1e-12);
    }
    EXPECT_GT(differing, 90);
    a.noise = b.noise = 0.0;
    FrameGenerator qa(a), qb(b);
    for (std::uint64_t k = 100; k < 200; ++k) EXPECT_EQ(text(qa, k, 100), text(qb, k, 100));
}

// ---- Empty platform and settle ----

TEST(SimSettle, FramesBeforeTheScenarioStartAreTheEmptyPlatform) {
    FrameGenerator idle(optionsFor(Scenario::Idle));
    for (Scenario s : kPlain) {
        FrameGenerator g(optionsFor(s));
        for (std::uint64_t k = 0; k < 100; ++k) {
            ASSERT_EQ(text(g, k, 100), text(idle, k, 100)) << sim::scenarioName(s);
            ASSERT_EQ(text(g, k, std::nullopt), text(idle, k, std::nullopt));
        }
        if (s != Scenario::Idle) {
            EXPECT_NE(text(g, 200, 100), text(idle, 200, 100));
        }
    }
}

// ---- Poses ----

// The direction angle of four upper loads as the program computes it.
double angleOf(const double upper[4]) {
    double x = 0, y = 0;
    for (int k = 0; k < 4; ++k) {
        const double r = (30.0 * k + 45.0) * 3.14159265359 / 180.0;
        x -= std::cos(r) * upper[k];
        y += std::sin(r) * upper[k];
    }
    return std::atan2(x, y) / 3.14159265359 * 180.0;
}

TEST(SimPose, UpperSharesPointAtTheRequestedAngle) {
    for (double a = -45.0; a <= 45.0; a += 2.5) {
        double w[4];
        sim::upperShares(a, w);
        EXPECT_NEAR(w[0] + w[1] + w[2] + w[3], 4.0, 1e-9);
        for (double v : w) EXPECT_GE(v, 0.0);
        EXPECT_NEAR(angleOf(w), a, 1e-6) << a;
    }
    double w[4];
    sim::upperShares(70.0, w);
    EXPECT_NEAR(angleOf(w), 45.0, 1e-6);
    EXPECT_DOUBLE_EQ(w[3], 4.0);
}

TEST(SimPose, LoadsStayWithinTheDefaultRangeAndAreNeverNegative) {
    for (Scenario s : kPlain) {
        FrameGenerator g(optionsFor(s));
        for (double t = 0.0; t < 20.0; t += 0.013) {
            double tared[8];
            g.userLoads(t, tared);
            for (int i = 0; i < 8; ++i) {
                EXPECT_GE(tared[i], 0.0) << sim::scenarioName(s) << " t=" << t;
                EXPECT_LE(tared[i], 10.0) << sim::scenarioName(s) << " t=" << t;
            }
        }
    }
}

TEST(SimPose, UserStepsOnGraduallyAndScaleMultipliesTheLoads) {
    GeneratorOptions o = optionsFor(Scenario::Stand);
    FrameGenerator g(o);
    double start[8], later[8];
    g.userLoads(0.0, start);
    g.userLoads(3.0, later);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(start[i], 0.0);
        EXPECT_GT(later[i], 1.0);
    }
    o.scale = 2.0;
    double doubled[8];
    FrameGenerator(o).userLoads(3.0, doubled);
    for (int i = 0; i < 8; ++i) EXPECT_DOUBLE_EQ(doubled[i], 2.0 * later[i]);
}

TEST(SimPose, WalkingAlternatesTheFeetAtTheCadence) {
    // Left-side load maxima over 12 s at 100 steps per minute: one per stride
    // of two steps, so 10.
    GeneratorOptions o = optionsFor(Scenario::Walk);
    FrameGenerator g(o);
    int leftPeaks = 0;
    double prev2[8], prev[8], cur[8];
    g.userLoads(1.0, prev2);
    g.userLoads(1.01, prev);
    for (double t = 1.02; t < 13.0; t += 0.01) {
        g.userLoads(t, cur);
        if (prev[1] > prev2[1] && prev[1] >= cur[1]) {
            ++leftPeaks;
            EXPECT_LT(prev[5], 1.0) << "right foot lifted while the left carries, t=" << t;
        }
        std::copy(prev, prev + 8, prev2);
        std::copy(cur, cur + 8, prev);
    }
    EXPECT_EQ(leftPeaks, 10);
}

// ---- Sequences ----

TEST(SimSequence, ParsesNamesAndDurations) {
    std::string error;
    auto seq = sim::parseSequence("stand:3,walk,lean-left:4.5", 5.0, error);
    ASSERT_TRUE(seq) << error;
    ASSERT_EQ(seq->size(), 3u);
    EXPECT_EQ((*seq)[0].kind, Scenario::Stand);
    EXPECT_EQ((*seq)[0].seconds, 3.0);
    EXPECT_EQ((*seq)[1].kind, Scenario::Walk);
    EXPECT_EQ((*seq)[1].seconds, 5.0);
    EXPECT_EQ((*seq)[2].seconds, 4.5);
    EXPECT_EQ((*seq)[2].cadence, 0.0);  // the options' cadence
    seq = sim::parseSequence("walk@170:10", 5.0, error);
    ASSERT_TRUE(seq) << error;
    EXPECT_EQ((*seq)[0].cadence, 170.0);
    EXPECT_EQ((*seq)[0].seconds, 10.0);
    for (const char* bad : {"", "walk,,stand", "walk,", "walk:0", "walk:-1", "walk:x",
                            "walk:", "replay", "tour", "nosuch", "walk@0", "walk@x:3", "walk@:3"}) {
        EXPECT_FALSE(sim::parseSequence(bad, 5.0, error)) << bad;
    }
}

TEST(SimSequence, HoldsEachSegmentAndBlendsAtTheChanges) {
    GeneratorOptions o = optionsFor(Scenario::Sequence);
    o.sequence = {{Scenario::Stand, 2.0}, {Scenario::Walk, 2.0}};
    FrameGenerator g(o);
    double got[8], want[8];
    // Inside a segment: that scenario's pose; the gait keeps the overall time.
    g.userLoads(1.5, got);
    sim::scenarioPose(Scenario::Stand, 1.5, 1.5, o.cadence, want);
    for (int i = 0; i < 8; ++i) EXPECT_DOUBLE_EQ(got[i], want[i]);
    g.userLoads(3.25, got);
    sim::scenarioPose(Scenario::Walk, 1.25, 3.25, o.cadence, want);
    for (int i = 0; i < 8; ++i) EXPECT_DOUBLE_EQ(got[i], want[i]);
    // The second cycle starts again with the first segment.
    g.userLoads(5.5, got);
    sim::scenarioPose(Scenario::Stand, 1.5, 5.5, o.cadence, want);
    for (int i = 0; i < 8; ++i) EXPECT_DOUBLE_EQ(got[i], want[i]);
    // At a change the pose lies between the two.
    g.userLoads(2.1, got);
    double from[8], to[8];
    sim::scenarioPose(Scenario::Stand, 2.1, 2.1, o.cadence, from);
    sim::scenarioPose(Scenario::Walk, 0.1, 2.1, o.cadence, to);
    for (int i = 0; i < 8; ++i) {
        EXPECT_GE(got[i], std::min(from[i], to[i]) - 1e-12);
        EXPECT_LE(got[i], std::max(from[i], to[i]) + 1e-12);
    }
}

TEST(SimSequence, TourVisitsEveryPlainScenario) {
    std::set<Scenario> seen;
    for (const auto& s : sim::tourSequence(5.0)) {
        seen.insert(s.kind);
        EXPECT_EQ(s.seconds, 5.0);
    }
    for (Scenario s : kPlain) EXPECT_TRUE(seen.count(s)) << sim::scenarioName(s);
}

// ---- Replay ----

TEST(SimReplay, SplitsAtFrameStartsAndKeepsEveryByte) {
    std::string error;
    const std::string bytes = "junk\n!1,2,3\r\n!4,5\n6\r!7";
    auto file = sim::ReplayFile::fromBytes(bytes, error);
    ASSERT_TRUE(file) << error;
    ASSERT_EQ(file->size(), 3u);
    EXPECT_EQ(file->frame(0), "junk\n!1,2,3\r\n");
    EXPECT_EQ(file->frame(1), "!4,5\n6\r");
    EXPECT_EQ(file->frame(2), "!7");
    EXPECT_FALSE(sim::ReplayFile::fromBytes("1,2,3\r\n", error));
    EXPECT_FALSE(sim::ReplayFile::fromBytes("", error));
}

TEST(SimReplay, LoadsAFileAndReportsAMissingOne) {
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("rec.txt"), std::string("!1\r\n!2\r\n\0!3", 11));
    std::string error;
    auto file = sim::ReplayFile::load(dir.file("rec.txt"), error);
    ASSERT_TRUE(file) << error;
    ASSERT_EQ(file->size(), 3u);
    EXPECT_EQ(file->frame(1), std::string("!2\r\n\0", 5));
    EXPECT_FALSE(sim::ReplayFile::load(dir.file("missing.txt"), error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos);
    // Nothing but a regular file: a folder, an endless device, a pipe nobody writes to.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    for (const std::string& path : {dir.path(), std::string("/dev/zero"), dir.file("fifo")}) {
        EXPECT_FALSE(sim::ReplayFile::load(path, error));
        EXPECT_EQ(error, "'" + path + "' is not a regular file (a recording is a file)");
    }
}

TEST(SimReplay, SourceSettlesThenPlaysOnceOrInALoop) {
    std::string error;
    GeneratorOptions o = optionsFor(Scenario::Replay);
    FrameGenerator idle(optionsFor(Scenario::Idle));
    for (bool loop : {false, true}) {
        sim::FrameSource src(o, 2, sim::ReplayFile::fromBytes("!a\r\n!b\r\n", error), loop);
        std::string out;
        // Attached at frame 10: two settle frames, then the file.
        ASSERT_TRUE(src.bytes(10, 10, out));
        EXPECT_EQ(out, text(idle, 10, std::nullopt));
        out.clear();
        ASSERT_TRUE(src.bytes(11, 10, out));
        EXPECT_EQ(out, text(idle, 11, std::nullopt));
        out.clear();
        ASSERT_TRUE(src.bytes(12, 10, out));
        ASSERT_TRUE(src.bytes(13, 10, out));
        EXPECT_EQ(out, "!a\r\n!b\r\n");
        out.clear();
        EXPECT_EQ(src.bytes(14, 10, out), loop);
        EXPECT_EQ(out, loop ? "!a\r\n" : "");
    }
}

TEST(SimReplay, GeneratedSourceMatchesTheGenerator) {
    GeneratorOptions o = optionsFor(Scenario::Walk);
    sim::FrameSource src(o, 100);
    FrameGenerator g(o);
    std::string out;
    ASSERT_TRUE(src.bytes(250, 5, out));
    EXPECT_EQ(out, text(g, 250, 105));
}

// ---- Options ----

sim::ParseResult parse(std::vector<std::string> args) {
    return sim::parseOptions(args);
}

TEST(SimOptions, DefaultsAndBothValueForms) {
    auto r = parse({});
    ASSERT_EQ(r.status, sim::ParseResult::Status::Run) << r.error;
    EXPECT_EQ(r.options.linkPath(), "./COM3");
    EXPECT_EQ(r.options.generator.scenario, Scenario::Idle);
    EXPECT_EQ(r.options.settleFrames(), 100u);
    EXPECT_FALSE(r.options.rateGiven);

    r = parse({"--port=7", "--dir", "/tmp/x/", "--rate", "50", "--settle=0.5", "--scenario", "walk",
               "--seed", "9", "--counter-wrap", "100", "--unplug-after", "2", "--quiet"});
    ASSERT_EQ(r.status, sim::ParseResult::Status::Run) << r.error;
    const auto& o = r.options;
    EXPECT_EQ(o.linkPath(), "/tmp/x/COM7");
    EXPECT_TRUE(o.rateGiven);
    EXPECT_EQ(o.settleFrames(), 25u);
    EXPECT_EQ(o.generator.scenario, Scenario::Walk);
    EXPECT_EQ(o.generator.seed, 9u);
    EXPECT_EQ(o.generator.counterWrap, 100u);
    EXPECT_EQ(*o.unplugAfterSeconds, 2.0);
    EXPECT_TRUE(o.quiet);
    EXPECT_EQ(parse({"--dir", "/tmp/x"}).options.linkPath(), "/tmp/x/COM3");
}

TEST(SimOptions, ScenarioImpliedByFileAndSequence) {
    auto r = parse({"--file", "rec.txt"});
    ASSERT_EQ(r.status, sim::ParseResult::Status::Run) << r.error;
    EXPECT_EQ(r.options.generator.scenario, Scenario::Replay);
    EXPECT_EQ(r.options.settleFrames(), 0u) << "a recording brings its own settle frames";
    EXPECT_EQ(parse({"--file", "r", "--settle", "1"}).options.settleFrames(), 100u);

    r = parse({"--sequence", "stand:2,walk", "--segment", "3"});
    ASSERT_EQ(r.status, sim::ParseResult::Status::Run) << r.error;
    EXPECT_EQ(r.options.generator.scenario, Scenario::Sequence);
    ASSERT_EQ(r.options.generator.sequence.size(), 2u);
    EXPECT_EQ(r.options.generator.sequence[1].seconds, 3.0);

    r = parse({"--scenario", "tour", "--segment", "8"});
    ASSERT_EQ(r.status, sim::ParseResult::Status::Run) << r.error;
    EXPECT_EQ(r.options.generator.sequence.size(), sim::tourSequence(8).size());
    EXPECT_EQ(r.options.generator.sequence[0].seconds, 8.0);
}

TEST(SimOptions, RejectsWrongCommandLines) {
    const std::vector<std::vector<std::string>> bad = {
        {"--nosuch"},
        {"--rate"},
        {"--rate", "0"},
        {"--rate", "fast"},
        {"--rate", "100x"},
        {"--port", "-1"},
        {"--port", "0"},
        {"--port", "3.5"},
        {"--decimals", "10"},
        {"--cadence", "0"},
        {"--settle", "-1"},
        {"--seed", "-3"},
        {"--scenario", "dance"},
        {"--scenario", "replay"},
        {"--scenario", "walk", "--file", "x"},
        {"--scenario", "walk", "--loop"},
        {"--scenario", "walk", "--sequence", "stand"},
        {"--scenario", "walk", "--segment", "3"},
        {"--sequence", "walk:0"},
        {"--counter-wrap", "1"},
        {"--stdout", "--unplug-after", "1"},
        {"--stdout=yes"},
        {"--dir", ""},
    };
    for (const auto& args : bad) {
        auto r = parse(args);
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_EQ(r.status, sim::ParseResult::Status::Error) << joined;
        EXPECT_FALSE(r.error.empty()) << joined;
    }
}

TEST(SimOptions, HelpListsEveryScenario) {
    EXPECT_EQ(parse({"--scenario", "walk", "--help"}).status, sim::ParseResult::Status::Help);
    EXPECT_EQ(parse({"--version"}).status, sim::ParseResult::Status::Version);
    EXPECT_EQ(parse({"-h"}).status, sim::ParseResult::Status::Help);
    const std::string usage = sim::usageText();
    for (const auto& s : sim::scenarioTable()) {
        EXPECT_NE(usage.find(std::string("  ") + s.name + " "), std::string::npos) << s.name;
        EXPECT_EQ(sim::scenarioByName(s.name), s.kind);
    }
}

}  // namespace
