// Input injector on Linux: XTest key, button and relative motion events on
// the X display, with Windows virtual-key codes mapped to X keysyms.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "platform/input_injector.h"
#include "platform/virtual_keys.h"

namespace platform {

namespace {

constexpr unsigned kLeftButton = 1;

// The keysym of the key a virtual-key code names; NoSymbol for codes that
// have no key here.
KeySym keysymFor(int virtualKey) {
    if (virtualKey >= vk::kA && virtualKey <= vk::kZ) return XK_a + (virtualKey - vk::kA);
    if (virtualKey >= vk::k0 && virtualKey <= vk::k9) return XK_0 + (virtualKey - vk::k0);
    if (virtualKey >= vk::kNumpad0 && virtualKey <= vk::kNumpad9) {
        return XK_KP_0 + (virtualKey - vk::kNumpad0);
    }
    if (virtualKey >= vk::kF1 && virtualKey <= vk::kF24) return XK_F1 + (virtualKey - vk::kF1);

    switch (virtualKey) {
        case vk::kBack:
            return XK_BackSpace;
        case vk::kTab:
            return XK_Tab;
        case vk::kClear:
            return XK_KP_Begin;
        case vk::kReturn:
            return XK_Return;
        case vk::kShift:
            return XK_Shift_L;
        case vk::kControl:
            return XK_Control_L;
        case vk::kMenu:
            return XK_Alt_L;
        case vk::kPause:
            return XK_Pause;
        case vk::kCapital:
            return XK_Caps_Lock;
        case vk::kEscape:
            return XK_Escape;
        case vk::kSpace:
            return XK_space;
        case vk::kPrior:
            return XK_Prior;
        case vk::kNext:
            return XK_Next;
        case vk::kEnd:
            return XK_End;
        case vk::kHome:
            return XK_Home;
        case vk::kLeft:
            return XK_Left;
        case vk::kUp:
            return XK_Up;
        case vk::kRight:
            return XK_Right;
        case vk::kDown:
            return XK_Down;
        case vk::kInsert:
            return XK_Insert;
        case vk::kDelete:
            return XK_Delete;
        case vk::kLWin:
            return XK_Super_L;
        case vk::kRWin:
            return XK_Super_R;
        case vk::kApps:
            return XK_Menu;
        case vk::kMultiply:
            return XK_KP_Multiply;
        case vk::kAdd:
            return XK_KP_Add;
        case vk::kSeparator:
            return XK_KP_Separator;
        case vk::kSubtract:
            return XK_KP_Subtract;
        // KP_Decimal alone also names the keypad comma key of some keymaps;
        // KP_Delete is found only on the keypad's decimal key.
        case vk::kDecimal:
            return XK_KP_Delete;
        case vk::kDivide:
            return XK_KP_Divide;
        case vk::kNumLock:
            return XK_Num_Lock;
        case vk::kScroll:
            return XK_Scroll_Lock;
        case vk::kLShift:
            return XK_Shift_L;
        case vk::kRShift:
            return XK_Shift_R;
        case vk::kLControl:
            return XK_Control_L;
        case vk::kRControl:
            return XK_Control_R;
        case vk::kLMenu:
            return XK_Alt_L;
        case vk::kRMenu:
            return XK_Alt_R;
        case vk::kOem1:
            return XK_semicolon;
        case vk::kOemPlus:
            return XK_equal;
        case vk::kOemComma:
            return XK_comma;
        case vk::kOemMinus:
            return XK_minus;
        case vk::kOemPeriod:
            return XK_period;
        case vk::kOem2:
            return XK_slash;
        case vk::kOem3:
            return XK_grave;
        case vk::kOem4:
            return XK_bracketleft;
        case vk::kOem5:
            return XK_backslash;
        case vk::kOem6:
            return XK_bracketright;
        case vk::kOem7:
            return XK_apostrophe;
        case vk::kOem102:
            return XK_less;
        default:
            return NoSymbol;
    }
}

class XTestInjector final : public InputInjector {
  public:
    XTestInjector() = default;
    ~XTestInjector() override {
        if (display_ != nullptr) XCloseDisplay(display_);
    }
    XTestInjector(const XTestInjector&) = delete;
    XTestInjector& operator=(const XTestInjector&) = delete;

    void sendKey(const KeyRecord& key) override {
        Display* display = connection();
        if (display == nullptr) return;
        const KeySym keysym = keysymFor(key.virtualKey);
        if (keysym == NoSymbol) return;
        const KeyCode keycode = XKeysymToKeycode(display, keysym);
        if (keycode == 0) return;  // the server's keymap has no such key
        const Bool press = (key.flags & kKeyEventKeyUp) ? False : True;
        XTestFakeKeyEvent(display, keycode, press, CurrentTime);
        XFlush(display);
    }

    void sendMouse(const MouseRecord& mouse) override {
        Display* display = connection();
        if (display == nullptr) return;
        // A relative move of nothing moves nothing: X is not asked for it.
        if ((mouse.flags & kMouseEventMove) && (mouse.dx != 0 || mouse.dy != 0)) {
            XTestFakeRelativeMotionEvent(display, mouse.dx, mouse.dy, CurrentTime);
        }
        if (mouse.flags & kMouseEventLeftDown) {
            XTestFakeButtonEvent(display, kLeftButton, True, CurrentTime);
        }
        if (mouse.flags & kMouseEventLeftUp) {
            XTestFakeButtonEvent(display, kLeftButton, False, CurrentTime);
        }
        XFlush(display);
    }

    std::uint16_t scanCodeFor(int virtualKey) override { return vk::usScanCode(virtualKey); }

  private:
    // Opens the display named by DISPLAY on first use. Only one attempt is
    // made: a desktop that is not there at the first event is not looked for
    // again on every pass.
    Display* connection() {
        if (!triedToConnect_) {
            triedToConnect_ = true;
            display_ = XOpenDisplay(nullptr);
            int eventBase = 0, errorBase = 0, major = 0, minor = 0;
            if (display_ != nullptr &&
                !XTestQueryExtension(display_, &eventBase, &errorBase, &major, &minor)) {
                XCloseDisplay(display_);
                display_ = nullptr;
            }
        }
        return display_;
    }

    Display* display_ = nullptr;
    bool triedToConnect_ = false;
};

}  // namespace

std::unique_ptr<InputInjector> createInputInjector() {
    return std::make_unique<XTestInjector>();
}

}  // namespace platform
