// The whole data path against the platform simulator: its pseudo-terminal,
// the real port opening and reader thread, analysis passes, and datagrams
// received on a real UDP socket; also an unplug and replug of the device.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/walk_state.h"
#include "app/frame_pass.h"
#include "link/sensor_link.h"
#include "link/stream_reader.h"
#include "output/telemetry.h"
#include "tests/support/default_settings.h"
#include "tests/support/support.h"
#include "tools/sim/frame_generator.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::TempDir;
using testsupport::UdpListener;
using testsupport::waitUntil;

namespace {

constexpr int kPort = 5;
constexpr std::uint64_t kSeed = 3;

struct Datagram {
    std::vector<std::string> fields;
    double number(int i) const { return std::strtod(fields[i].c_str(), nullptr); }
};

Datagram parseDatagram(const std::string& bytes) {
    EXPECT_EQ(bytes.size(), 256u);
    const auto end = bytes.find('\n');
    EXPECT_NE(end, std::string::npos);
    EXPECT_EQ(bytes[end + 1], '\0');
    for (std::size_t i = end + 2; i < bytes.size(); ++i)
        EXPECT_EQ(static_cast<unsigned char>(bytes[i]), 0xFE) << i;
    Datagram d{testsupport::datagramFields(bytes)};
    EXPECT_EQ(d.fields.size(), 17u);
    d.fields.resize(17);
    return d;
}

void loadDefaults(WalkState& s) {
    s = testsupport::defaultSettings();
    s.comID = kPort;
}

class DataPath : public ::testing::Test {
  protected:
    void SetUp() override {
        cwd_ = std::make_unique<testsupport::ScopedCwd>(dir_.path());
        SensorLink::instance().reset();
        loadDefaults(WalkState::instance());
        sender_.open(listener_.port());
    }
    void TearDown() override {
        sender_.close();
        SensorLink::instance().reset();
        cwd_.reset();
    }

    // Starts the simulator on ./COM5 and waits for its link.
    void startSimulator(const std::string& scenario) {
        sim_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{testsupport::simulatorBinary(), "--port",
                                     std::to_string(kPort), "--scenario", scenario, "--seed",
                                     std::to_string(kSeed), "--settle", "1.0"},
            dir_.path(), dir_.file("sim.log"));
        ASSERT_TRUE(waitUntil([&] { return testsupport::fileExists(dir_.file("COM5")); }, 5s))
            << testsupport::readFile(dir_.file("sim.log"));
    }

    // Runs the passes of the main loop (analysis, datagram, 1 ms pause) for
    // `duration`, collecting every datagram that arrives.
    std::vector<Datagram> runPasses(std::chrono::milliseconds duration) {
        std::vector<Datagram> got;
        auto end = std::chrono::steady_clock::now() + duration;
        FramePass pass(SensorLink::instance(), WalkState::instance(), sender_, nullptr);
        while (std::chrono::steady_clock::now() < end) {
            pass.run(std::chrono::steady_clock::now());
            std::this_thread::sleep_for(1ms);
            while (auto d = listener_.receive(0ms)) got.push_back(parseDatagram(*d));
        }
        while (auto d = listener_.receive(50ms)) got.push_back(parseDatagram(*d));
        return got;
    }

    // Runs the passes until `done` holds for the datagrams so far (or a minute has gone).
    std::vector<Datagram> runPassesUntil(
        const std::function<bool(const std::vector<Datagram>&)>& done) {
        std::vector<Datagram> got;
        const auto limit = std::chrono::steady_clock::now() + 60s;
        FramePass pass(SensorLink::instance(), WalkState::instance(), sender_, nullptr);
        while (!done(got) && std::chrono::steady_clock::now() < limit) {
            pass.run(std::chrono::steady_clock::now());
            std::this_thread::sleep_for(1ms);
            while (auto d = listener_.receive(0ms)) got.push_back(parseDatagram(*d));
        }
        return got;
    }

    TempDir dir_;
    std::unique_ptr<testsupport::ScopedCwd> cwd_;
    UdpListener listener_;
    TelemetrySender sender_;
    std::unique_ptr<ChildProcess> sim_;
};

TEST_F(DataPath, WalkingOnTheSimulatorReachesTheListener) {
    startSimulator("walk");
    openSensorPort(kPort);
    SensorLink& link = SensorLink::instance();
    ASSERT_TRUE(link.connected);

    // The tare is an empty-platform frame: the baseline of each sensor within
    // the simulator's noise and its three printed decimals.
    sim::GeneratorOptions opts;
    opts.seed = kSeed;
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(link.tare[i], sim::sensorBaseline(opts, i), opts.noise + 0.0006) << i;

    auto walkingIn = [](const Datagram& d) { return d.number(2) > 0.05 && d.number(6) > 0.3; };
    // Two steps, walking values in the datagrams, and the windows following the counter.
    const auto datagrams = runPassesUntil([&](const std::vector<Datagram>& got) {
        return WalkState::instance().numStep >= 2 && WalkState::instance().lastTick > 100.0f &&
               std::count_if(got.begin(), got.end(), walkingIn) > 300;
    });

    int walkingRecords = 0;
    for (const Datagram& d : datagrams) {
        // Settings go out exactly as set.
        EXPECT_EQ(d.fields[0], "0");
        EXPECT_EQ(d.fields[1], "0");
        EXPECT_EQ(d.fields[5], "0.300000");
        EXPECT_EQ(d.fields[10], "-12.500000");
        EXPECT_EQ(d.fields[16], "0.150000");
        const double angle = d.number(9);
        EXPECT_GE(d.number(3), 0.0);
        EXPECT_GE(d.number(4), 0.0);
        if (walkingIn(d)) {
            ++walkingRecords;
            // Straight ahead: inside the forward band.
            EXPECT_LT(std::fabs(angle), 12.5);
        }
    }
    EXPECT_GT(walkingRecords, 300);
    // At 100 steps a minute.
    EXPECT_GE(WalkState::instance().numStep, 2);
    // The windows followed the frame counter the simulator sends.
    EXPECT_GT(WalkState::instance().lastTick, 100.0f);
}

TEST_F(DataPath, LeaningLeftGivesAnglesBeyondTheLeftThreshold) {
    startSimulator("lean-left");
    openSensorPort(kPort);
    ASSERT_TRUE(SensorLink::instance().connected);
    auto leftOf = [](const Datagram& d) { return d.number(9) < -20.0; };
    auto datagrams = runPassesUntil([&](const std::vector<Datagram>& got) {
        return std::count_if(got.begin(), got.end(), leftOf) > 400;
    });
    // Once leaning, the user leans left throughout.
    ASSERT_GT(datagrams.size(), 200u);
    std::size_t from = datagrams.size() - 200, left = 0;
    for (std::size_t i = from; i < datagrams.size(); ++i)
        if (leftOf(datagrams[i])) ++left;
    EXPECT_GT(left, 180u);
}

TEST_F(DataPath, FramesHeldUpPastTheSilenceLimitAreAnalysedButNotSentAsLive) {
    SensorLink& link = SensorLink::instance();
    link.connected = true;
    const auto now = std::chrono::steady_clock::now();
    auto push = [&](float tick, std::chrono::steady_clock::time_point arrival) {
        for (int i = 0; i < 8; ++i) link.store(i, i % 2 == 1 ? 300.0f : 0.0f);
        link.store(8, tick, true, arrival);
    };
    FramePass pass(link, WalkState::instance(), sender_, nullptr);
    std::vector<std::string> losses;
    pass.onLoss = [&](const std::string& line) { losses.push_back(line); };
    pass.run(now - 3s);
    ASSERT_TRUE(listener_.receive(5s));
    // Eight frames that waited two seconds for a main thread held up, then a fresh one.
    for (int tick = 1; tick <= 8; ++tick) push(static_cast<float>(tick), now - 2s);
    pass.run(now);
    push(9.0f, now);
    pass.run(now);

    // The values at rest (as the watchdog sent meanwhile), then the fresh frame: no old frame
    // comes after the rest as if it were live.
    const auto rest = listener_.receive(5s);
    const auto fresh = listener_.receive(5s);
    ASSERT_TRUE(rest && fresh);
    EXPECT_EQ(parseDatagram(*rest).number(6), 0.0);
    // The late frames filled the moving window: the fresh frame continues it, whole.
    EXPECT_GT(WalkState::instance().lowerAverage, 0.0f);
    EXPECT_NEAR(parseDatagram(*fresh).number(6), WalkState::instance().lowerAverage, 1e-5);
    ASSERT_EQ(losses.size(), 1u);
    EXPECT_NE(losses[0].find("8 frames came too late"), std::string::npos) << losses[0];
}

TEST_F(DataPath, UnplugAndReplugResumeTheStreamWithoutARestart) {
    startSimulator("walk");
    openSensorPort(kPort);
    SensorLink& link = SensorLink::instance();
    ASSERT_TRUE(link.connected);
    runPasses(300ms);
    StreamReader* reader = link.readerThread.get();
    ASSERT_NE(reader, nullptr);

    sim_->signal(SIGUSR1);  // unplug for 500 ms, then plug in a new device
    ASSERT_TRUE(waitUntil([&] { return !testsupport::fileExists(dir_.file("COM5")); }, 2s));
    std::this_thread::sleep_for(50ms);
    const float frozenTick = link.currentTick();
    // Meanwhile the passes go on with the last values; the link stays connected.
    auto during = runPasses(200ms);
    EXPECT_FALSE(during.empty());
    EXPECT_TRUE(link.connected);
    EXPECT_EQ(link.currentTick(), frozenTick);

    EXPECT_TRUE(waitUntil([&] { return link.currentTick() != frozenTick; }, 3s));
    EXPECT_EQ(link.readerThread.get(), reader);  // the same single reader
    auto after = runPasses(300ms);
    EXPECT_FALSE(after.empty());
}

}  // namespace
