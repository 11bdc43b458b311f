// The built program under a private X server with a window manager and a tray
// host, against the platform simulator: it connects and sends datagrams, shows
// its window, obeys clicks, hides to the tray and comes back, exits from the
// tray menu with the exit save; a second copy only shows its box; without a
// display it fails clearly; a termination signal ends it like the exit command;
// in desktop mode no key or button stays down after the end.
// GoogleTest before Xlib, whose None macro would break it.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/integration/program_run.h"

namespace {

// Where the program puts its widgets (client coordinates).
constexpr int kComIdTextX = 90, kComIdTextY = 10, kComIdTextW = 30;
constexpr int kComIdUpX = 120, kComIdUpY = 10;
constexpr int kWidth = 440, kHeight = 475;

class ProgramWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session_ = std::make_unique<uitest::XSession>(/*windowManager=*/true);
        ASSERT_TRUE(session_->ok()) << "no Xvfb";
        display_ = session_->observer();
    }
    void TearDown() override {
        program_.reset();
        second_.reset();
        simulator_.reset();
        session_.reset();
    }

    void startSimulator(int port = 3, std::vector<std::string> options = {"--scenario", "walk"}) {
        std::vector<std::string> command = {testsupport::simulatorBinary(), "--port",
                                            std::to_string(port), "--quiet"};
        command.insert(command.end(), options.begin(), options.end());
        simulator_ = std::make_unique<ChildProcess>(command, dir_.path(), dir_.file("sim.log"));
        const std::string link = dir_.file("COM" + std::to_string(port));
        ASSERT_TRUE(waitUntil([&] { return fileExists(link); }, 10s)) << "no " << link;
    }

    std::unique_ptr<ChildProcess> startProgram(const std::string& log = "tarvel.log") {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{testsupport::programBinary()}, dir_.path(), dir_.file(log));
    }

    // The program's main window, once mapped.
    Window waitForMainWindow() {
        Window w = None;
        waitUntil(
            [&] {
                const std::vector<Window> found = session_->findAllByName("Tarvel-Omnix", kWidth);
                w = found.empty() ? None : found.front();
                return session_->viewable(w);
            },
            10s);
        return w;
    }

    // The window manager's frame around a top-level window.
    Window frameOf(Window w) {
        for (;;) {
            Window root = None;
            Window parent = None;
            Window* children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(display_, w, &root, &parent, &children, &count)) return w;
            if (children != nullptr) XFree(children);
            if (parent == root || parent == None) return w;
            w = parent;
        }
    }

    // Opens the tray icon's menu ("表示", "グラフ", "終了") with a right press and chooses its
    // item `item` (from 0); with `shot`, the screen with the menu open is saved under that name.
    void chooseFromTrayMenu(int item, const char* shot = nullptr) {
        const std::vector<Window> icons = session_->findAllByName("ZendraTarvel-Omnix", 1);
        ASSERT_FALSE(icons.empty()) << "no tray icon";
        const auto [ix, iy] = session_->origin(icons.front());
        const Window popup = session_->openPopupAt(ix + 10, iy + 10);
        ASSERT_NE(popup, None) << "no menu";
        XWindowAttributes menu;
        XGetWindowAttributes(display_, popup, &menu);
        const auto [mx, my] = session_->origin(popup);
        if (shot != nullptr) screenshot(shot);
        session_->click(mx + menu.width / 2, my + menu.height * (2 * item + 1) / 6);
    }

    // How many pixels of the graph window at (x, y) show the angle's curve: the colours of its
    // five rows (GraphWindow::kTraces) inside the angle panel (plot area 34 down, panel
    // 50..550 x 174..334 within it).
    int curvePixels(int x, int y) {
        static const uitest::Rgb kTraces[] = {
            {255, 120, 120}, {215, 150, 255}, {255, 215, 90}, {110, 190, 255}, {140, 235, 150}};
        int n = 0;
        for (const uitest::Rgb& p : session_->grab(x + 50, y + 34 + 174, 500, 160)) {
            n += std::find(std::begin(kTraces), std::end(kTraces), p) != std::end(kTraces);
        }
        return n;
    }

    // Saves the screen where the test's binaries are, for a person to look at.
    void screenshot(const std::string& name) {
        ChildProcess shot({"import", "-window", "root", testsupport::binaryDir() + "/" + name});
        shot.wait(20s);
    }

    TempDir dir_;
    std::unique_ptr<uitest::XSession> session_;
    Display* display_ = nullptr;
    std::unique_ptr<ChildProcess> simulator_;
    std::unique_ptr<ChildProcess> program_;
    std::unique_ptr<ChildProcess> second_;
};

TEST_F(ProgramWindowTest, ConnectsShowsItsWindowAndExitsFromTheTrayMenu) {
    session_->startTrayHost();
    testsupport::UdpListener listener(12345);
    startSimulator();
    program_ = startProgram();

    const Window main = waitForMainWindow();
    ASSERT_NE(main, static_cast<Window>(None)) << readFile(dir_.file("tarvel.log"));
    // Connected at start-up: datagrams flow, 256 bytes of 17 values each.
    std::optional<std::string> datagram;
    for (int i = 0; i < 50; ++i) datagram = listener.receive(5s);
    ASSERT_TRUE(datagram.has_value()) << "no datagrams";
    EXPECT_EQ(datagram->size(), 256u);
    EXPECT_EQ(testsupport::datagramFields(*datagram).size(), 17u);

    // The window: centred on the 1024x768 screen, the dark background, the
    // red buttons.
    const auto [fx, fy] = session_->origin(frameOf(main));
    EXPECT_NEAR(fx, 1024 / 2 - 220, 2);
    EXPECT_NEAR(fy, static_cast<int>(768 * 0.5 - 237.5), 2);
    const auto [x, y] = session_->origin(main);
    // Painted once the background and the ＋ button show their colours.
    EXPECT_TRUE(waitUntil(
        [&] {
            return session_->pixel(x + 5, y + 440) == uitest::Rgb{25, 25, 25} &&
                   session_->pixel(x + kComIdUpX + 3, y + kComIdUpY + 4) == uitest::Rgb{150, 0, 0};
        },
        5s))
        << "background " << testing::PrintToString(session_->pixel(x + 5, y + 440)) << ", button "
        << testing::PrintToString(session_->pixel(x + kComIdUpX + 3, y + kComIdUpY + 4));
    screenshot("program_window.png");

    // Two clicks on ＋ change the COM number shown, each time. The second
    // waits for the first to show: the window manager may swallow a second
    // press that comes in the same millisecond as the click that focused the
    // window, which no hand does.
    for (int click = 0; click < 2; ++click) {
        const auto before = session_->grab(x + kComIdTextX, y + kComIdTextY, kComIdTextW, 17);
        session_->click(x + kComIdUpX + 10, y + kComIdUpY + 10);
        ASSERT_TRUE(waitUntil(
            [&] {
                return session_->grab(x + kComIdTextX, y + kComIdTextY, kComIdTextW, 17) != before;
            },
            5s))
            << "click " << click + 1;
    }
    screenshot("program_window_com5.png");

    // Closing hides the window; the program goes on sending.
    session_->requestClose(main);
    ASSERT_TRUE(waitUntil([&] { return !session_->viewable(main); }, 5s));
    listener.drain();
    EXPECT_TRUE(listener.receive(5s).has_value());

    // A left press on the tray icon shows it again.
    const std::vector<Window> icons = session_->findAllByName("ZendraTarvel-Omnix", 1);
    ASSERT_FALSE(icons.empty()) << "no tray icon";
    const auto [ix, iy] = session_->origin(icons.front());
    session_->click(ix + 10, iy + 10);
    ASSERT_TRUE(waitUntil([&] { return session_->viewable(main); }, 5s));

    // A right press opens the menu of three items: "表示", "グラフ", "終了".
    // "グラフ" opens the graph window beside the main one; its close box closes it, and the
    // program goes on.
    chooseFromTrayMenu(1, "program_tray_menu.png");
    Window graph = None;
    ASSERT_TRUE(waitUntil(
        [&] { return session_->viewable(graph = session_->findByName("Tarvel-Omnix グラフ")); },
        5s));
    EXPECT_TRUE(session_->viewable(main));
    // The angle's curve is drawn over its bands from the frames the program analyses.
    const auto [gx, gy] = session_->origin(graph);
    EXPECT_TRUE(waitUntil([&] { return curvePixels(gx, gy) > 100; }, 10s))
        << curvePixels(gx, gy) << " pixels of the angle's curve";
    screenshot("program_graph.png");
    session_->requestClose(graph);
    ASSERT_TRUE(waitUntil([&] { return !session_->viewable(graph); }, 5s));
    EXPECT_TRUE(session_->viewable(main));
    EXPECT_TRUE(program_->running());
    // "終了" ends the program.
    chooseFromTrayMenu(2);

    const auto code = program_->wait(10s);
    if (!code) screenshot("program_exit_failed.png");
    ASSERT_TRUE(code.has_value()) << "still running";
    EXPECT_EQ(*code, 0) << readFile(dir_.file("tarvel.log"));
    const std::string saved = readFile(dir_.file("tarvel.ini"));
    EXPECT_NE(saved.find("[param]\r\ncomID=5\r\n"), std::string::npos)
        << saved << readFile(dir_.file("tarvel.log"));
    EXPECT_NE(saved.find("moveRightKeyCode=68\r\n"), std::string::npos) << saved;
}

TEST_F(ProgramWindowTest, ASecondCopyShowsTheBoxExitsAndLeavesTheSettingsAlone) {
    testsupport::writeFile(dir_.file("tarvel.ini"), "[param]\r\ncomID=0\r\nnumStep=12\r\n");
    program_ = startProgram();
    const Window main = waitForMainWindow();
    ASSERT_NE(main, static_cast<Window>(None)) << readFile(dir_.file("tarvel.log"));
    // Put away where the user may not find it: the second start brings it back.
    XIconifyWindow(display_, main, DefaultScreen(display_));
    XFlush(display_);
    ASSERT_TRUE(waitUntil([&] { return !session_->viewable(main); }, 10s));

    second_ = startProgram("second.log");
    Window box = None;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (Window w : session_->findAllByName("ZendraTarvel-Omnix", 100)) {
                if (session_->viewable(w)) box = w;
            }
            return box != None;
        },
        10s))
        << "no box";
    screenshot("program_second_copy.png");
    EXPECT_TRUE(waitUntil([&] { return session_->viewable(main); }, 10s))
        << "the running copy's window did not come back";
    EXPECT_TRUE(second_->running());
    // Only one main window exists.
    EXPECT_EQ(session_->findAllByName("Tarvel-Omnix", kWidth).size(), 1u);

    // OK: the button sits centred at the bottom of the box.
    XWindowAttributes a;
    XGetWindowAttributes(display_, box, &a);
    const auto [bx, by] = session_->origin(box);
    session_->click(bx + a.width / 2, by + a.height - 30);
    const auto code = second_->wait(10s);
    ASSERT_TRUE(code.has_value()) << "the second copy is still running";
    EXPECT_EQ(*code, 0);
    EXPECT_EQ(readFile(dir_.file("tarvel.ini")), "[param]\r\ncomID=0\r\nnumStep=12\r\n");
    EXPECT_TRUE(program_->running());

    // The first copy ends on SIGTERM like on its exit command, saving.
    program_->signal(SIGTERM);
    const auto firstCode = program_->wait(10s);
    ASSERT_TRUE(firstCode.has_value());
    EXPECT_EQ(*firstCode, 0);
    const std::string saved = readFile(dir_.file("tarvel.ini"));
    EXPECT_NE(saved.find("comID=0\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("numStep=12\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[emulation]"), std::string::npos) << saved;
}

// A tarvel.ini kept as it is because it gives no setting is told in a box at start, and the
// settings saved beside it in an earlier run are used; the program goes on sending behind the
// box, and SIGTERM closes it and ends the program, saving beside the file again.
TEST_F(ProgramWindowTest, AnUnusableSettingsFileIsToldInABoxWhileTheDatagramsGoOn) {
    const std::string unusable = "[param]\rcomID=3\rnumStep=12\r";
    testsupport::writeFile(dir_.file("tarvel.ini"), unusable);
    testsupport::writeFile(dir_.file("tarvel.ini.new"), "[param]\r\nwalkSpeedFB=0.5\r\n");
    testsupport::UdpListener listener(12345);
    startSimulator();
    program_ = startProgram();
    ASSERT_TRUE(waitUntil(
        [&] {
            const std::vector<Window> boxes = session_->findAllByName("ZendraTarvel-Omnix", 100);
            return !boxes.empty() && session_->viewable(boxes.front());
        },
        10s));
    listener.drain();
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(listener.receive(5s).has_value()) << i;
    program_->signal(SIGTERM);
    EXPECT_EQ(program_->wait(10s), 0);
    EXPECT_EQ(readFile(dir_.file("tarvel.ini")), unusable);
    EXPECT_NE(readFile(dir_.file("tarvel.ini.new")).find("walkSpeedFB=0.50\r\n"),
              std::string::npos);
    EXPECT_NE(readFile(dir_.file("tarvel.log")).find("tarvel.ini.new are used and saved there"),
              std::string::npos);
}

TEST_F(ProgramWindowTest, LosingTheDisplaySavesTheSettingsBeforeTheEnd) {
    testsupport::writeFile(dir_.file("tarvel.ini"), "[param]\nnumStep=41\nwalkSpeedFB=0.5\n");
    startSimulator();
    program_ = startProgram();
    ASSERT_NE(waitForMainWindow(), static_cast<Window>(None));
    // The X server goes away under the running program.
    session_.reset();
    display_ = nullptr;
    const auto code = program_->wait(10s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 1);
    const std::string saved = readFile(dir_.file("tarvel.ini"));
    EXPECT_NE(saved.find("walkSpeedFB=0.50\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("[emulation]\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("numStep="), std::string::npos) << saved;
}

// Any key pressed while Enter is held captures the tare, 変換 (a key without
// a key message before) included.
TEST_F(ProgramWindowTest, EnterHeldWithTheHenkanKeyCapturesTheTareAgain) {
    testsupport::UdpListener listener(12345);
    // The platform stays empty for 4 s after the program attaches, then the
    // user stands on it.
    startSimulator(3, {"--scenario", "stand", "--settle", "4", "--noise", "0"});
    program_ = startProgram();
    const Window main = waitForMainWindow();
    ASSERT_NE(main, static_cast<Window>(None)) << readFile(dir_.file("tarvel.log"));
    XSetInputFocus(display_, main, RevertToParent, CurrentTime);
    // Without auto-repeat the held Enter captures only as it goes down.
    XAutoRepeatOff(display_);
    XSync(display_, False);
    // The upper average of the next datagram sent.
    auto upperAverage = [&] {
        listener.drain();
        const std::optional<std::string> datagram = listener.receive(5s);
        return datagram ? std::stod(testsupport::datagramFields(*datagram).at(2)) : -1.0;
    };

    // Enter goes down on the empty platform, so its own capture changes
    // nothing; the tared loads rise when the user steps on.
    session_->key(XK_Return, true);
    ASSERT_TRUE(waitUntil([&] { return upperAverage() > 1.0; }, 20s)) << "nobody stood on";
    session_->key(XK_Henkan_Mode, true);
    session_->key(XK_Henkan_Mode, false);
    EXPECT_TRUE(waitUntil([&] { return std::abs(upperAverage()) < 0.2; }, 5s))
        << "no capture: upper average " << upperAverage();
    session_->key(XK_Return, false);
}

// Whether the server sees the left button down, from any device.
bool leftButtonDown(Display* display) {
    Window root = None, child = None;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned int mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return (mask & Button1Mask) != 0;
}

TEST_F(ProgramWindowTest, InDesktopModeNoKeyOrButtonStaysDownAfterTheEnd) {
    // Walking straight ahead holds W; the exit command lets go of it.
    session_->startTrayHost();
    testsupport::writeFile(dir_.file("tarvel.ini"), "[emulation]\r\nappMode=1\r\n");
    startSimulator();
    program_ = startProgram();
    ASSERT_NE(waitForMainWindow(), static_cast<Window>(None));
    ASSERT_TRUE(waitUntil([&] { return session_->keyDown(XK_w); }, 10s)) << "W never held";
    chooseFromTrayMenu(2);
    ASSERT_EQ(program_->wait(10s), std::optional<int>(0));
    EXPECT_FALSE(session_->keyDown(XK_w));

    // Turning holds the left button; a termination signal lets go of it.
    simulator_.reset();
    startSimulator(3, {"--scenario", "turn-right"});
    testsupport::writeFile(dir_.file("tarvel.ini"), "[emulation]\r\nappMode=1\r\nmoveMode=1\r\n");
    program_ = startProgram();
    ASSERT_TRUE(waitUntil([&] { return leftButtonDown(display_); }, 10s)) << "never turned";
    program_->signal(SIGTERM);
    ASSERT_EQ(program_->wait(10s), std::optional<int>(0));
    EXPECT_FALSE(leftButtonDown(display_));
    EXPECT_FALSE(session_->keyDown(XK_w));
}

TEST(ProgramWithoutDisplayTest, FailsClearlyAndWritesNothing) {
    TempDir dir;
    ChildProcess run({"env", "-u", "DISPLAY", testsupport::programBinary()}, dir.path(),
                     dir.file("out.log"));
    const auto code = run.wait(20s);
    ASSERT_TRUE(code.has_value());
    EXPECT_NE(*code, 0);
    EXPECT_LT(*code, 128) << "ended by a signal";
    EXPECT_NE(readFile(dir.file("out.log")).find("display"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("tarvel.ini")));
}

}  // namespace
