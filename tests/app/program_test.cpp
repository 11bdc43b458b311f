// The whole program in-process on the fake window system: the second-copy
// path, start-up with the loaded settings, placement, a hidden start and the
// session's notes, the exit through the tray menu and through termination
// signals with the exit save, and connected runs over a real pseudo-terminal
// that send real datagrams.
#include "app/program.h"

#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/walk_state.h"
#include "app/frame_pass.h"
#include "link/sensor_link.h"
#include "mainwindow/uiex.h"
#include "output/input_emulator.h"
#include "output/telemetry.h"
#include "platform/single_instance.h"
#include "settings/settings_file.h"
#include "tests/support/as_user.h"
#include "tests/support/default_settings.h"
#include "tests/support/fake_window_system.h"
#include "tests/support/pty_pair.h"
#include "tests/support/recording_injector.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"
#include "tests/support/telemetry_text.h"

using namespace std::chrono_literals;
using testsupport::readFile;
using testsupport::ScopedEnv;
using testsupport::writeFile;

namespace {

constexpr const char* kIni =
    "[param]\r\ncomID=42\r\nnumStep=42\r\nthresholdFL=-15.00\r\n"
    "[emulation]\r\nappMode=1\r\nmoveFrontKeyCode=38\r\n";

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static int counter = 0;
        instanceName_ = "tarvel-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        options.instanceName = instanceName_.c_str();
        options.injector = &injector;
        options.telemetryPort = listener.port();
        stopSensorReader();
        WalkState::instance() = WalkState{};
        writeFile(dir_.file("tarvel.ini"), kIni);
    }
    void TearDown() override { SensorLink::instance().reset(); }

    // The main window (the one top-level window titled "Tarvel-Omnix").
    platform::NativeWindow mainWindow() { return fake.findByTitle("Tarvel-Omnix"); }

    // Ends the run through the tray menu's exit item.
    void chooseExitFromTray() {
        fake.menuChoice = 40004;
        fake.postMessage(mainWindow(), platform::kWmTrayIcon, 0, platform::kWmRButtonDown);
    }

    // Runs the program, calls `atFirstIdle` on its first idle turn and then ends it through the
    // tray menu. Returns the exit code.
    int runToFirstIdle(const std::function<void()>& atFirstIdle = {}) {
        bool done = false;
        fake.whenIdle = [&] {
            if (done) return;
            done = true;
            if (atFirstIdle) atFirstIdle();
            chooseExitFromTray();
        };
        const int code = runProgram(options);
        EXPECT_TRUE(done);
        return code;
    }

    // Runs the program while a watcher reads its datagrams: `more` sees each one until it
    // returns false (or none comes for 5 s), then the signal `sig` ends the program.
    int runWatching(const std::function<bool(const std::string&)>& more, int sig = SIGTERM) {
        std::thread watcher([&] {
            while (auto d = listener.receive(5s)) {
                if (!more(*d)) break;
            }
            kill(getpid(), sig);
        });
        const int code = runProgram(options);
        watcher.join();
        return code;
    }

    testsupport::TempDir dir_;
    testsupport::ScopedCwd cwd_{dir_.path()};
    testsupport::FakeWindowSystem fake;
    testsupport::RecordingInjector injector;
    testsupport::UdpListener listener;
    std::string instanceName_;
    ProgramOptions options;
};

TEST_F(ProgramTest, ASecondCopyShowsTheBoxAndTouchesNothing) {
    platform::SingleInstanceGuard first;
    ASSERT_TRUE(first.acquire(options.instanceName));

    EXPECT_EQ(runProgram(options), 0);

    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    EXPECT_EQ(fake.messageBoxes[0].text, "すでに起動しています");
    EXPECT_EQ(fake.messageBoxes[0].caption, "ZendraTarvel-Omnix");
    EXPECT_EQ(fake.messageBoxes[0].owner, 0u);
    // The running copy is asked to show its window, as its tray menu's 表示 would.
    ASSERT_EQ(fake.otherCopyCommands.size(), 1u);
    EXPECT_EQ(fake.otherCopyCommands[0].title, "Tarvel-Omnix");
    EXPECT_EQ(fake.otherCopyCommands[0].command, UIEx::kMenuShowWindow);
    EXPECT_EQ(mainWindow(), 0u);
    EXPECT_TRUE(fake.registeredClasses.empty());
    EXPECT_EQ(fake.trayAdds, 0);
    EXPECT_EQ(readFile(dir_.file("tarvel.ini")), kIni);
    EXPECT_EQ(WalkState::instance().comID, 0);  // no settings were loaded
    EXPECT_TRUE(injector.scanCodeQueries.empty());
    // The guard of the first copy is still held: the box comes again.
    EXPECT_EQ(runProgram(options), 0);
    EXPECT_EQ(fake.messageBoxes.size(), 2u);
}

TEST_F(ProgramTest, StartsWithTheLoadedSettingsAndEndsThroughTheTrayMenu) {
    testsupport::TempDir elsewhere;
    EXPECT_EQ(runToFirstIdle([&] {
                  const platform::NativeWindow main = mainWindow();
                  ASSERT_NE(main, 0u);
                  auto* w = fake.window(main);
                  EXPECT_TRUE(w->visible);
                  EXPECT_EQ(w->rect, (platform::Rect{740, 302, 740 + 440, 302 + 475}));
                  EXPECT_EQ(w->style, 0x00CA0000u);
                  EXPECT_EQ(w->className, "win");
                  const platform::WindowClass& cls = fake.registeredClasses.front();
                  EXPECT_EQ(cls.name, "win");
                  EXPECT_EQ(cls.iconId, 101);
                  EXPECT_EQ(cls.background, 0x191919u);
                  EXPECT_EQ(cls.cursorId, platform::kIdcArrow);
                  // The tray icon belongs to the window, with id 0 and its callback.
                  ASSERT_EQ(fake.trayIcons.count(0), 1u);
                  EXPECT_EQ(fake.trayIcons[0].window, main);
                  EXPECT_EQ(fake.trayIcons[0].tip, "ZendraTarvel-Omnix");
                  EXPECT_EQ(fake.trayIcons[0].callbackMessage, 0x415u);
                  EXPECT_EQ(fake.trayIcons[0].iconId, 101);
                  // The widgets were built after the load and the (failed) port opening,
                  // and laid out before the window was shown.
                  const platform::NativeWindow com = fake.findByTitle("42");
                  ASSERT_NE(com, 0u);
                  EXPECT_EQ(fake.window(com)->rect.left, 90);
                  EXPECT_NE(fake.findByTitle("・・・未接続"), 0u);
                  EXPECT_NE(fake.findByTitle("デスクトップモード"), 0u);
                  const platform::NativeWindow save = fake.findByTitle("設定ファイル保存");
                  EXPECT_EQ(fake.window(save)->rect.left, 230);
                  EXPECT_EQ(fake.window(save)->rect.top, 410);
                  // The key emulation read its key codes from the loaded settings.
                  ASSERT_EQ(injector.scanCodeQueries.size(), 3u);
                  EXPECT_EQ(injector.scanCodeQueries[0], 38);
                  // Not connected: no datagram, no input.
                  EXPECT_FALSE(listener.receive(0ms).has_value());
                  EXPECT_TRUE(injector.events.empty());

                  WalkState::instance().numStep = 77;
                  // A file dialog may move the working folder while it is open.
                  ASSERT_EQ(::chdir(elsewhere.path().c_str()), 0);
              }),
              0);
    EXPECT_FALSE(testsupport::fileExists(elsewhere.file("tarvel.ini")));
    EXPECT_TRUE(fake.trayIcons.empty());
    EXPECT_EQ(fake.window(fake.destroyed.front()), nullptr);
    EXPECT_TRUE(fake.messageBoxes.empty());
    // Saved on the way out, the step count of this run included.
    const std::string saved = readFile(dir_.file("tarvel.ini"));
    EXPECT_EQ(saved, formatSettings(WalkState::instance()));
    EXPECT_NE(saved.find("numStep=77\r\n"), std::string::npos);
    EXPECT_NE(saved.find("thresholdFL=-15.00\r\n"), std::string::npos);
    // The guard was let go: another run starts normally.
    ASSERT_EQ(::chdir(dir_.path().c_str()), 0);
    EXPECT_EQ(runToFirstIdle(), 0);
    EXPECT_TRUE(fake.messageBoxes.empty());
}

TEST_F(ProgramTest, TheWindowIsCentredOnTheScreen) {
    struct Case {
        platform::Size screen;
        platform::Point at;
    };
    for (const Case& c : {Case{{1920, 1080}, {740, 302}}, Case{{1366, 768}, {463, 146}},
                          Case{{500, 400}, {30, -37}}}) {
        fake.screen = c.screen;
        platform::Rect placed;
        EXPECT_EQ(runToFirstIdle([&] { placed = fake.window(mainWindow())->rect; }), 0);
        EXPECT_EQ(placed.left, c.at.x) << c.screen.cx << "x" << c.screen.cy;
        EXPECT_EQ(placed.top, c.at.y) << c.screen.cx << "x" << c.screen.cy;
    }
}

TEST_F(ProgramTest, StartsHiddenInTheTrayOnlyWhenThereIsOne) {
    bool visible = false;
    const auto visibleAtStart = [&] {
        EXPECT_EQ(runToFirstIdle([&] { visible = fake.window(mainWindow())->visible; }), 0);
        return visible;
    };
    EXPECT_TRUE(visibleAtStart());
    options.startHidden = true;
    EXPECT_FALSE(visibleAtStart());
    fake.trayHostRunning = false;
    EXPECT_TRUE(visibleAtStart()) << "no tray to bring a hidden window back from";
}

TEST_F(ProgramTest, DesktopModeInAWaylandSessionSaysSoOnce) {
    // What the program says on stderr in a run with this appMode.
    const auto saysInMode = [&](int appMode) {
        writeFile(dir_.file("tarvel.ini"),
                  "[emulation]\r\nappMode=" + std::to_string(appMode) + "\r\n");
        ::testing::internal::CaptureStderr();
        runToFirstIdle();
        return ::testing::internal::GetCapturedStderr();
    };
    const std::string note = "tarvel: this is a Wayland session: desktop mode's key presses";
    using ::testing::HasSubstr;
    using ::testing::Not;
    {
        ScopedEnv display("WAYLAND_DISPLAY", "wayland-0");
        ScopedEnv type("XDG_SESSION_TYPE", std::nullopt);
        const std::string said = saysInMode(1);
        EXPECT_THAT(said, HasSubstr(note));
        EXPECT_EQ(said.find(note), said.rfind(note));
        EXPECT_THAT(saysInMode(0), Not(HasSubstr("Wayland")));
    }
    {
        ScopedEnv display("WAYLAND_DISPLAY", std::nullopt);
        ScopedEnv type("XDG_SESSION_TYPE", "wayland");
        EXPECT_THAT(saysInMode(1), HasSubstr(note));
    }
    ScopedEnv display("WAYLAND_DISPLAY", std::nullopt);
    ScopedEnv type("XDG_SESSION_TYPE", "x11");
    EXPECT_THAT(saysInMode(1), Not(HasSubstr("Wayland")));
}

std::string frame(int tick, int extra = 0) {
    std::string s = "!";
    for (int i = 0; i < 8; ++i) s += std::to_string(100 + 10 * i + extra) + ",";
    return s + std::to_string(tick) + "\r\n";
}

// A controller behind a pseudo-terminal linked as ./COM7 (and comID=7 in the settings): sends
// line(0) at once, to wait in the line for the opening, then line(1), line(2), ... every 10 ms
// until it goes.
class Controller {
  public:
    Controller(const testsupport::TempDir& dir, std::function<std::string(int)> line)
        : line_(std::move(line)) {
        pty_.linkAs(dir.file("COM7"));
        writeFile(dir.file("tarvel.ini"), "[param]\r\ncomID=7\r\n");
        pty_.write(line_(0));
        thread_ = std::thread([this] {
            for (int tick = 1; !stop_; ++tick) {
                std::this_thread::sleep_for(10ms);
                pty_.write(line_(tick));
            }
        });
    }
    ~Controller() {
        stop_ = true;
        thread_.join();
    }

  private:
    testsupport::PtyPair pty_;
    std::function<std::string(int)> line_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// What a datagram says: the results of an empty platform, walking (the lower moving
// average above the default threshold), or neither (the windows filling up).
enum class Shown { Rest, Walking, Other };
Shown shown(const std::string& datagram) {
    if (testsupport::datagramAtRest(datagram)) return Shown::Rest;
    return std::stod(testsupport::datagramFields(datagram)[6]) > 0.3 ? Shown::Walking
                                                                     : Shown::Other;
}

// The values in the order they first appear in runs, leaving out `skip`.
template <typename T>
std::vector<T> runsOf(const std::vector<T>& values, const T& skip) {
    std::vector<T> runs;
    for (const T& v : values) {
        if (v != skip && (runs.empty() || runs.back() != v)) runs.push_back(v);
    }
    return runs;
}

// The texts the status label was painted with, in runs.
std::vector<std::string> statusTexts(const testsupport::FakeWindowSystem& fake) {
    std::vector<std::string> texts;
    for (const auto& op : fake.drawing) {
        if (op.kind == op.Text && op.text.starts_with("・・・")) texts.push_back(op.text);
    }
    return runsOf(texts, std::string());
}

TEST_F(ProgramTest, AnUnpluggedPlatformWalksNobodyUntilItIsBack) {
    writeFile(dir_.file("tarvel.ini"), "[param]\r\ncomID=7\r\n[emulation]\r\nappMode=1\r\n");
    testsupport::ChildProcess simulator({testsupport::simulatorBinary(), "--port", "7",
                                         "--scenario", "walk", "--unplug-for", "700", "--quiet"},
                                        dir_.path());
    ASSERT_TRUE(testsupport::waitUntil([&] { return testsupport::fileExists("COM7"); }, 5s));
    // Walking, then the platform is unplugged, then it is back and walked on again.
    const Shown wanted[] = {Shown::Walking, Shown::Rest, Shown::Walking};
    std::size_t reached = 0;
    std::vector<Shown> seen;
    EXPECT_EQ(runWatching([&](const std::string& d) {
                  seen.push_back(shown(d));
                  if (seen.back() != wanted[reached]) return true;
                  if (reached == 0) simulator.signal(SIGUSR1);
                  return ++reached < std::size(wanted);
              }),
              0);

    const auto walked = std::find(seen.begin(), seen.end(), Shown::Walking);
    EXPECT_EQ(runsOf(std::vector<Shown>(walked, seen.end()), Shown::Other),
              (std::vector<Shown>{Shown::Walking, Shown::Rest, Shown::Walking}));
    // W held while walking, let go while the platform is away, held again, let go at the end.
    std::vector<std::string> forward;
    for (const std::string& e : injector.describe()) {
        if (e.ends_with(" W")) forward.push_back(e);
    }
    EXPECT_EQ(runsOf(forward, std::string()),
              (std::vector<std::string>{"press W", "release W", "press W", "release W"}));
    // The status (painted on its first change) says when no data arrives, and says connected
    // again once frames come back. A busy machine may hold the frames up for longer than the
    // silence limit at other times too, which shows as more of the same pairs, the end included,
    // or as frames held back ("・・・データ欠落").
    std::vector<std::string> status = statusTexts(fake);
    std::erase(status, "・・・データ欠落");
    status = runsOf(status, std::string());
    ASSERT_GE(status.size(), 2u);
    EXPECT_EQ(status.front(), "・・・データなし");
    EXPECT_EQ(status[1], "・・・接続済");
    for (const std::string& text : status) {
        EXPECT_TRUE(text == "・・・データなし" || text == "・・・接続済") << text;
    }
    for (float m : WalkState::instance().loadMax) EXPECT_EQ(m, 10.0f);
}

TEST_F(ProgramTest, AMainThreadHeldUpLeavesTheListenerAtRestAndTheWindowSaysSo) {
    writeFile(dir_.file("tarvel.ini"), "[param]\r\ncomID=7\r\n");
    testsupport::ChildProcess simulator(
        {testsupport::simulatorBinary(), "--port", "7", "--scenario", "walk", "--quiet"},
        dir_.path());
    ASSERT_TRUE(testsupport::waitUntil([&] { return testsupport::fileExists("COM7"); }, 5s));
    // Once walking shows, the next paint of a text holds the main thread up until the listener
    // has had the values at rest and 25 more frames have come (or for 10 s).
    enum Phase { Starting, HoldNext, Held, Released };
    std::atomic<int> phase{Starting};
    std::atomic<bool> restWhileHeld{false};
    fake.measure = [&, plain = fake.measure](std::string_view text, std::int32_t height) {
        int due = HoldNext;
        if (phase.compare_exchange_strong(due, Held)) {
            // Held past the silence limit: the values at rest went out meanwhile, and frames
            // for a quarter of a second wait for the passes.
            const float heldAt = SensorLink::instance().currentTick();
            testsupport::waitUntil(
                [&] {
                    return restWhileHeld && SensorLink::instance().currentTick() >= heldAt + 25;
                },
                10s);
            phase = Released;
        }
        return plain(text, height);
    };
    // Afterwards, passes enough for a dozen refreshes (each pass pauses 1 ms).
    int afterRelease = 0;
    EXPECT_EQ(runWatching([&](const std::string& d) {
                  const Shown s = shown(d);
                  if (phase == Starting && s == Shown::Walking) phase = HoldNext;
                  if (phase == Held && s == Shown::Rest) restWhileHeld = true;
                  return !(phase == Released && ++afterRelease > 200);
              }),
              0);
    EXPECT_TRUE(restWhileHeld);
    const std::vector<std::string> status = statusTexts(fake);
    EXPECT_NE(std::find(status.begin(), status.end(), "・・・データ欠落"), status.end())
        << "the window did not say that frames were held back: "
        << ::testing::PrintToString(status);
}

// Connected, a datagram goes out per pass until a termination signal ends the program the way
// the exit command does (the loop woken, the tray icon gone, the settings of the run saved); its
// last datagram is at rest, though the user walked until then, so that the driver is told that
// nobody walks any more.
class SignalTest : public ProgramTest, public ::testing::WithParamInterface<int> {};

TEST_P(SignalTest, EndsAConnectedRunLikeTheExitCommandWithTheLastDatagramAtRest) {
    // The empty platform for the tare, then a load on every sensor.
    Controller controller(dir_, [](int tick) { return frame(tick, tick < 60 ? 0 : 50); });
    std::vector<std::string> got;
    bool walked = false;
    EXPECT_EQ(runWatching(
                  [&](const std::string& d) {
                      got.push_back(d);
                      walked = walked || shown(d) != Shown::Rest;
                      return got.size() < 20 || !walked;
                  },
                  GetParam()),
              0);
    ASSERT_GE(got.size(), 20u);
    ASSERT_EQ(got.front().size(), kTelemetryRecordSize);
    EXPECT_EQ(got.front().substr(0, 4), "0,0,");
    while (auto d = listener.receive(0ms)) got.push_back(*d);
    EXPECT_EQ(shown(got.back()), Shown::Rest);
    EXPECT_GE(fake.wakeUps, 1);
    EXPECT_TRUE(fake.trayIcons.empty());
    EXPECT_TRUE(SensorLink::instance().connected);
    EXPECT_TRUE(injector.events.empty());                     // VR mode: no input
    EXPECT_EQ(SensorLink::instance().readerThread, nullptr);  // stopped before the save
    EXPECT_EQ(readFile(dir_.file("tarvel.ini")), formatSettings(WalkState::instance()));
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

// A port that stays silent, and one with a GPS receiver behind it, whose sentences the stream
// rules store like fields but which are no platform frames.
class NoPlatformTest : public ProgramTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(NoPlatformTest, APortWithoutPlatformFramesShowsNoDataAndRests) {
    Controller controller(dir_, [line = GetParam()](int) { return line; });
    testing::internal::CaptureStderr();
    std::vector<Shown> seen;
    EXPECT_EQ(runWatching([&](const std::string& d) {
                  seen.push_back(shown(d));
                  return seen.size() < 30;
              }),
              0);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(seen, std::vector<Shown>(30, Shown::Rest));
    EXPECT_EQ(statusTexts(fake), std::vector<std::string>{"・・・データなし"});
    const bool told =
        log.find("sends text that is not platform frames: \"$GPGGA,123519,") != std::string::npos;
    EXPECT_EQ(told, !GetParam().empty()) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Ports, NoPlatformTest,
    ::testing::Values("", "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"));
TEST(SingleInstanceGuardTest, OneHolderPerNameAndDisplay) {
    const std::string name = "tarvel-guard-test-" + std::to_string(getpid());
    testsupport::ScopedEnv display("DISPLAY", ":41");
    platform::SingleInstanceGuard first;
    platform::SingleInstanceGuard second;
    ASSERT_TRUE(first.acquire(name.c_str()));
    EXPECT_TRUE(first.held());
    EXPECT_FALSE(second.acquire(name.c_str()));
    EXPECT_FALSE(second.held());
    // Another screen of the same display is the same session.
    setenv("DISPLAY", ":41.1", 1);
    EXPECT_FALSE(second.acquire(name.c_str()));
    // Another display is another session.
    setenv("DISPLAY", ":42", 1);
    EXPECT_TRUE(second.acquire(name.c_str()));
    second.release();
    // Let go, the name can be taken again.
    setenv("DISPLAY", ":41", 1);
    first.release();
    EXPECT_TRUE(second.acquire(name.c_str()));
}

// Another user holding all they can (the abstract socket name the guard once was, the guard in
// our environment) stops nothing.
TEST(SingleInstanceGuardTest, NoOtherUserCanTakeIt) {
    const auto other = settingstest::otherUser();
    if (!other) GTEST_SKIP() << settingstest::kNeedsRoot;
    const std::string name = "tarvel-guard-user-test-" + std::to_string(getpid());
    testsupport::TempDir runtime;
    testsupport::ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.path()), display("DISPLAY", ":43");
    // The other user takes all they can, then holds on until killed.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t squatter = ::fork();
    if (squatter == 0 && ::setgroups(0, nullptr) == 0 && ::setgid(other->pw_gid) == 0 &&
        ::setuid(other->pw_uid) == 0) {
        const std::string old = '\0' + name + ".0.:43";
        sockaddr_un at{AF_UNIX, {}};
        old.copy(at.sun_path, old.size());
        ::bind(::socket(AF_UNIX, SOCK_STREAM, 0), reinterpret_cast<sockaddr*>(&at),
               static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + old.size()));
        platform::SingleInstanceGuard guard;
        if (guard.acquire(name.c_str()) && ::write(ready[1], "r", 1) == 1) ::pause();
    }
    if (squatter == 0) _exit(1);
    ::close(ready[1]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    platform::SingleInstanceGuard guard;
    EXPECT_TRUE(guard.acquire(name.c_str()) && guard.held());
    ::kill(squatter, SIGKILL);
    ::waitpid(squatter, nullptr, 0);
}

// A frame pass over the process's link and record, connected, with the defaults of a first
// start, sending to a listener of the test's own.
class PassTest : public ::testing::Test {
  protected:
    void SetUp() override {
        restart();
        telemetry.open(listener.port());
    }
    void TearDown() override {
        telemetry.close();
        link.reset();
    }
    void restart() {
        stopSensorReader();
        state = testsupport::defaultSettings();
        link.reset();
        link.connected = true;
    }

    WalkState& state = WalkState::instance();
    SensorLink& link = SensorLink::instance();
    testsupport::UdpListener listener;
    TelemetrySender telemetry;
};

// Frames that a busy machine held up past the silence limit, their counter going on without a
// gap, leave the analysis as if they had come in time; frames after a gap start afresh.
TEST_F(PassTest, FramesHeldUpContinueTheAnalysisAndFramesAfterAGapStartAfresh) {
    const FramePass::Clock::time_point t0{};
    // Walks on sensors 1, 3 (left) and 5, 7 (right) in turn; held up after frame 40 when
    // `heldUp`, restarting the counter there when `gap`.
    auto walk = [&](bool heldUp, bool gap) {
        restart();
        FramePass pass(link, state, telemetry, nullptr);
        float afterHoldUp = 0.0f;
        for (int k = 1; k <= 80; ++k) {
            const auto arrival =
                t0 + std::chrono::milliseconds(10 * k + (k > 40 && heldUp ? 500 : 0));
            if (k == 41 && heldUp) pass.run(arrival - std::chrono::milliseconds(100));
            for (int i = 0; i < 8; ++i)
                link.store(i, (i % 2 == 0) ? 4.0f : ((k / 10 + i / 4) % 2) * 9.0f);
            link.store(8, static_cast<float>(gap && k > 40 ? k + 5 : k), true, arrival);
            pass.run(arrival);
            if (k == 41) afterHoldUp = state.lowerMovingAverage;
        }
        return std::make_pair(state.numStep, afterHoldUp);
    };
    const auto quiet = walk(false, false);
    EXPECT_GT(quiet.first, 4);
    EXPECT_EQ(walk(true, false), quiet);
    EXPECT_NE(walk(true, true).second, quiet.second);
}

// The datagram of a pass carries the results of that pass's analysis.
TEST_F(PassTest, AnalysisComesBeforeTheDatagram) {
    for (int i = 0; i < 8; ++i) link.store(i, 4.0f + static_cast<float>(i));
    link.store(8, 1.0f, true, FramePass::Clock::now());
    FramePass(link, state, telemetry, nullptr).run(FramePass::Clock::now());
    const auto datagram = listener.receive(2s);
    ASSERT_TRUE(datagram.has_value());
    EXPECT_NE(state.upperAverage, 0.0f);
    unsigned char expected[kTelemetryRecordSize];
    formatTelemetry(state, expected);
    EXPECT_EQ(*datagram, std::string(reinterpret_cast<char*>(expected), sizeof expected));
}

}  // namespace
