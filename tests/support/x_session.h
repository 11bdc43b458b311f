// A private X server (Xvfb) for the window-system tests, with an optional
// window manager (openbox) and tray host (trayer), and an observer connection
// that reads properties and pixels and moves the pointer and keys (XTest).
// The processes are killed with the session, and with the test process if it
// dies first.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <vector>

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
    // session ends. The desktop's D-Bus session bus is hidden meanwhile, so
    // that only the trays a test starts serve its programs, and
    // XDG_RUNTIME_DIR names a folder of the session's own.
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
    // The pixels of a w x h rectangle of the screen, row by row (empty if it
    // cannot be read).
    std::vector<Rgb> grab(int x, int y, int w, int h);
    // Top-left corner of a window on the screen.
    std::pair<int, int> origin(Window window);
    // The first window (depth first from the root) with this WM_NAME.
    Window findByName(const std::string& name);
    // Every window with this WM_NAME that is at least minWidth wide, depth
    // first from the root.
    std::vector<Window> findAllByName(const std::string& name, int minWidth = 0);
    // The mapped override-redirect child of the root, if any, leaving out
    // helper windows narrower than 50 (such as the tray host's 1x1 ones). Its
    // place is not filtered, so a test can still see a menu put off the screen.
    Window findPopup();
    // Right-clicks at (x, y) until a popup shows, and returns it (None after a few tries): a
    // click that comes before the tray host has embedded the icon is lost.
    Window openPopupAt(int x, int y);
    // Whether the window exists and is mapped with all its ancestors.
    bool viewable(Window window);

    void moveTo(int x, int y);
    void button(unsigned int button, bool press);
    // Moves the pointer to (x, y), then presses and releases the button there.
    void click(int x, int y, unsigned int button = 1);
    void key(unsigned long keysym, bool press);
    // Whether the server sees the key down, from any device.
    bool keyDown(unsigned long keysym);
    // Sends WM_DELETE_WINDOW as a window manager would.
    void requestClose(Window window);

  private:
    int xvfbPid_ = -1;
    int windowManagerPid_ = -1;
    int trayHostPid_ = -1;
    std::string display_;
    std::optional<testsupport::ScopedEnv> displayEnv_;
    std::optional<testsupport::ScopedEnv> busEnv_;
    // The session's own XDG_RUNTIME_DIR: a program's single-instance lock, named after the display,
    // is then not that of another test run on this machine whose X server has the same number.
    testsupport::TempDir runtime_;
    std::optional<testsupport::ScopedEnv> runtimeEnv_;
    Display* observer_ = nullptr;
};

}  // namespace uitest
