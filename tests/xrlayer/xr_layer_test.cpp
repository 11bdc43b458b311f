// The layer in Debian's Khronos loader over the stub runtime, found as an installed layer is,
// played by the three kinds of game: the sticks with a walk in the block, with none, installed
// twice, and with the real program walking on the simulator.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "output/xr_walk_block.h"
#include "platform/xr_walk_block.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"
#include "tests/support/x_session.h"
#include "tests/xrlayer/stub_runtime.h"
#include "tests/xrlayer/xr_game.h"

namespace {

using namespace std::chrono_literals;
using testsupport::binaryDir;
using testsupport::ScopedEnv;
using xrtest::GameKind;
using xrtest::StickRead;
using Frame = std::map<std::string, StickRead>;

constexpr GameKind kKinds[] = {GameKind::Hands, GameKind::Unity, GameKind::Unreal};

void expectStick(const StickRead& r, float x, float y, const char* what) {
    EXPECT_NEAR(r.x, x, 1e-6f) << what;
    EXPECT_NEAR(r.y, y, 1e-6f) << what;
}

class XrLayerTest : public ::testing::Test {
  protected:
    // The game's own sticks: left (0.1, 0.2), right (0.3, -0.4).
    void expectPhysical(const Frame& f) {
        EXPECT_EQ(f.at("L").x, 0.1f);
        EXPECT_EQ(f.at("L").y, 0.2f);
        EXPECT_EQ(f.at("R").x, 0.3f);
        EXPECT_EQ(f.at("R").y, -0.4f);
        for (const auto& [name, read] : f) {
            EXPECT_FALSE(read.changed) << name;
            EXPECT_EQ(read.lastChange, kStubChangeTime) << name;
        }
    }

    // The block in the private runtime folder, as the program makes it.
    xrwalk::Block& block() {
        if (block_ == nullptr) {
            const int fd = open(dir_.file(xrwalk::kFileName).c_str(), O_RDWR | O_CREAT, 0600);
            EXPECT_EQ(ftruncate(fd, xrwalk::kBytes), 0);
            block_ = static_cast<xrwalk::Block*>(
                mmap(nullptr, xrwalk::kBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
            close(fd);
        }
        return *block_;
    }
    void publish(xrwalk::Axes axes, std::chrono::milliseconds age = 0ms) {
        xrwalk::publish(block(), axes, 1, platform::monotonicNanoseconds() - age.count() * 1000000);
    }

    // Frames of a game of `kind` in an instance of its own, through the loader.
    std::vector<Frame> play(GameKind kind, int frames = 2) {
        XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
        std::strcpy(info.applicationInfo.applicationName, "probe");
        info.applicationInfo.apiVersion = XR_MAKE_VERSION(1, 0, 0);
        XrInstance instance = XR_NULL_HANDLE;
        EXPECT_EQ(xrCreateInstance(&info, &instance), XR_SUCCESS);
        std::vector<Frame> played;
        {
            xrtest::XrGame game(xrGetInstanceProcAddr, instance, kind);
            EXPECT_TRUE(game.ok());
            for (int i = 0; i < frames; ++i) played.push_back(game.frame());
        }
        xrDestroyInstance(instance);
        return played;
    }

    // A manifest in `folder` (an XDG data folder) naming the library at `library`.
    void install(const std::string& folder, const std::string& library) {
        const std::string implicit = folder + "/openxr/1/api_layers/implicit.d";
        std::filesystem::create_directories(implicit);
        testsupport::writeFile(implicit + "/tarvel_xr.json",
                               R"({"file_format_version": "1.0.0", "api_layer": {)"
                               R"("name": "XR_APILAYER_TARVEL_walk", "library_path": ")" +
                                   library +
                                   R"(", "api_version": "1.0", "implementation_version": "1",)"
                                   R"("disable_environment": "DISABLE_TARVEL_XR_LAYER"}})");
    }

    testsupport::TempDir dir_;  // 0700: the runtime folder
    const std::string layerShare_ = binaryDir() + "/../xr/share";
    const std::string library_ = binaryDir() + "/../lib/libtarvel_xr.so";
    ScopedEnv runtime_{"XR_RUNTIME_JSON", binaryDir() + "/../xr/stub_runtime.json"};
    ScopedEnv data_{"XDG_DATA_DIRS", layerShare_};
    ScopedEnv config_{"XDG_CONFIG_DIRS", dir_.file("none")};
    ScopedEnv home_{"XDG_DATA_HOME", dir_.file("none")};
    ScopedEnv run_{"XDG_RUNTIME_DIR", dir_.path()};
    ScopedEnv sticks_{"TARVEL_STUB_STICKS", "0.1 0.2 0.3 -0.4"};
    ScopedEnv enabled_{"DISABLE_TARVEL_XR_LAYER", std::nullopt};
    xrwalk::Block* block_ = nullptr;
};

TEST_F(XrLayerTest, StrafingMovesOnlyTheLeftStickOfEveryKindOfGame) {
    publish({0.25f, -0.08f, 0.0f});
    for (const GameKind kind : kKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        const std::vector<Frame> f = play(kind);
        for (const Frame& frame : f) {
            expectStick(frame.at("L"), 0.02f, 0.45f, "left");
            EXPECT_EQ(frame.at("R").x, 0.3f);
            EXPECT_EQ(frame.at("R").y, -0.4f);
            // The walk changed in the first frame (display time 1000) and stayed.
            EXPECT_EQ(frame.at("L").lastChange, 1000);
            EXPECT_EQ(frame.at("R").lastChange, kStubChangeTime);
        }
        EXPECT_TRUE(f[0].at("L").changed);
        EXPECT_FALSE(f[1].at("L").changed);
        EXPECT_FALSE(f[0].at("R").changed);
        if (kind == GameKind::Unity) expectStick(f[0].at("N"), 0.02f, 0.45f, "both hands");
        if (kind == GameKind::Hands) {
            expectStick(f[0].at("V"), 0.02f, 0.45f, "the Vive's trackpad");
            EXPECT_EQ(f[0].at("P").y, 0.2f) << "a trackpad beside a thumbstick";
        }
    }
}

TEST_F(XrLayerTest, TurningMovesTheRightStickSideways) {
    publish({0.25f, 0.0f, 0.15f});
    for (const GameKind kind : kKinds) {
        const Frame f = play(kind, 1)[0];
        expectStick(f.at("L"), 0.1f, 0.45f, "left");
        expectStick(f.at("R"), 0.45f, -0.4f, "right");
    }
}

TEST_F(XrLayerTest, SumsStayInTheUnitCircle) {
    ScopedEnv sticks{"TARVEL_STUB_STICKS", "0.6 0.6 0 0"};
    publish({0.25f, 0.08f, 0.0f});
    const float length = std::hypot(0.68f, 0.85f);
    for (const GameKind kind : {GameKind::Hands, GameKind::Unreal}) {
        expectStick(play(kind, 1)[0].at("L"), 0.68f / length, 0.85f / length, "left");
    }
}

TEST_F(XrLayerTest, WithoutAFreshWalkTheSticksPassThroughExactly) {
    const auto expectPassThrough = [&](const char* why) {
        SCOPED_TRACE(why);
        for (const GameKind kind : kKinds) {
            for (const Frame& f : play(kind)) expectPhysical(f);
        }
    };
    expectPassThrough("no program yet");
    publish({});
    expectPassThrough("nobody walks");
    publish({0.25f, -0.08f, 0.15f}, 300ms);
    expectPassThrough("older than 250 ms");
    publish({0.25f, -0.08f, 0.15f});
    block().sequence.fetch_add(1);
    expectPassThrough("being written");
    block().sequence.fetch_add(1);
    {
        ScopedEnv disabled{"DISABLE_TARVEL_XR_LAYER", ""};
        expectPassThrough("disabled by its variable");
    }
    chmod(dir_.file(xrwalk::kFileName).c_str(), 0666);
    expectPassThrough("a block that others may write");
}

TEST_F(XrLayerTest, InstalledTwiceTheWalkIsAddedOnce) {
    publish({0.25f, -0.08f, 0.0f});
    const std::string copy = dir_.file("libtarvel_xr.so");
    std::filesystem::copy_file(library_, copy);
    install(dir_.file("copy"), copy);
    install(dir_.file("same"), library_);
    for (const std::string& first : {dir_.file("copy"), dir_.file("same")}) {
        ScopedEnv both{"XDG_DATA_DIRS", first + ":" + layerShare_};
        expectStick(play(GameKind::Hands, 1)[0].at("L"), 0.02f, 0.45f, first.c_str());
    }
}

// The real program on the simulator, started after the game: the walk reaches the game, stops
// when the program is killed, comes back with a new program, and ends with it.
TEST_F(XrLayerTest, TheProgramWalksTheGameUntilItEnds) {
    uitest::XSession session;
    ASSERT_TRUE(session.ok()) << "no Xvfb";
    testsupport::writeFile(dir_.file("tarvel.ini"), "[openxr]\r\nenabled=1\r\n");
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
    std::strcpy(info.applicationInfo.applicationName, "probe");
    info.applicationInfo.apiVersion = XR_MAKE_VERSION(1, 0, 0);
    XrInstance instance = XR_NULL_HANDLE;
    ASSERT_EQ(xrCreateInstance(&info, &instance), XR_SUCCESS);
    xrtest::XrGame game(xrGetInstanceProcAddr, instance, GameKind::Unity);
    ASSERT_TRUE(game.ok());
    testsupport::ChildProcess simulator(
        {testsupport::simulatorBinary(), "--port", "3", "--quiet", "--sequence", "walk:600"},
        dir_.path(), dir_.file("sim.log"));
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return testsupport::fileExists(dir_.file("COM3")); }, 10s));
    const auto start = [&] {
        return std::make_unique<testsupport::ChildProcess>(
            std::vector<std::string>{testsupport::programBinary()}, dir_.path(),
            dir_.file("tarvel.log"), std::vector<std::string>{"XDG_RUNTIME_DIR=" + dir_.path()});
    };
    const auto walking = [&] { return game.frame().at("L").y > 0.2f + 0.2f; };
    const auto standing = [&] {
        const Frame f = game.frame();
        return f.at("L").y == 0.2f && f.at("R").x == 0.3f;
    };
    auto program = start();
    ASSERT_TRUE(testsupport::waitUntil(walking, 60s))
        << testsupport::readFile(dir_.file("tarvel.log"));
    program->signal(SIGKILL);
    ASSERT_TRUE(program->wait(10s).has_value());
    EXPECT_TRUE(testsupport::waitUntil(standing, 10s)) << "the walk of a killed program";
    program = start();
    ASSERT_TRUE(testsupport::waitUntil(walking, 60s));
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10s), std::optional<int>(0));
    EXPECT_EQ(block().publishedNs.load(), 0) << "the end was not published";
    EXPECT_TRUE(standing());
    xrDestroyInstance(instance);
}

}  // namespace
