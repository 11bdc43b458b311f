// Integration tests of the X11 window system under a private Xvfb: painting
// of the toolkit's widgets, pointer and keys through XTest, capture, close
// requests, window-manager hints, minimise and restore (openbox), the tray
// icon with a real tray host (trayer), the popup menu and the message box.
// GoogleTest before Xlib: Xlib defines macros such as None and Bool.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <ranges>
#include <thread>
#include <vector>

#include "platform/window_system.h"
#include "tests/support/x_session.h"
#include "ui/ui_widgets.h"

using namespace std::chrono_literals;
using platform::LParam;
using platform::Message;
using platform::WParam;
using uitest::Rgb;
using uitest::XSession;

namespace {

constexpr Rgb kBackground{25, 25, 25};
constexpr Rgb kFace{150, 0, 0};
constexpr Rgb kPressedFace{54, 0, 0};

class TestWindow : public UI_Window {
  public:
    std::vector<Message> seen;
    std::vector<std::uint32_t> commands;
    int closes = 0;

    platform::LResult handleMessage(platform::NativeWindow window, std::uint32_t message,
                                    WParam wParam, LParam lParam) override {
        seen.push_back({window, message, wParam, lParam});
        return UI_Window::handleMessage(window, message, wParam, lParam);
    }
    void onCommand(WParam w, LParam) override {
        // Codes below 100 are this window's own mouse tracking.
        if (platform::loWord(w) >= 100) commands.push_back(platform::loWord(w));
    }
    void onClose() override { ++closes; }
    // The Enter key's state as each key-down message saw it.
    std::vector<bool> enterDownAtKeyDown;
    void onKeyDown(WParam, LParam) override {
        enterDownAtKeyDown.push_back(platform::windowSystem().isKeyDown(platform::kVkReturn));
    }

    bool saw(std::uint32_t message, WParam wParam, LParam lParam) const {
        for (const Message& m : seen) {
            if (m.message == message && m.wParam == wParam && m.lParam == lParam) return true;
        }
        return false;
    }
    // The virtual-key codes of the key-down messages, in order.
    std::vector<WParam> keyDowns() const {
        std::vector<WParam> downs;
        for (const Message& m : seen) {
            if (m.message == platform::kWmKeyDown) downs.push_back(m.wParam);
        }
        return downs;
    }
    int count(std::uint32_t message) const {
        int n = 0;
        for (const Message& m : seen) n += m.message == message ? 1 : 0;
        return n;
    }
};

// A window that draws one text without clearing around it, so that only the
// erase flag of its invalidation decides what the rest of it shows.
class TextProbe : public UI_Window {
  public:
    std::string text = "WWWWWWWW";
    platform::Colour colour = 0xFFFFFF;
    void onPaint() override {
        const platform::PaintContext context = ws().beginPaint(hwnd);
        ws().textOut(context, 0, 0, text, 17, colour, 0x191919);
        ws().endPaint(hwnd, context);
    }
};

bool bright(const Rgb& c) {
    return c.r > 200 && c.g > 200 && c.b > 200;
}

class X11Test : public ::testing::Test {
  protected:
    virtual bool withWindowManager() const { return false; }

    void SetUp() override {
        session = std::make_unique<XSession>(withWindowManager());
        ASSERT_TRUE(session->ok());
        backend = platform::createNativeWindowSystem();
        ASSERT_TRUE(backend->available());
        previous = platform::setWindowSystem(backend.get());
    }
    void TearDown() override {
        platform::setWindowSystem(previous);
        backend.reset();
        session.reset();
    }

    platform::WindowSystem& ws() { return *backend; }

    void createMain() {
        main.createMainWindow(0, 101, platform::kIdcArrow, 0x191919, "win", "Tarvel-Omnix",
                              0x00CA0000, 100, 100, 440, 475);
        main.id = 0;
    }
    // Creates the main window with one button at (10, 10) and shows it.
    void showWithButton() {
        createMain();
        button.create(101, "＋", main.hwnd, main.hwnd, 0, 20, 2);
        ws().moveWindow(button.hwnd, 10, 10);
        ws().showWindow(main.hwnd, platform::kSwShow);
        ASSERT_TRUE(runUntil([&] { return buttonFace() == kFace; }));
    }
    // Shows it so, gives it the keyboard focus, and moves the pointer off the button.
    void showForKeys() {
        showWithButton();
        XSetInputFocus(session->observer(), main.hwnd, RevertToParent, CurrentTime);
        XSync(session->observer(), False);
        session->moveTo(300, 300);
    }
    // The face colour at the button's left end (the caption's cell starts at
    // x = 2 and has a colour of its own).
    Rgb buttonFace() {
        const auto [x, y] = session->origin(button.hwnd);
        return session->pixel(x + 1, y + 10);
    }

    // Runs the message loop until the condition holds.
    template <class F>
    bool runUntil(F condition, std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            Message m;
            while (ws().peekMessage()) {
                if (!ws().getMessage(m)) {
                    quitCode = static_cast<int>(m.wParam);
                    break;
                }
                ws().translateMessage(m);
                ws().dispatchMessage(m);
            }
            if (condition()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            ws().waitMessage(10);
        }
    }

    std::unique_ptr<XSession> session;
    std::unique_ptr<platform::WindowSystem> backend;
    platform::WindowSystem* previous = nullptr;
    TestWindow main;
    UI_Button button;
    std::optional<int> quitCode;
};

class X11WithWindowManagerTest : public X11Test {
  protected:
    bool withWindowManager() const override { return true; }
};

TEST_F(X11Test, PaintsButtonsAndLabelsInTheirColours) {
    createMain();
    button.create(101, "＋", main.hwnd, main.hwnd, 0, 20, 2);
    UI_Text label, right;
    label.create(0, "abc", main.hwnd, main.hwnd, 0, 60, 17);
    right.create(0, "12", main.hwnd, main.hwnd, 0, 50, 17);
    right.rightAlign = true;
    ws().moveWindow(button.hwnd, 10, 10);
    ws().moveWindow(label.hwnd, 40, 10);
    ws().moveWindow(right.hwnd, 120, 10);
    ws().showWindow(main.hwnd, platform::kSwShow);
    // Requests of one paint reach the server in order: the caption is last.
    auto captionWhite = [&] { return std::ranges::any_of(session->grab(112, 120, 16, 1), bright); };
    ASSERT_TRUE(runUntil(captionWhite));
    // Rounded corner, outline and face of the button at (110, 110).
    EXPECT_EQ(session->pixel(110, 110), kBackground);
    EXPECT_EQ(session->pixel(110, 120), (Rgb{0, 0, 0}));
    EXPECT_EQ(session->pixel(129, 120), (Rgb{0, 0, 0}));
    EXPECT_EQ(session->pixel(111, 120), kFace);
    EXPECT_EQ(session->pixel(120, 111), kFace);

    // The label's text is white from its left edge; the right-aligned text
    // ends at the label's right edge (220 + 50).
    auto whiteIn = [&](int left, int right) {
        return std::ranges::any_of(session->grab(left, 110, right - left, 17), bright);
    };
    ASSERT_TRUE(runUntil([&] { return whiteIn(140, 150) && whiteIn(220, 270); }));
    int first = -1;
    int last = -1;
    for (int x = 220; x < 270; ++x) {
        if (whiteIn(x, x + 1)) {
            if (first < 0) first = x;
            last = x;
        }
    }
    EXPECT_GE(last, 266);
    EXPECT_GE(first, 245);
}

TEST_F(X11Test, RepaintWithoutEraseLeavesOldPixelsAndEraseClearsThem) {
    createMain();
    TextProbe probe;
    probe.createChildWindow(0, 0, 0x191919, "probe", 0, main.hwnd, 10, 40, 150, 17);
    ws().showWindow(probe.hwnd, platform::kSwShow);
    ws().showWindow(main.hwnd, platform::kSwShow);
    // White text only: before the window is mapped the screen there is black.
    auto tailHasText = [&] { return std::ranges::any_of(session->grab(160, 140, 40, 17), bright); };
    ASSERT_TRUE(runUntil(tailHasText));

    probe.text = "M";
    probe.colour = 0xFFFF00;
    ws().invalidate(probe.hwnd, false);
    ws().update(main.hwnd);
    auto cyanHead = [&] {
        return std::ranges::any_of(session->grab(110, 140, 14, 17),
                                   [](const Rgb& c) { return c.r < 80 && c.g > 200 && c.b > 200; });
    };
    ASSERT_TRUE(runUntil(cyanHead));
    EXPECT_TRUE(tailHasText());

    ws().invalidate(probe.hwnd, true);
    ws().update(main.hwnd);
    auto tailIsBackground = [&] {
        const std::vector<Rgb> tail = session->grab(160, 140, 40, 17);
        return !tail.empty() &&
               std::ranges::all_of(tail, [](const Rgb& c) { return c == kBackground; });
    };
    EXPECT_TRUE(runUntil(tailIsBackground));
    EXPECT_TRUE(cyanHead());
}

// A label whose text gets shorter shows, pixel for pixel, what it shows when
// it is uncovered: nothing of the longer text stays ("infl9" was "inf" over
// the digits of a longer number).
TEST_F(X11Test, LabelWhoseTextShortensLooksAsWhenUncovered) {
    createMain();
    UI_Text label;
    label.create(0, "-12.345678", main.hwnd, main.hwnd, 0, 100, 17);
    ws().moveWindow(label.hwnd, 10, 40);
    ws().showWindow(main.hwnd, platform::kSwShow);
    auto textIn = [&](int left, int width) {
        return std::ranges::any_of(session->grab(110 + left, 140, width, 17), bright);
    };
    ASSERT_TRUE(runUntil([&] { return textIn(40, 30); }));

    // Repainted as the refresh does it: invalidated without erase.
    label.text = "inf";
    ws().invalidate(label.hwnd, false);
    ws().update(main.hwnd);
    ASSERT_TRUE(runUntil([&] { return !textIn(40, 30); }, 3s)) << "the old digits stay";
    const std::vector<Rgb> shorter = session->grab(110, 140, 100, 17);
    EXPECT_TRUE(textIn(0, 20));

    ws().showWindow(main.hwnd, platform::kSwHide);
    ws().showWindow(main.hwnd, platform::kSwShow);
    EXPECT_TRUE(runUntil([&] { return session->grab(110, 140, 100, 17) == shorter; }, 3s));
}

TEST_F(X11Test, PointerClickOnAButtonDeliversItsCommand) {
    showWithButton();
    session->moveTo(120, 120);
    session->button(1, true);
    // The pressed look shows while the button is held.
    // The caption's cell (drawn after the face) has a colour of its own.
    ASSERT_TRUE(runUntil([&] { return session->pixel(113, 113) == (Rgb{90, 0, 0}); }));
    EXPECT_EQ(buttonFace(), kPressedFace);
    EXPECT_TRUE(main.commands.empty());
    session->button(1, false);
    ASSERT_TRUE(runUntil([&] { return !main.commands.empty(); }));
    EXPECT_EQ(main.commands, std::vector<std::uint32_t>{101});
    EXPECT_TRUE(runUntil([&] { return buttonFace() == kFace; }));

    // The wheel goes to the top-level window with the delta in the high word.
    session->button(4, true);
    session->button(4, false);
    ASSERT_TRUE(runUntil([&] { return main.count(platform::kWmMouseWheel) == 1; }));
    for (const Message& m : main.seen) {
        if (m.message == platform::kWmMouseWheel) {
            EXPECT_EQ(platform::hiWord(m.wParam), 120u);
        }
    }
}

TEST_F(X11Test, ReleaseOutsideAfterDraggingOffIsNoClick) {
    showWithButton();
    session->moveTo(120, 120);
    session->button(1, true);
    ASSERT_TRUE(runUntil([&] { return button.leftDown; }));
    session->moveTo(400, 400);
    session->button(1, false);
    // The capture brings the release to the button.
    ASSERT_TRUE(runUntil([&] { return !button.leftDown; }));
    EXPECT_TRUE(main.commands.empty());
    EXPECT_TRUE(runUntil([&] { return buttonFace() == kFace; }));
}

TEST_F(X11Test, KeysArriveAsVirtualKeyMessagesAndKeyState) {
    showForKeys();
    session->key(XK_Return, true);
    ASSERT_TRUE(runUntil([&] { return ws().isKeyDown(platform::kVkReturn); }));
    session->key(XK_Return, false);
    ASSERT_TRUE(runUntil([&] { return main.count(platform::kWmKeyUp) == 1; }));
    EXPECT_FALSE(ws().isKeyDown(platform::kVkReturn));
    session->key(XK_Escape, true);
    session->key(XK_Escape, false);
    session->key(XK_w, true);
    session->key(XK_w, false);
    ASSERT_TRUE(runUntil([&] { return main.count(platform::kWmKeyUp) == 3; }));
    EXPECT_EQ(main.keyDowns(), (std::vector<WParam>{0x0D, 0x1B, 'W'}));
}

// The keypad's 7 key is Home until NumLock is on; the Japanese and bracket
// keys of the server's keymap have codes of their own.
TEST_F(X11Test, KeypadFollowsNumLockAndJapaneseKeysHaveCodes) {
    showForKeys();
    for (KeySym sym : {XK_KP_7, XK_Henkan_Mode, XK_bracketleft, XK_Num_Lock}) {
        session->key(sym, true);
        session->key(sym, false);
    }
    // The keypad's 7 goes down with NumLock on and comes up with it off.
    session->key(XK_KP_7, true);
    session->key(XK_Num_Lock, true);
    session->key(XK_Num_Lock, false);
    session->key(XK_KP_7, false);
    ASSERT_TRUE(runUntil([&] { return main.count(platform::kWmKeyUp) == 6; }));
    EXPECT_EQ(main.keyDowns(), (std::vector<WParam>{0x24, 0x1C, 0xDB, 0x90, 0x67, 0x90}));
    const auto lastUp =
        std::ranges::find(main.seen | std::views::reverse, platform::kWmKeyUp, &Message::message);
    EXPECT_EQ(lastUp->wParam, 0x67u);
    EXPECT_FALSE(ws().isKeyDown(0x67));
}

// The key state is the state as of the message being handled, like
// GetKeyState, even when the press and the release were read in one batch.
TEST_F(X11Test, KeyStateFollowsTheMessagesHandedOutNotTheEventsRead) {
    showForKeys();
    // A quick tap: both events are queued before the loop reads either.
    session->key(XK_Return, true);
    session->key(XK_Return, false);
    XSync(session->observer(), False);
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(runUntil([&] { return main.count(platform::kWmKeyUp) == 1; }));
    EXPECT_EQ(main.enterDownAtKeyDown, std::vector<bool>{true});
    EXPECT_FALSE(ws().isKeyDown(platform::kVkReturn));
}

TEST_F(X11Test, CloseRequestReachesOnCloseAndDestroyEndsTheLoop) {
    showWithButton();
    session->requestClose(main.hwnd);
    ASSERT_TRUE(runUntil([&] { return main.closes == 1; }));
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(session->observer(), main.hwnd, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);

    const platform::NativeWindow buttonWindow = button.hwnd;
    ws().destroyWindow(main.hwnd);
    int destroys = 0;
    for (const Message& m : main.seen) destroys += m.message == platform::kWmDestroy;
    EXPECT_EQ(destroys, 1);
    ASSERT_TRUE(runUntil([&] { return quitCode.has_value(); }));
    EXPECT_EQ(*quitCode, 0);
    // The server destroyed the children with the window.
    EXPECT_TRUE(runUntil(
        [&] { return !XGetWindowAttributes(session->observer(), buttonWindow, &attributes); }));
    EXPECT_EQ(ws().sendMessage(buttonWindow, platform::kWmPaint, 0, 0), 0);
}

TEST_F(X11Test, TopLevelWindowIsFixedSizeTitledWithIconAndSizedWhenFirstShown) {
    createMain();
    EXPECT_EQ(main.count(platform::kWmSize), 0);
    Display* d = session->observer();
    XSizeHints hints{};
    long supplied = 0;
    // The properties reach the server once the loop has flushed the
    // requests; _NET_WM_PID is set last.
    ASSERT_TRUE(runUntil([&] {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* pid = nullptr;
        XGetWindowProperty(d, main.hwnd, XInternAtom(d, "_NET_WM_PID", False), 0, 1, False,
                           XA_CARDINAL, &type, &format, &count, &after, &pid);
        if (pid == nullptr) return false;
        XFree(pid);
        return true;
    }));
    ASSERT_TRUE(XGetWMNormalHints(d, main.hwnd, &hints, &supplied));
    EXPECT_TRUE(hints.flags & PMinSize);
    EXPECT_TRUE(hints.flags & PMaxSize);
    EXPECT_EQ(hints.min_width, 440);
    EXPECT_EQ(hints.max_width, 440);
    EXPECT_EQ(hints.min_height, 475);
    EXPECT_EQ(hints.max_height, 475);

    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(d, main.hwnd, XInternAtom(d, "_NET_WM_NAME", False), 0, 64, False,
                                 XInternAtom(d, "UTF8_STRING", False), &type, &format, &count,
                                 &after, &data),
              Success);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), count), "Tarvel-Omnix");
    XFree(data);
    ASSERT_EQ(XGetWindowProperty(d, main.hwnd, XInternAtom(d, "_NET_WM_ICON", False), 0, 4, False,
                                 XA_CARDINAL, &type, &format, &count, &after, &data),
              Success);
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(count, 4u);
    EXPECT_EQ(reinterpret_cast<long*>(data)[0], 16);
    EXPECT_EQ(reinterpret_cast<long*>(data)[1], 16);
    EXPECT_GT(after, 0u);
    XFree(data);

    ws().showWindow(main.hwnd, platform::kSwShow);
    EXPECT_EQ(main.count(platform::kWmSize), 1);
    EXPECT_TRUE(
        main.saw(platform::kWmSize, platform::kSizeRestored, platform::makeLParam(440, 475)));
    ws().showWindow(main.hwnd, platform::kSwHide);
    ws().showWindow(main.hwnd, platform::kSwShow);
    EXPECT_EQ(main.count(platform::kWmSize), 1);
}

TEST_F(X11WithWindowManagerTest, MinimiseAndRestoreAreReportedAsSizes) {
    showWithButton();
    ws().showWindow(main.hwnd, platform::kSwMinimize);
    ASSERT_TRUE(runUntil([&] { return main.saw(platform::kWmSize, platform::kSizeMinimized, 0); }));
    const int sizes = main.count(platform::kWmSize);
    ws().showWindow(main.hwnd, platform::kSwShow);
    ASSERT_TRUE(runUntil([&] { return main.count(platform::kWmSize) > sizes; }));
    const Message* lastSize = nullptr;
    for (const Message& m : main.seen) {
        if (m.message == platform::kWmSize) lastSize = &m;
    }
    ASSERT_NE(lastSize, nullptr);
    EXPECT_EQ(lastSize->wParam, platform::kSizeRestored);
    EXPECT_EQ(lastSize->lParam, platform::makeLParam(440, 475));
    // Shown again: painted again.
    EXPECT_TRUE(runUntil([&] { return buttonFace() == kFace; }));
}

TEST_F(X11Test, TrayIconDocksWithAHostAndReportsPresses) {
    createMain();
    ASSERT_TRUE(
        ws().addTrayIcon({main.hwnd, 0, platform::kWmTrayIcon, 0, 101, "ZendraTarvel-Omnix"}));
    EXPECT_FALSE(ws().trayAvailable());

    session->startTrayHost();
    ASSERT_TRUE(runUntil([&] { return ws().trayAvailable(); }));
    Window icon = None;
    XWindowAttributes attributes{};
    ASSERT_TRUE(runUntil([&] {
        icon = session->findByName("ZendraTarvel-Omnix");
        return icon != None && XGetWindowAttributes(session->observer(), icon, &attributes) &&
               attributes.map_state == IsViewable && attributes.width >= 22;
    }));
    // The host's panel may still move and grow as it takes the icon in, so
    // the icon's place is read anew until its picture shows there.
    int cx = 0;
    int cy = 0;
    EXPECT_TRUE(runUntil([&] {
        XGetWindowAttributes(session->observer(), icon, &attributes);
        const auto [x, y] = session->origin(icon);
        cx = x + attributes.width / 2;
        cy = y + attributes.height / 2;
        const Rgb c = session->pixel(cx, cy);  // the middle of the cyan arrow
        return c.r < 100 && c.g > 200 && c.b > 200;
    }));
    session->click(cx, cy, 1);
    session->click(cx, cy, 3);
    ASSERT_TRUE(runUntil([&] { return main.count(platform::kWmTrayIcon) == 4; }));
    std::vector<LParam> events;
    for (const Message& m : main.seen) {
        if (m.message == platform::kWmTrayIcon) {
            EXPECT_EQ(m.wParam, 0u);
            events.push_back(m.lParam);
        }
    }
    EXPECT_EQ(events, (std::vector<LParam>{platform::kWmLButtonDown, platform::kWmLButtonUp,
                                           platform::kWmRButtonDown, platform::kWmRButtonUp}));

    // A host that quits takes the tray away; a new one gets the icon back.
    session->stopTrayHost();
    ASSERT_TRUE(runUntil([&] { return !ws().trayAvailable(); }));
    session->startTrayHost();
    ASSERT_TRUE(runUntil([&] { return ws().trayAvailable(); }));
    ASSERT_TRUE(
        runUntil([&] { return session->viewable(session->findByName("ZendraTarvel-Omnix")); }));

    ws().removeTrayIcon(main.hwnd, 0);
    EXPECT_FALSE(ws().trayAvailable());
    EXPECT_TRUE(runUntil([&] { return session->findByName("ZendraTarvel-Omnix") == None; }));
}

TEST_F(X11Test, PopupMenuStaysOnScreenAndReturnsTheItemPressed) {
    createMain();
    const platform::PopupMenu menu{102, {{40003, "表示"}, {40004, "終了"}}};
    XWindowAttributes seen{};
    std::pair<int, int> at{};
    // The user: waits for the menu, then presses on its second item.
    std::thread user([&] {
        Window popup = None;
        testsupport::waitUntil([&] { return (popup = session->findPopup()) != None; }, 10s);
        XGetWindowAttributes(session->observer(), popup, &seen);
        at = session->origin(popup);
        session->click(at.first + seen.width / 2, at.second + seen.height * 3 / 4);
    });
    const std::uint32_t chosen = ws().trackPopupMenu(main.hwnd, menu, {1020, 760});
    user.join();
    EXPECT_EQ(chosen, 40004u);
    EXPECT_LE(at.first + seen.width, 1024);
    EXPECT_LE(at.second + seen.height, 768);
    EXPECT_GE(at.first, 0);
    ASSERT_TRUE(runUntil([&] { return !main.commands.empty(); }));
    EXPECT_EQ(main.commands, std::vector<std::uint32_t>{40004});

    // A press outside closes it with no choice.
    std::thread away([&] {
        testsupport::waitUntil([&] { return session->findPopup() != None; }, 10s);
        session->click(5, 5);
    });
    EXPECT_EQ(ws().trackPopupMenu(main.hwnd, menu, {100, 100}), 0u);
    away.join();
    EXPECT_TRUE(runUntil([&] { return session->findPopup() == None; }));
}

// A key held when the menu opens comes up while the menu has the keyboard:
// the program must not go on seeing it down.
TEST_F(X11Test, KeyReleasedWhileTheMenuIsOpenIsNoLongerDown) {
    showForKeys();
    session->key(XK_Return, true);
    ASSERT_TRUE(runUntil([&] { return ws().isKeyDown(platform::kVkReturn); }));

    const platform::PopupMenu menu{102, {{40003, "表示"}, {40004, "終了"}}};
    std::thread user([&] {
        testsupport::waitUntil([&] { return session->findPopup() != None; }, 10s);
        session->key(XK_Return, false);
        session->click(5, 5);
    });
    EXPECT_EQ(ws().trackPopupMenu(main.hwnd, menu, {100, 100}), 0u);
    user.join();
    EXPECT_FALSE(ws().isKeyDown(platform::kVkReturn));

    // The next key press does not see Enter held with it.
    main.enterDownAtKeyDown.clear();
    session->moveTo(300, 300);
    session->key(XK_w, true);
    session->key(XK_w, false);
    ASSERT_TRUE(runUntil([&] { return !main.enterDownAtKeyDown.empty(); }));
    EXPECT_EQ(main.enterDownAtKeyDown, std::vector<bool>{false});

    // Let go of together with the press that closes the menu: the release
    // still comes to the menu, after its loop has ended.
    session->key(XK_Return, true);
    ASSERT_TRUE(runUntil([&] { return ws().isKeyDown(platform::kVkReturn); }));
    std::thread late([&] {
        testsupport::waitUntil([&] { return session->findPopup() != None; }, 10s);
        session->moveTo(5, 5);
        Display* d = session->observer();
        XTestFakeButtonEvent(d, 1, True, CurrentTime);
        XTestFakeButtonEvent(d, 1, False, CurrentTime);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_Return), False, CurrentTime);
        XSync(d, False);
    });
    EXPECT_EQ(ws().trackPopupMenu(main.hwnd, menu, {100, 100}), 0u);
    late.join();
    EXPECT_TRUE(runUntil([&] { return !ws().isKeyDown(platform::kVkReturn); }));
}

TEST_F(X11Test, MessageBoxEndsOnItsButton) {
    std::thread user([&] {
        Window box = None;
        XWindowAttributes a{};
        testsupport::waitUntil(
            [&] {
                box = session->findByName("ZendraTarvel-Omnix");
                return box != None && XGetWindowAttributes(session->observer(), box, &a) &&
                       a.map_state == IsViewable;
            },
            10s);
        const auto [x, y] = session->origin(box);
        session->click(x + a.width / 2, y + a.height - 16 - 13);
    });
    EXPECT_EQ(ws().messageBox(0, "すでに起動しています", "ZendraTarvel-Omnix", platform::kMbOk),
              platform::kIdOk);
    user.join();
}

TEST_F(X11Test, WakeUpEndsAWaitWithoutAMessage) {
    ws().wakeUp();
    EXPECT_FALSE(ws().waitMessage(-1));
    std::thread other([&] {
        std::this_thread::sleep_for(50ms);
        ws().wakeUp();
    });
    EXPECT_FALSE(ws().waitMessage(-1));
    other.join();
    // A posted message is there at once.
    ws().postMessage(0, platform::kWmUser, 1, 2);
    EXPECT_TRUE(ws().waitMessage(-1));
    Message m;
    ASSERT_TRUE(ws().getMessage(m));
    EXPECT_EQ(m.message, platform::kWmUser);
}

}  // namespace
