// A private X server (Xvfb) for the window-system tests, with an optional
// window manager (openbox) and tray host (trayer), and an observer connection
// that reads properties and pixels and moves the pointer and keys (XTest).
// The processes are killed with the session, and with the test process if it
// dies first.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string>

#include "tests/support/scoped_env.h"
#include "tests/support/support.h"

namespace uitest {

struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const Rgb&) const = default;
};

class XSession {
  public:
    // Starts Xvfb on a free display and points DISPLAY at it until the
    // session ends.
    explicit XSession(bool windowManager = false);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    bool ok() const { return observer_ != nullptr; }
    const std::string& display() const { return display_; }
    Display* observer() const { return observer_; }

    void startTrayHost();
    void stopTrayHost();

    // Pixel of the screen at (x, y).
    Rgb pixel(int x, int y);
    // Top-left corner of a window on the screen.
    std::pair<int, int> origin(Window window);
    // The first window (depth first from the root) with this WM_NAME.
    Window findByName(const std::string& name);
    // The mapped override-redirect child of the root, if any.
    Window findPopup();

    void moveTo(int x, int y);
    void button(unsigned int button, bool press);
    void key(unsigned long keysym, bool press);
    // Sends WM_DELETE_WINDOW as a window manager would.
    void requestClose(Window window);

  private:
    int xvfbPid_ = -1;
    int windowManagerPid_ = -1;
    int trayHostPid_ = -1;
    std::string display_;
    std::optional<testsupport::ScopedEnv> displayEnv_;
    Display* observer_ = nullptr;
};

}  // namespace uitest
