// The layer in Debian's Khronos loader over the stub runtime, found as installed layers are,
// played by the three kinds of game: the sticks with a walk in the block, without one,
// installed twice, and with the real program walking on the simulator.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "mainwindow/uiex.h"
#include "platform/steamvr_presence.h"
#include "platform/xr_walk_block.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"
#include "tests/support/x_session.h"
#include "tests/vrdriver/driver_host.h"
#include "tests/xrlayer/stub_runtime.h"
#include "tests/xrlayer/xr_game.h"

namespace {

using namespace std::chrono_literals;
using testsupport::binaryDir;
using testsupport::ScopedEnv;
using testsupport::waitUntil;
using xrtest::Frame;
using xrtest::GameKind;

constexpr GameKind kKinds[] = {GameKind::Hands, GameKind::Unity, GameKind::Unreal};

void expectStick(const xrtest::StickRead& r, float x, float y) {
    EXPECT_NEAR(r.x, x, 1e-6f);
    EXPECT_NEAR(r.y, y, 1e-6f);
}

// `headless`: with XR_MND_headless, as the validation layer wants a session without graphics.
XrInstance createInstance(bool headless = false) {
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
    const char* const extensions[] = {XR_MND_HEADLESS_EXTENSION_NAME};
    info.enabledExtensionCount = headless ? 1 : 0;
    info.enabledExtensionNames = extensions;
    std::strcpy(info.applicationInfo.applicationName, "probe");
    info.applicationInfo.apiVersion = XR_MAKE_VERSION(1, 0, 0);
    XrInstance instance = XR_NULL_HANDLE;
    EXPECT_EQ(xrCreateInstance(&info, &instance), XR_SUCCESS);
    return instance;
}

class XrLayerTest : public ::testing::Test {
  protected:
    // The game's own sticks, left (0.1, 0.2) and right (0.3, -0.4), exactly as they are.
    static void expectPhysical(const Frame& f) {
        for (const auto& [name, read] : f) {
            EXPECT_EQ(read.x, name == "R" ? 0.3f : name == "U" ? 0.0f : 0.1f) << name;
            EXPECT_EQ(read.y, name == "R" ? -0.4f : name == "U" ? 0.0f : 0.2f) << name;
            EXPECT_FALSE(read.changed) << name;
            EXPECT_EQ(read.lastChange, kStubChangeTime) << name;
        }
    }

    // The block in the private runtime folder, made as the program makes it.
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
        const auto ns = std::chrono::nanoseconds(age).count();
        const std::uint32_t s = block().sequence.load();
        xrwalk::publish(block(), xrwalk::fieldsOf(axes, 1, platform::monotonicNanoseconds() - ns,
                                                  s + 2 - s % 2));
    }

    // Frames of a game of `kind` in an instance of its own, through the loader.
    static std::vector<Frame> play(GameKind kind, int frames = 2, bool headless = false) {
        const XrInstance instance = createInstance(headless);
        std::vector<Frame> played;
        {
            xrtest::XrGame game(xrGetInstanceProcAddr, instance, kind);
            EXPECT_TRUE(game.ok());
            for (int i = 0; i < frames; ++i) played.push_back(game.frame());
        }
        xrDestroyInstance(instance);
        return played;
    }

    // The simulator walking on COM3 in the test's folder, and the program beside it (a display
    // of its own, XR output on), with `extraEnv`.
    void startWalking() {
        simulator_ = startSimulator(dir_.path(), "walk:600");
        program_ = startProgram(dir_.path());
    }
    static std::unique_ptr<testsupport::ChildProcess> startSimulator(const std::string& folder,
                                                                     const char* sequence) {
        auto simulator = std::make_unique<testsupport::ChildProcess>(
            std::vector<std::string>{testsupport::simulatorBinary(), "--port", "3", "--quiet",
                                     "--sequence", sequence},
            folder, folder + "/sim.log");
        EXPECT_TRUE(waitUntil([&] { return testsupport::fileExists(folder + "/COM3"); }, 10s));
        testsupport::writeFile(folder + "/tarvel.ini", "[openxr]\r\nenabled=1\r\n");
        return simulator;
    }
    std::unique_ptr<testsupport::ChildProcess> startProgram(const std::string& folder) {
        return std::make_unique<testsupport::ChildProcess>(
            std::vector<std::string>{testsupport::programBinary()}, folder, folder + "/tarvel.log",
            std::vector<std::string>{"XDG_RUNTIME_DIR=" + dir_.path()});
    }
    // Whether a game that starts now walks within `limit`.
    static bool gameWalks(std::chrono::seconds limit = 60s) {
        const XrInstance instance = createInstance();
        bool walks = false;
        {
            xrtest::XrGame game(xrGetInstanceProcAddr, instance, GameKind::Hands);
            walks = waitUntil([&] { return game.frame().at("L").y > 0.4f; }, limit);
        }
        xrDestroyInstance(instance);
        return walks;
    }
    // The program still runs and ends as it should.
    void expectProgramEndsWell() {
        ASSERT_TRUE(program_->running()) << testsupport::readFile(dir_.file("tarvel.log"));
        program_->signal(SIGTERM);
        EXPECT_EQ(program_->wait(10s), std::optional<int>(0));
    }

    testsupport::TempDir dir_;  // 0700: the runtime folder
    const std::string share_ = binaryDir() + "/../xr/share";
    ScopedEnv env_[7] = {{"XR_RUNTIME_JSON", binaryDir() + "/../xr/stub_runtime.json"},
                         {"XDG_DATA_DIRS", share_},
                         {"XDG_CONFIG_DIRS", dir_.file("none")},
                         {"XDG_DATA_HOME", dir_.file("none")},
                         {"XDG_RUNTIME_DIR", dir_.path()},
                         {"TARVEL_STUB_STICKS", "0.1 0.2 0.3 -0.4"},
                         {"DISABLE_TARVEL_XR_LAYER", std::nullopt}};
    xrwalk::Block* block_ = nullptr;
    std::unique_ptr<testsupport::ChildProcess> simulator_, program_;
};

// Each controller the runtime may say the game uses, for each kind of game: the walk goes to
// the left stick's actions of that profile only (the trackpad where it is the only stick, the
// forward direction as a button), the right stick keeps its own value.
TEST_F(XrLayerTest, StrafingMovesTheLeftStickOfTheProfileInUse) {
    publish({0.6f, -0.08f, 0.0f});
    for (const xrtest::Profile& profile : xrtest::kProfiles) {
        const bool stick = profile.thumbstick || profile.trackpad;
        ScopedEnv current{"TARVEL_STUB_PROFILE",
                          std::string("/interaction_profiles/") + profile.path};
        for (const GameKind kind : kKinds) {
            SCOPED_TRACE(std::string(profile.path) + " " + std::to_string(static_cast<int>(kind)));
            const std::vector<Frame> f = play(kind, 2);
            for (int i = 0; i < 2; ++i) {
                if (stick) {
                    expectStick(f[i].at("L"), 0.02f, 0.8f);
                    // Never the predicted time of a frame still to come (1000 for frame 0).
                    EXPECT_LT(f[i].at("L").lastChange, 1000 * (i + 1));
                } else {
                    expectPhysical(f[i]);
                }
                EXPECT_EQ(f[i].at("R").x, 0.3f);
                EXPECT_EQ(f[i].at("R").y, -0.4f);
                EXPECT_EQ(f[i].at("R").lastChange, kStubChangeTime);
            }
            EXPECT_EQ(f[0].at("L").changed, stick);
            EXPECT_FALSE(f[1].at("L").changed);
            if (kind == GameKind::Unity && stick) expectStick(f[0].at("N"), 0.02f, 0.8f);
            if (kind != GameKind::Hands) continue;
            EXPECT_EQ(f[0].at("U").x, profile.thumbstick ? 1.0f : 0.0f);
            if (!profile.thumbstick && profile.trackpad) expectStick(f[0].at("V"), 0.02f, 0.8f);
            EXPECT_EQ(f[0].at("P").y, 0.2f);  // a trackpad beside a thumbstick
        }
    }
}

TEST_F(XrLayerTest, TurningMovesTheRightStickSidewaysAndSumsStayInTheCircle) {
    publish({0.25f, 0.0f, 0.15f});
    for (const GameKind kind : kKinds) {
        const Frame f = play(kind, 1)[0];
        expectStick(f.at("L"), 0.1f, 0.45f);
        expectStick(f.at("R"), 0.45f, -0.4f);
    }
    ScopedEnv sticks{"TARVEL_STUB_STICKS", "0.6 0.6 0 0"};
    publish({0.25f, 0.08f, 0.0f});
    const float length = std::hypot(0.68f, 0.85f);
    for (const GameKind kind : {GameKind::Hands, GameKind::Unreal}) {
        SCOPED_TRACE(static_cast<int>(kind));
        expectStick(play(kind, 1)[0].at("L"), 0.68f / length, 0.85f / length);
    }
}

// A game with a menu set of higher priority bound to the same stick: the walk goes to the
// gameplay set's stick only, pauses while the menu is open, and goes nowhere out of focus.
TEST_F(XrLayerTest, TheWalkMovesTheGameplaySetOnlyWhileItHasTheStickAndFocus) {
    publish({0.6f, -0.08f, 0.0f});
    const auto expectPhysicalStick = [](const xrtest::StickRead& r) {
        EXPECT_EQ(r.x, 0.1f);
        EXPECT_EQ(r.y, 0.2f);
    };
    {
        const XrInstance instance = createInstance();
        xrtest::XrGame game(xrGetInstanceProcAddr, instance, GameKind::Hands, true);
        for (const bool menuOpen : {false, true, false}) {
            SCOPED_TRACE(menuOpen);
            const Frame f = game.frame(menuOpen);
            expectPhysicalStick(f.at("M"));
            if (menuOpen) {
                expectPhysicalStick(f.at("L"));
            } else {
                expectStick(f.at("L"), 0.02f, 0.8f);
            }
        }
        xrDestroyInstance(instance);
    }
    ScopedEnv visible{"TARVEL_STUB_STATE", std::to_string(XR_SESSION_STATE_VISIBLE)};
    for (const Frame& f : play(GameKind::Hands)) expectPhysical(f);
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

// Beside Khronos's core validation and API dump layers (explicit: between this layer and the
// runtime, so they check and show what this layer passes down): the walk arrives, nothing is
// reported invalid, and each Float axis's partner is read from the runtime once per sync.
TEST_F(XrLayerTest, BesideKhronosValidationLayersTheWalkArrivesAndNothingIsInvalid) {
    for (const char* layer : {"core_validation", "api_dump"}) {
        if (!testsupport::fileExists(
                std::string("/usr/share/openxr/1/api_layers/explicit.d/XrApiLayer_") + layer +
                ".x86_64-linux-gnu.json")) {
            GTEST_SKIP()
                << "openxr-layer-corevalidation and openxr-layer-apidump are not installed";
        }
    }
    ScopedEnv env[] = {
        {"XR_ENABLE_API_LAYERS", "XR_APILAYER_LUNARG_core_validation:XR_APILAYER_LUNARG_api_dump"},
        {"XDG_DATA_DIRS", share_ + ":/usr/share"},
        {"XR_CORE_VALIDATION_EXPORT_TYPE", "text"},
        {"XR_CORE_VALIDATION_FILE_NAME", dir_.file("validation.txt")},
        {"XR_API_DUMP_EXPORT_TYPE", "text"},
        {"XR_API_DUMP_FILE_NAME", dir_.file("dump.txt")}};
    publish({0.25f, -0.08f, 0.0f});
    for (const GameKind kind : kKinds) {
        for (const Frame& f : play(kind, 3, true)) expectStick(f.at("L"), 0.02f, 0.45f);
    }
    EXPECT_EQ(testsupport::readFile(dir_.file("validation.txt")), "");
    {  // The validation layer does report into its file: a sync with a wrong structure type.
        const XrInstance instance = createInstance(true);
        xrtest::XrGame game(xrGetInstanceProcAddr, instance, GameKind::Hands);
        XrActionsSyncInfo wrong{XR_TYPE_ACTION_STATE_GET_INFO};
        xrSyncActions(game.session(), &wrong);
        xrDestroyInstance(instance);
        EXPECT_NE(testsupport::readFile(dir_.file("validation.txt")), "");
    }
    const std::string dump = testsupport::readFile(dir_.file("dump.txt"));
    std::size_t floats = 0;
    for (std::size_t at = 0;
         (at = dump.find("XrResult xrGetActionStateFloat\n", at)) != std::string::npos; ++at) {
        ++floats;
    }
    // The Unreal-style game reads 4 axes in each of 3 frames; the layer adds one partner read per
    // stick and sync for the left stick only (the right one is not walked).
    EXPECT_EQ(floats, 3u * (4 + 1)) << dump.substr(0, 4000);
}

// On SteamVR's runtime with the SteamVR driver running, the treadmill walks the game: the layer
// leaves the sticks alone there, and only there.
TEST_F(XrLayerTest, OnSteamVrWithItsDriverRunningTheSticksPassThrough) {
    publish({0.25f, -0.08f, 0.0f});
    ScopedEnv steamVr{"TARVEL_STUB_RUNTIME_NAME", "SteamVR/OpenXR"};
    const auto walks = [&](const char* why) {
        SCOPED_TRACE(why);
        expectStick(play(GameKind::Hands, 1)[0].at("L"), 0.02f, 0.45f);
    };
    walks("without the driver");
    void* driver = platform::claimSteamVrDriverMark();
    ASSERT_NE(driver, nullptr);
    for (const GameKind kind : kKinds) {
        for (const Frame& f : play(kind)) expectPhysical(f);
    }
    {
        ScopedEnv other{"TARVEL_STUB_RUNTIME_NAME", "Monado"};
        walks("on another runtime");
    }
    platform::releaseSteamVrDriverMark(driver);
    walks("after the driver ended");
}

TEST_F(XrLayerTest, InstalledTwiceTheWalkIsAddedOnce) {
    publish({0.25f, -0.08f, 0.0f});
    std::filesystem::copy_file(binaryDir() + "/../lib/libtarvel_xr.so", dir_.file("copy.so"));
    // A second manifest naming a copy of the library, then one naming the same library.
    for (const auto& [folder, library] :
         {std::pair{dir_.file("copy"), dir_.file("copy.so")},
          {dir_.file("same"), binaryDir() + "/../lib/libtarvel_xr.so"}}) {
        const std::string implicit = folder + "/openxr/1/api_layers/implicit.d";
        std::filesystem::create_directories(implicit);
        testsupport::writeFile(
            implicit + "/tarvel_xr.json",
            R"({"file_format_version": "1.0.0", "api_layer": {"name": "XR_APILAYER_TARVEL_walk",)"
            R"("library_path": ")" +
                library +
                R"(", "api_version": "1.0",)"
                R"("implementation_version": "1", "disable_environment": "X"}})");
        ScopedEnv both{"XDG_DATA_DIRS", folder + ":" + share_};
        expectStick(play(GameKind::Hands, 1)[0].at("L"), 0.02f, 0.45f);
    }
}

// The real program on the simulator, started after the game: it walks the game, and the SteamVR
// driver's treadmill in a stand-in for vrserver, in VR mode with its switch on; the game's
// sticks are its own again and the treadmill reads exactly 0 in desktop mode, with the switch
// off, once the platform falls silent, when the program is killed and after it ends.
TEST_F(XrLayerTest, TheProgramWalksTheGameOnlyWhileItShould) {
    uitest::XSession session(true);
    ASSERT_TRUE(session.ok()) << "no Xvfb";
    ScopedEnv runtime{"XDG_RUNTIME_DIR", dir_.path()};  // the block's folder, not the session's
    testsupport::writeFile(dir_.file("tarvel.ini"), "[openxr]\r\nenabled=1\r\n");
    const XrInstance instance = createInstance();
    xrtest::XrGame game(xrGetInstanceProcAddr, instance, GameKind::Unity);
    ASSERT_TRUE(game.ok());
    auto simulator = std::make_unique<testsupport::ChildProcess>(
        std::vector<std::string>{testsupport::simulatorBinary(), "--port", "3", "--quiet",
                                 "--sequence", "walk:600"},
        dir_.path(), dir_.file("sim.log"));
    ASSERT_TRUE(waitUntil([&] { return testsupport::fileExists(dir_.file("COM3")); }, 10s));
    const auto start = [&] {
        return std::make_unique<testsupport::ChildProcess>(
            std::vector<std::string>{testsupport::programBinary()}, dir_.path(),
            dir_.file("tarvel.log"));
    };
    vrtest::DriverHost treadmill;
    ASSERT_TRUE(treadmill.load(vrtest::driverLibrary()));
    ASSERT_EQ(treadmill.start(), openvr::InitErrorNone);
    const auto joystick = [&](const char* axis) {
        treadmill.runFrame();
        return treadmill.component(std::string("/input/joystick/") + axis)->value;
    };
    const auto walking = [&] {
        return waitUntil([&] { return game.frame().at("L").y > 0.4f && joystick("y") > 0.2f; },
                         60s);
    };
    const auto standing = [&] {
        return waitUntil(
            [&] {
                return game.frame().at("L").y == 0.2f && joystick("y") == 0.0f &&
                       joystick("x") == 0.0f;
            },
            10s);
    };
    const auto click = [&](int x, int y) {
        Window window = 0;
        ASSERT_TRUE(
            waitUntil([&] { return (window = session.findByName("Tarvel-Omnix")) != 0; }, 10s));
        const auto [wx, wy] = session.origin(window);
        session.click(wx + x + 10, wy + y + 10);
    };
    auto program = start();
    ASSERT_TRUE(walking()) << testsupport::readFile(dir_.file("tarvel.log"));
    // Where the walk goes, as the window's line says it.
    const auto status = [] {
        std::string text;
        FILE* out = popen((testsupport::programBinary() + " --xr-status").c_str(), "r");
        for (int c; out != nullptr && (c = std::fgetc(out)) != EOF;)
            text.push_back(static_cast<char>(c));
        if (out != nullptr) pclose(out);
        return text.substr(0, text.find('\n'));
    };
    EXPECT_EQ(status(), "XR：xr_layer_test ← stick (左スティック)");
    click(10, 30);  // デスクトップモード
    EXPECT_TRUE(standing()) << "in desktop mode";
    click(10, 30);
    ASSERT_TRUE(walking());
    click(UIEx::kXrToggleX, UIEx::kXrToggleY);  // XR出力：無効
    EXPECT_TRUE(standing()) << "switched off";
    click(UIEx::kXrToggleX, UIEx::kXrToggleY);
    ASSERT_TRUE(walking());
    program->signal(SIGKILL);
    ASSERT_TRUE(program->wait(10s).has_value());
    EXPECT_TRUE(standing()) << "after the program was killed";
    program = start();
    ASSERT_TRUE(walking());
    simulator.reset();
    EXPECT_TRUE(standing()) << "with the platform silent";
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10s), std::optional<int>(0));
    EXPECT_EQ(block().publishedNs.load(), 0) << "the end is not marked";
    game.frame();
    EXPECT_EQ(status(), "XR：xr_layer_test：歩行データなし");
    xrDestroyInstance(instance);
}

// What users and other processes do to the block while a game and the program run: neither dies
// (a fault in the game would end this test's process), and the walk comes back.
TEST_F(XrLayerTest, ATruncatedBlockFaultsNeitherGameNorProgram) {
    uitest::XSession session;
    ASSERT_TRUE(session.ok()) << "no Xvfb";
    ScopedEnv runtime{"XDG_RUNTIME_DIR", dir_.path()};  // the block's folder, not the session's
    startWalking();
    const XrInstance instance = createInstance();
    {
        xrtest::XrGame game(xrGetInstanceProcAddr, instance, GameKind::Unreal);
        ASSERT_TRUE(waitUntil([&] { return game.frame().at("L").y > 0.4f; }, 60s));
        for (int i = 0; i < 20; ++i) {
            ASSERT_EQ(truncate(dir_.file(xrwalk::kFileName).c_str(), 0), 0);
            game.frame();
        }
        EXPECT_TRUE(waitUntil([&] { return game.frame().at("L").y > 0.4f; }, 10s));
    }
    xrDestroyInstance(instance);
    expectProgramEndsWell();
}

TEST_F(XrLayerTest, ARemovedBlockIsMadeAgainForTheGamesThatStartLater) {
    uitest::XSession session;
    ASSERT_TRUE(session.ok()) << "no Xvfb";
    ScopedEnv runtime{"XDG_RUNTIME_DIR", dir_.path()};  // the block's folder, not the session's
    startWalking();
    ASSERT_TRUE(gameWalks());
    ASSERT_EQ(unlink(dir_.file(xrwalk::kFileName).c_str()), 0);
    EXPECT_TRUE(gameWalks(10s));
    expectProgramEndsWell();
}

TEST_F(XrLayerTest, ACounterLeftOddIsHealedWhenTheProgramStarts) {
    publish({});
    block().sequence.fetch_add(1);  // a writer killed in the middle of a write
    uitest::XSession session;
    ASSERT_TRUE(session.ok()) << "no Xvfb";
    ScopedEnv runtime{"XDG_RUNTIME_DIR", dir_.path()};  // the block's folder, not the session's
    startWalking();
    EXPECT_TRUE(gameWalks());
    expectProgramEndsWell();
}

// A second copy on a second display of the same user: it says that the block is taken and
// never writes it, so the game's walk never flips to the second copy's stillness.
TEST_F(XrLayerTest, ASecondCopyOfTheProgramLeavesTheBlockToTheFirst) {
    uitest::XSession first;
    ASSERT_TRUE(first.ok()) << "no Xvfb";
    ScopedEnv runtime{"XDG_RUNTIME_DIR", dir_.path()};
    startWalking();
    const XrInstance instance = createInstance();
    {
        xrtest::XrGame game(xrGetInstanceProcAddr, instance, GameKind::Hands);
        ASSERT_TRUE(waitUntil([&] { return game.frame().at("L").y > 0.4f; }, 60s));
        uitest::XSession second;
        ASSERT_TRUE(second.ok()) << "no Xvfb";
        ScopedEnv runtime2{"XDG_RUNTIME_DIR", dir_.path()};
        testsupport::TempDir other;  // a platform nobody stands on: it would publish zeros
        auto standing = startSimulator(other.path(), "stand:600");
        auto copy = startProgram(other.path());
        ASSERT_TRUE(waitUntil(
            [&] {
                return testsupport::readFile(other.file("tarvel.log")).find("another copy") !=
                       std::string::npos;
            },
            30s));
        int still = 0;
        for (int i = 0; i < 300; ++i) still += game.frame().at("L").y > 0.4f ? 0 : 1;
        EXPECT_EQ(still, 0);
        copy->signal(SIGTERM);
        EXPECT_EQ(copy->wait(10s), std::optional<int>(0));
    }
    xrDestroyInstance(instance);
    expectProgramEndsWell();
}

// The program in a runtime folder with no room left (a 4 kB tmpfs, filled, in a mount namespace
// of its own): it says so once and runs on.
TEST_F(XrLayerTest, AFullRuntimeFolderLeavesTheProgramRunning) {
    if (std::system("unshare --mount mount -t tmpfs -o size=4k tmpfs /tmp 2>/dev/null") != 0) {
        GTEST_SKIP() << "no mount namespace of its own";
    }
    uitest::XSession session;
    ASSERT_TRUE(session.ok()) << "no Xvfb";
    simulator_ = startSimulator(dir_.path(), "walk:600");
    const std::string full = dir_.file("full");
    std::filesystem::create_directory(full);
    const std::string script =
        "mount -t tmpfs -o size=4k,mode=0700 tmpfs \"$1\" && head -c 4096 /dev/zero >\"$1/fill\" "
        "; XDG_RUNTIME_DIR=\"$1\" exec \"$2\"";
    program_ = std::make_unique<testsupport::ChildProcess>(
        std::vector<std::string>{"unshare", "--mount", "bash", "-c", script, "full", full,
                                 testsupport::programBinary()},
        dir_.path(), dir_.file("tarvel.log"));
    const auto said = [&] {
        const std::string log = testsupport::readFile(dir_.file("tarvel.log"));
        return log.find("OpenXR block cannot be created") != std::string::npos;
    };
    ASSERT_TRUE(waitUntil(said, 30s)) << testsupport::readFile(dir_.file("tarvel.log"));
    expectProgramEndsWell();
}

}  // namespace
