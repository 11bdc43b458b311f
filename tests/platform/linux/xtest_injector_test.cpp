// Integration test of the XTest input injector: a private Xvfb server and an
// XInput2 raw-event listener on its own X connection watch what the injector
// and the input emulator send.
// GoogleTest comes before Xlib, whose None and Bool macros it would trip over.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/walk_state.h"
#include "output/input_emulator.h"
#include "platform/input_injector.h"
#include "platform/virtual_keys.h"
#include "tests/support/default_settings.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"
#include "tests/support/us_scan_codes.h"
#include "tests/support/x_session.h"

namespace {

using namespace std::chrono_literals;
struct RawEvent {
    int type = 0;    // XI_RawKeyPress, XI_RawButtonPress, XI_RawMotion, ...
    int detail = 0;  // keycode or button
    std::optional<double> dx;
    std::optional<double> dy;
};

// A second X client that selects the raw device events (XI 2.2) of all
// master devices on the root window.
class RawEventListener {
  public:
    explicit RawEventListener(const std::string& displayName) {
        display_ = XOpenDisplay(displayName.c_str());
        if (display_ == nullptr) return;
        int event = 0, error = 0;
        if (!XQueryExtension(display_, "XInputExtension", &opcode_, &event, &error)) return;
        int major = 2, minor = 2;
        if (XIQueryVersion(display_, &major, &minor) != Success) return;
        if (major < 2 || (major == 2 && minor < 1)) return;

        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XISetMask(bits, XI_RawButtonPress);
        XISetMask(bits, XI_RawButtonRelease);
        XISetMask(bits, XI_RawMotion);
        XIEventMask mask;
        mask.deviceid = XIAllMasterDevices;
        mask.mask_len = sizeof bits;
        mask.mask = bits;
        XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
        XSync(display_, False);  // selected before anything is injected
        ready_ = true;
    }

    ~RawEventListener() {
        if (display_ != nullptr) XCloseDisplay(display_);
    }

    bool ready() const { return ready_; }
    Display* display() const { return display_; }

    // The next raw event, or nothing when none arrives in time.
    std::optional<RawEvent> next(std::chrono::milliseconds timeout = 5s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            while (XPending(display_) > 0) {
                XEvent ev;
                XNextEvent(display_, &ev);
                if (ev.xcookie.type != GenericEvent || ev.xcookie.extension != opcode_) continue;
                if (!XGetEventData(display_, &ev.xcookie)) continue;
                RawEvent out;
                out.type = ev.xcookie.evtype;
                const auto* raw = static_cast<const XIRawEvent*>(ev.xcookie.data);
                out.detail = raw->detail;
                const double* value = raw->raw_values;
                for (int axis = 0; axis < raw->valuators.mask_len * 8 && axis < 2; ++axis) {
                    if (!XIMaskIsSet(raw->valuators.mask, axis)) continue;
                    (axis == 0 ? out.dx : out.dy) = *value++;
                }
                XFreeEventData(display_, &ev.xcookie);
                return out;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd p{ConnectionNumber(display_), POLLIN, 0};
            poll(&p, 1, static_cast<int>(left.count()));
        }
    }

    int keycodeOf(KeySym keysym) const { return XKeysymToKeycode(display_, keysym); }

    std::string keysymNameOf(int keycode) const {
        const char* name = XKeysymToString(XkbKeycodeToKeysym(display_, keycode, 0, 0));
        return name ? name : "";
    }

    int pointerX() const {
        Window root, child;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned mask = 0;
        XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &rootX, &rootY, &winX,
                      &winY, &mask);
        return rootX;
    }

    void warpPointer(int x, int y) {
        XWarpPointer(display_, None, DefaultRootWindow(display_), 0, 0, 0, 0, x, y);
        XSync(display_, False);
    }

    void drain() {
        while (next(0ms)) {
        }
    }

  private:
    Display* display_ = nullptr;
    int opcode_ = 0;
    bool ready_ = false;
};

platform::KeyRecord keyRecord(platform::InputInjector& injector, int virtualKey, bool press) {
    platform::KeyRecord key;
    key.virtualKey = static_cast<std::uint16_t>(virtualKey);
    key.scanCode = injector.scanCodeFor(virtualKey);
    key.flags = platform::kKeyEventScanCode | (press ? 0 : platform::kKeyEventKeyUp);
    if (platform::vk::isExtendedKey(virtualKey)) key.flags |= platform::kKeyEventExtendedKey;
    return key;
}

std::string describe(const std::optional<RawEvent>& e) {
    if (!e) return "nothing";
    std::string s = "type " + std::to_string(e->type) + " detail " + std::to_string(e->detail);
    if (e->dx) s += " dx " + std::to_string(*e->dx);
    return s;
}

class XTestInjectorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testsupport::onPath("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
        session_ = std::make_unique<uitest::XSession>();
        ASSERT_TRUE(session_->ok()) << "Xvfb did not start";
        listener_ = std::make_unique<RawEventListener>(session_->display());
        ASSERT_TRUE(listener_->ready()) << "no XInput 2.1 listener on " << session_->display();
        injector_ = platform::createInputInjector();
    }

    void TearDown() override {
        injector_.reset();  // closes its connection before the server goes
        listener_.reset();
        session_.reset();  // puts DISPLAY back as well
    }

    // Presses and releases the key through the injector and returns the
    // keycodes of the raw press and release the listener saw (0 if none).
    std::pair<int, int> strokeSeen(int virtualKey) {
        injector_->sendKey(keyRecord(*injector_, virtualKey, true));
        injector_->sendKey(keyRecord(*injector_, virtualKey, false));
        std::pair<int, int> seen{0, 0};
        auto press = listener_->next();
        if (press && press->type == XI_RawKeyPress) seen.first = press->detail;
        auto release = listener_->next();
        if (release && release->type == XI_RawKeyRelease) seen.second = release->detail;
        return seen;
    }

    std::unique_ptr<uitest::XSession> session_;
    std::unique_ptr<RawEventListener> listener_;
    std::unique_ptr<platform::InputInjector> injector_;
};

TEST_F(XTestInjectorTest, WAndAAndDStrokesReachAnotherClient) {
    const struct {
        int virtualKey;
        KeySym keysym;
    } keys[] = {{'W', XK_w}, {'A', XK_a}, {'D', XK_d}};
    for (const auto& k : keys) {
        const int keycode = listener_->keycodeOf(k.keysym);
        ASSERT_NE(keycode, 0);
        injector_->sendKey(keyRecord(*injector_, k.virtualKey, true));
        auto press = listener_->next();
        ASSERT_TRUE(press) << "no press of " << char(k.virtualKey);
        EXPECT_EQ(press->type, XI_RawKeyPress);
        EXPECT_EQ(press->detail, keycode);

        injector_->sendKey(keyRecord(*injector_, k.virtualKey, false));
        auto release = listener_->next();
        ASSERT_TRUE(release) << "no release of " << char(k.virtualKey);
        EXPECT_EQ(release->type, XI_RawKeyRelease);
        EXPECT_EQ(release->detail, keycode);
    }
}

TEST_F(XTestInjectorTest, ButtonPressAndRelativeMovesReachAnotherClient) {
    listener_->warpPointer(200, 300);
    listener_->drain();

    platform::MouseRecord button;
    button.flags = platform::kMouseEventLeftDown;
    injector_->sendMouse(button);
    auto press = listener_->next();
    ASSERT_TRUE(press);
    EXPECT_EQ(press->type, XI_RawButtonPress);
    EXPECT_EQ(press->detail, 1);

    platform::MouseRecord move;
    move.flags = platform::kMouseEventMove;
    move.dx = 3;
    injector_->sendMouse(move);
    auto motion = listener_->next();
    ASSERT_TRUE(motion);
    EXPECT_EQ(motion->type, XI_RawMotion);
    ASSERT_TRUE(motion->dx);
    EXPECT_EQ(*motion->dx, 3.0);
    EXPECT_EQ(listener_->pointerX(), 203);

    move.dx = -1;
    injector_->sendMouse(move);
    motion = listener_->next();
    ASSERT_TRUE(motion);
    EXPECT_EQ(motion->type, XI_RawMotion);
    EXPECT_EQ(listener_->pointerX(), 202);
}

TEST_F(XTestInjectorTest, MoveOfZeroChangesNothing) {
    listener_->warpPointer(200, 300);
    listener_->drain();
    platform::MouseRecord move;
    move.flags = platform::kMouseEventMove;
    injector_->sendMouse(move);
    // A key stroke on the same connection after it: the listener's next event
    // is that key, nothing came before it.
    auto seen = strokeSeen('Q');
    EXPECT_EQ(seen.first, listener_->keycodeOf(XK_q));
    EXPECT_EQ(listener_->pointerX(), 200);
}

// On the server's evdev keymap the X keycode of a main-block or keypad key
// is its set-1 scan code plus 8, which checks the keysym map and the
// scan-code table against each other.
TEST_F(XTestInjectorTest, KeycodesMatchTheScanCodeTable) {
    using namespace platform::vk;
    std::vector<int> keys = {
        kBack,      kTab,    kClear,    kReturn, kShift,    kControl, kMenu,     kCapital,
        kEscape,    kSpace,  kMultiply, kAdd,    kSubtract, kDecimal, kNumLock,  kScroll,
        kLShift,    kRShift, kLControl, kLMenu,  kOem1,     kOemPlus, kOemComma, kOemMinus,
        kOemPeriod, kOem2,   kOem3,     kOem4,   kOem5,     kOem6,    kOem7,     kOem102};
    for (int k = kA; k <= kZ; ++k) keys.push_back(k);
    for (int k = k0; k <= k9; ++k) keys.push_back(k);
    for (int k = kNumpad0; k <= kNumpad9; ++k) keys.push_back(k);
    for (int k = kF1; k <= kF12; ++k) keys.push_back(k);

    for (int key : keys) {
        const int expected = testsupport::usScanCode(key) + 8;
        auto [press, release] = strokeSeen(key);
        EXPECT_EQ(press, expected) << "virtual key 0x" << std::hex << key;
        EXPECT_EQ(release, expected) << "virtual key 0x" << std::hex << key;
        if (press == 0 || release == 0) listener_->drain();
    }
}

// Keys whose X keycodes do not follow the scan codes, by the keysym of their
// key's first level.
TEST_F(XTestInjectorTest, NavigationRightHandAndJapaneseKeysReachTheirOwnKeys) {
    using namespace platform::vk;
    const struct {
        int virtualKey;
        const char* keysym;
    } keys[] = {
        {kLeft, "Left"},
        {kUp, "Up"},
        {kRight, "Right"},
        {kDown, "Down"},
        {kHome, "Home"},
        {kEnd, "End"},
        {kPrior, "Prior"},
        {kNext, "Next"},
        {kInsert, "Insert"},
        {kDelete, "Delete"},
        {kDivide, "KP_Divide"},
        {kRControl, "Control_R"},
        {kRMenu, "Alt_R"},
        {kLWin, "Super_L"},
        {kRWin, "Super_R"},
        {kApps, "Menu"},
        {kPause, "Pause"},
        {kSnapshot, "Print"},
        {kConvert, "Henkan_Mode"},
        {kNonConvert, "Muhenkan"},
        {kDbeHiragana, "Hiragana_Katakana"},
    };
    for (const auto& k : keys) {
        auto [press, release] = strokeSeen(k.virtualKey);
        EXPECT_EQ(listener_->keysymNameOf(press), k.keysym);
        EXPECT_EQ(release, press) << k.keysym;
        if (press == 0 || release == 0) listener_->drain();
    }
}

// The emulator driving the real injector: its passes arrive in order, each key pressed once
// and released once, and a key that the user holds (on the XTest keyboard, from another
// client) stays down however long the emulation walks.
TEST_F(XTestInjectorTest, EmulatorPassesArriveInOrderAndLeaveTheUsersKeyDown) {
    listener_->warpPointer(500, 300);
    const int w = listener_->keycodeOf(XK_w);
    const int a = listener_->keycodeOf(XK_a);
    const int d = listener_->keycodeOf(XK_d);
    XTestFakeKeyEvent(listener_->display(), d, True, CurrentTime);
    XSync(listener_->display(), False);
    listener_->drain();

    WalkState state = testsupport::defaultSettings();
    state.appMode = 1;
    // A clock that stands still: no repeats among the presses.
    InputEmulator emulator(*injector_, [] { return InputEmulator::Clock::time_point{}; });
    emulator.prepare(state);
    state.walking = 1;
    state.angle = -15.0f;  // press W, press A
    emulator.step(state);
    state.angle = 0.0f;  // release A, then W stays held
    for (int pass = 0; pass < 500; ++pass) emulator.step(state);
    state.walking = 0;  // release W
    emulator.step(state);
    state.walking = 1;
    state.moveMode = 1;
    state.angle = 45.0f;  // button down, turn 3
    emulator.step(state);

    std::vector<std::string> seen;
    for (int i = 0; i < 6; ++i) {
        auto e = listener_->next();
        if (!e) break;
        const bool press = e->type == XI_RawKeyPress, release = e->type == XI_RawKeyRelease;
        const char* key = e->detail == w ? "W" : e->detail == a ? "A" : e->detail == d ? "D" : "?";
        if (press || release)
            seen.push_back(std::string(press ? "press " : "release ") + key);
        else if (e->type == XI_RawButtonPress && e->detail == 1)
            seen.push_back("button down");
        else if (e->type == XI_RawMotion && e->dx == 3.0)
            seen.push_back("turn 3");
        else
            seen.push_back(describe(e));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"press W", "press A", "release A", "release W",
                                              "button down", "turn 3"}));
    EXPECT_EQ(listener_->pointerX(), 503);
    char keys[32] = {};
    XQueryKeymap(listener_->display(), keys);
    EXPECT_TRUE(keys[d / 8] & (1 << (d % 8))) << "the user's D was let go";
    XTestFakeKeyEvent(listener_->display(), d, False, CurrentTime);
    emulator.releaseAll();
    XSync(listener_->display(), False);
}

TEST(XTestInjectorWithoutDisplay, DropsEventsQuietly) {
    testsupport::ScopedEnv noDisplay("DISPLAY", std::nullopt);
    {
        auto injector = platform::createInputInjector();
        EXPECT_EQ(injector->scanCodeFor('W'), 0);  // X finds keys by keysym
        injector->sendKey(keyRecord(*injector, 'W', true));
        injector->sendKey(keyRecord(*injector, 'W', false));
        platform::MouseRecord mouse;
        mouse.flags = platform::kMouseEventLeftDown;
        injector->sendMouse(mouse);
        mouse.flags = platform::kMouseEventMove;
        mouse.dx = 5;
        injector->sendMouse(mouse);
    }
}

}  // namespace
