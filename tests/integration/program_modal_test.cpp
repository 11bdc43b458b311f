// The built program under a private X server with a window manager, against the simulator,
// while a modal dialog or menu is open: a real zenity file dialog, the tray menu. Datagrams
// keep coming, the window keeps painting, clicks on it are dropped, the key emulation holds
// nothing behind the dialog, a termination signal ends
// the dialog or the menu and the program with its save, and the menu closes on Escape and on
// a click elsewhere.
// GoogleTest before Xlib, whose None macro would break it.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "settings/settings_file.h"
#include "tests/integration/program_run.h"
#include "tests/support/scoped_env.h"

namespace {

// Where the program puts its window and widgets (client coordinates).
constexpr int kWidth = 440;
constexpr int kComIdTextX = 90, kComIdTextY = 10, kComIdTextW = 30;
constexpr int kComIdUpX = 120, kComIdUpY = 10;
constexpr int kSettingsLoadX = 80, kSettingsSaveX = 230, kSettingsY = 410;
// The first sensor's live read-out.
constexpr int kSensorX = 10, kSensorY = 70, kSensorW = 37;
const uitest::Rgb kButtonFace{150, 0, 0};

class ProgramModalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"zenity", "xdotool", "pgrep"}) {
            if (!testsupport::onPath(tool)) GTEST_SKIP() << tool << " is not installed";
        }
        session_ = std::make_unique<uitest::XSession>(/*windowManager=*/true);
        ASSERT_TRUE(session_->ok()) << "no Xvfb";
    }
    void TearDown() override {
        // A dialog that outlived a failed test goes with it.
        for (int pid : dialogPids_) kill(pid, SIGKILL);
        program_.reset();
        simulator_.reset();
        session_.reset();
    }

    void startProgram() {
        simulator_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{testsupport::simulatorBinary(), "--port", "3", "--quiet",
                                     "--scenario", "walk"},
            dir_.path(), dir_.file("sim.log"));
        ASSERT_TRUE(waitUntil([&] { return testsupport::fileExists(dir_.file("COM3")); }, 10s));
        program_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{testsupport::programBinary()}, dir_.path(),
            dir_.file("tarvel.log"),
            std::vector<std::string>{"GSETTINGS_BACKEND=memory", "NO_AT_BRIDGE=1"});
        Window main = None;
        ASSERT_TRUE(waitUntil(
            [&] {
                const std::vector<Window> found = session_->findAllByName("Tarvel-Omnix", kWidth);
                main = found.empty() ? None : found.front();
                return session_->viewable(main);
            },
            10s))
            << readFile(dir_.file("tarvel.log"));
        std::tie(x_, y_) = session_->origin(main);
        ASSERT_TRUE(waitUntil([&] { return painted(kComIdUpX, kComIdUpY); }, 5s));
    }

    // Whether the button at (bx, by) of the window shows its face.
    bool painted(int bx, int by) {
        return session_->pixel(x_ + bx + 3, y_ + by + 4) == kButtonFace;
    }

    // Runs a shell command and returns what it printed.
    std::string shell(const std::string& script) {
        const std::string out = dir_.file("shell.out");
        testsupport::writeFile(out, "");
        ChildProcess run({"sh", "-c", script}, {}, out);
        run.wait(60s);
        return readFile(out);
    }

    // Opens the file dialog with the button at (bx, kSettingsY), waits for zenity's window and
    // moves it to the bottom right corner of the screen, off most of the main window. Returns
    // the window's id; the dialog's process is remembered.
    std::string openDialog(int bx) {
        session_->click(x_ + bx + 20, y_ + kSettingsY + 10);
        std::string window =
            shell("timeout 30 xdotool search --sync --onlyvisible --class zenity | head -n 1");
        window.erase(window.find_last_not_of("\n") + 1);
        if (window.empty()) return window;
        std::istringstream children(shell("pgrep -P " + std::to_string(program_->pid())));
        for (int pid; children >> pid;) dialogPids_.push_back(pid);
        shell("xdotool windowsize " + window + " 300 300 windowmove " + window + " 600 500");
        return window;
    }

    // Whether `count` datagrams come, none of them more than a second after the one before.
    static bool datagramsFlow(testsupport::UdpListener& listener, int count) {
        listener.drain();
        for (int i = 0; i < count; ++i) {
            if (!listener.receive(1s)) return false;
        }
        return true;
    }

    bool dialogsGone() {
        return std::all_of(dialogPids_.begin(), dialogPids_.end(),
                           [](int pid) { return kill(pid, 0) != 0 && errno == ESRCH; });
    }

    testsupport::TempDir dir_;
    std::unique_ptr<uitest::XSession> session_;
    std::unique_ptr<ChildProcess> simulator_;
    std::unique_ptr<ChildProcess> program_;
    std::vector<int> dialogPids_;
    int x_ = 0;
    int y_ = 0;
};

TEST_F(ProgramModalTest, WhileTheFileDialogIsOpenTheLoopGoesOnAndClicksAreDropped) {
    // In desktop mode: walking holds W, but nothing is held or typed behind the dialog.
    testsupport::writeFile(dir_.file("tarvel.ini"), "[emulation]\r\nappMode=1\r\n");
    testsupport::UdpListener listener(12345);
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_TRUE(waitUntil([&] { return session_->keyDown(XK_w); }, 10s)) << "W never held";
    const std::string dialog = openDialog(kSettingsLoadX);
    ASSERT_FALSE(dialog.empty()) << "no dialog";
    ASSERT_FALSE(dialogPids_.empty()) << "no dialog process";

    EXPECT_TRUE(datagramsFlow(listener, 200)) << "datagrams stopped";
    EXPECT_FALSE(session_->keyDown(XK_w)) << "W held behind the dialog";
    // What the dialog covered at first is painted again, and the live read-outs change.
    EXPECT_TRUE(waitUntil([&] { return painted(kSettingsSaveX, kSettingsY); }, 5s))
        << "not repainted";
    const auto reading = session_->grab(x_ + kSensorX, y_ + kSensorY, kSensorW, 17);
    EXPECT_TRUE(waitUntil(
        [&] { return session_->grab(x_ + kSensorX, y_ + kSensorY, kSensorW, 17) != reading; }, 5s))
        << "the read-outs stand still";

    // Two clicks on ＋ during the dialog are dropped, not kept for later.
    ASSERT_TRUE(waitUntil([&] { return painted(kComIdUpX, kComIdUpY); }, 5s));
    const auto comId = session_->grab(x_ + kComIdTextX, y_ + kComIdTextY, kComIdTextW, 17);
    session_->click(x_ + kComIdUpX + 10, y_ + kComIdUpY + 10);
    testsupport::sleepMs(300);
    session_->click(x_ + kComIdUpX + 10, y_ + kComIdUpY + 10);
    shell("xdotool windowfocus --sync " + dialog + " key Escape");
    ASSERT_TRUE(waitUntil([&] { return dialogsGone(); }, 10s)) << "the dialog did not close";
    testsupport::sleepMs(500);
    EXPECT_TRUE(session_->grab(x_ + kComIdTextX, y_ + kComIdTextY, kComIdTextW, 17) == comId)
        << "the COM number changed";
    EXPECT_TRUE(datagramsFlow(listener, 10));

    program_->signal(SIGTERM);
    ASSERT_EQ(program_->wait(10s), std::optional<int>(0));
    EXPECT_NE(readFile(dir_.file("tarvel.ini")).find("[param]\r\ncomID=3\r\n"), std::string::npos)
        << readFile(dir_.file("tarvel.ini"));
}

TEST_F(ProgramModalTest, ATerminationSignalEndsTheDialogAndTheProgramWithItsSave) {
    testsupport::writeFile(dir_.file("tarvel.ini"), "[param]\r\nnumStep=77\r\n");
    // What the program runs on: the file's settings, defaults for the rest.
    WalkState loaded{};
    loadSettings(dir_.file("tarvel.ini"), loaded);
    ASSERT_NO_FATAL_FAILURE(startProgram());
    ASSERT_FALSE(openDialog(kSettingsSaveX).empty()) << "no dialog";
    ASSERT_FALSE(dialogPids_.empty()) << "no dialog process";

    const auto start = std::chrono::steady_clock::now();
    program_->signal(SIGTERM);
    const std::optional<int> code = program_->wait(10s);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    ASSERT_TRUE(code.has_value()) << "still running";
    EXPECT_EQ(*code, 0) << readFile(dir_.file("tarvel.log"));
    RecordProperty("exit_ms", static_cast<int>(took.count()));
    EXPECT_TRUE(dialogsGone()) << "the dialog is still running";

    // Saved whole: every setting as the program ran with it, and the steps counted meanwhile
    // (the simulated user walks).
    WalkState saved{};
    loadSettings(dir_.file("tarvel.ini"), saved);
    EXPECT_GE(saved.numStep, 77);
    WalkState expected = loaded;
    expected.numStep = saved.numStep;
    EXPECT_EQ(readFile(dir_.file("tarvel.ini")), formatSettings(expected));
}

TEST_F(ProgramModalTest, WhileTheTrayMenuIsOpenDatagramsGoOnAndEscapeOrAClickElsewhereClosesIt) {
    session_->startTrayHost();
    testsupport::UdpListener listener(12345);
    ASSERT_NO_FATAL_FAILURE(startProgram());
    std::vector<Window> icons;
    ASSERT_TRUE(waitUntil(
        [&] { return !(icons = session_->findAllByName("ZendraTarvel-Omnix", 1)).empty(); }, 10s))
        << "no tray icon";
    const auto [ix, iy] = session_->origin(icons.front());
    auto openMenu = [&, ix = ix, iy = iy] {
        return session_->openPopupAt(ix + 10, iy + 10) != None;
    };
    auto menuClosed = [&] { return waitUntil([&] { return session_->findPopup() == None; }, 5s); };

    ASSERT_TRUE(openMenu()) << "no menu";
    EXPECT_TRUE(datagramsFlow(listener, 200)) << "datagrams stopped";
    session_->key(XK_Escape, true);
    session_->key(XK_Escape, false);
    EXPECT_TRUE(menuClosed()) << "Escape left the menu open";

    ASSERT_TRUE(openMenu()) << "no menu";
    session_->click(20, 700);  // the bare desktop
    EXPECT_TRUE(menuClosed()) << "a click elsewhere left the menu open";

    EXPECT_TRUE(program_->running());
    EXPECT_TRUE(datagramsFlow(listener, 10));

    // A termination signal closes the menu and ends the program.
    ASSERT_TRUE(openMenu()) << "no menu";
    program_->signal(SIGTERM);
    EXPECT_EQ(program_->wait(10s), std::optional<int>(0));
}

}  // namespace
