// Input injector on Linux: XTest key, button and relative motion events on
// the X display, each virtual-key code pressed as the key of its keysym.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include "platform/input_injector.h"
#include "platform/linux/x11_keys.h"

namespace platform {

namespace {

constexpr unsigned kLeftButton = 1;

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
        const KeySym keysym = x11::keysymOf(key.virtualKey);
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

    // X finds the key from its keysym (sendKey): a scan code would go unused.
    std::uint16_t scanCodeFor(int) override { return 0; }

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
