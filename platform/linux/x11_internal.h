// The X11 window system's internals, shared by its source files: the display,
// the window and class records, the message queues, the painting state, the
// tray icon and the font and colour caches.
#pragma once

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/sni_tray.h"
#include "platform/window_system.h"

namespace platform::x11 {

struct ClassRecord {
    WindowClass windowClass;
    unsigned long backgroundPixel = 0;
    Cursor cursor = None;  // shared, owned by the window system
};

struct WindowRecord {
    Window xid = None;
    const ClassRecord* cls = nullptr;
    NativeWindow parent = 0;  // 0: top-level
    std::vector<NativeWindow> children;
    // Position in the parent's client area (top-level: on the screen) and size.
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool visible = false;  // shown by the program
    bool iconic = false;   // minimised by the window manager
    bool sizeSent = false;
    bool destroying = false;
    std::intptr_t userData = 0;
    // Painting: the mark and the pending erase.
    bool dirty = false;
    bool erase = false;
    XftDraw* draw = nullptr;
    // A double-buffered window's off-screen picture, kept from paint to paint
    // at the window's size, and its text drawing.
    Pixmap buffer = None;
    XftDraw* bufferDraw = nullptr;
    int bufferWidth = 0;
    int bufferHeight = 0;
};

struct Font {
    XftFont* font = nullptr;
    int ascent = 0;  // baseline offset within a cell of the requested height
};

// The backend. Its operations live in one file per responsibility, named in
// the comments below.
class X11WindowSystem final : public WindowSystem {
  public:
    // x11_window_system.cpp: the display connection.
    X11WindowSystem();
    ~X11WindowSystem() override;
    bool available() override { return display_ != nullptr; }

    // x11_windows.cpp: classes, the window tree, geometry, pointer and capture.
    bool registerClass(const WindowClass& windowClass) override;
    NativeWindow createWindow(const WindowCreate& create) override;
    void destroyWindow(NativeWindow window) override;
    void showWindow(NativeWindow window, int command) override;
    void moveWindow(NativeWindow window, std::int32_t x, std::int32_t y) override;
    Rect windowRect(NativeWindow window) override;
    Rect clientRect(NativeWindow window) override;
    Point screenToClient(NativeWindow window, Point screen) override;
    std::intptr_t windowUserData(NativeWindow window) override;
    void setWindowUserData(NativeWindow window, std::intptr_t value) override;
    Size screenSize() override;
    Rect workArea() override;
    Point cursorPos() override;
    void setCapture(NativeWindow window) override;
    void releaseCapture() override;

    // As of the key messages handed out so far, like GetKeyState: a quick
    // tap read in one batch still shows the key down during its key-down.
    bool isKeyDown(std::uint32_t virtualKey) override {
        return messageKeysDown_.count(virtualKey) != 0;
    }

    // x11_paint.cpp: invalidation and painting.
    void invalidate(NativeWindow window, bool erase) override;
    void update(NativeWindow window) override;
    PaintContext beginPaint(NativeWindow window) override;
    void endPaint(NativeWindow window, PaintContext context) override;
    void fillRect(PaintContext context, Rect rect, Colour colour) override;
    void roundRect(PaintContext context, Rect rect, std::int32_t ellipseWidth,
                   std::int32_t ellipseHeight, Colour fill) override;
    void polyline(PaintContext context, std::span<const Point> points, Colour pen) override;
    void textOut(PaintContext context, std::int32_t x, std::int32_t y, std::string_view text,
                 std::int32_t fontHeight, Colour textColour, Colour background) override;
    Size textExtent(PaintContext context, std::string_view text, std::int32_t fontHeight) override;

    // x11_messages.cpp: the message queue.
    LResult sendMessage(NativeWindow window, std::uint32_t message, WParam wParam,
                        LParam lParam) override;
    void postMessage(NativeWindow window, std::uint32_t message, WParam wParam,
                     LParam lParam) override;
    void postQuitMessage(int exitCode) override;
    bool peekMessage() override;
    bool getMessage(Message& message) override;
    void translateMessage(const Message&) override {}
    LResult dispatchMessage(const Message& message) override;
    bool waitMessage(int timeoutMs) override;
    void wakeUp() override;
    LResult defWindowProc(NativeWindow window, std::uint32_t message, WParam wParam,
                          LParam lParam) override;

    // x11_tray.cpp: the tray icon, a StatusNotifierItem where a watcher is on
    // the session bus, else an XEmbed icon.
    bool addTrayIcon(const TrayIcon& icon) override;
    void removeTrayIcon(NativeWindow window, std::uint32_t id) override;
    void setTrayMenu(NativeWindow window, std::uint32_t id, const PopupMenu& menu) override;
    bool trayAvailable() override;

    // x11_dialogs.cpp: the popup menu and the message box.
    std::uint32_t trackPopupMenu(NativeWindow owner, const PopupMenu& menu, Point at) override;
    int messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                   std::uint32_t flags) override;

    // --- shared between the backend's files --------------------------------
    Display* display() const { return display_; }

    // x11_text.cpp: colours, fonts and text.
    unsigned long pixel(Colour colour);
    const XftColor* xftColour(Colour colour);
    const Font& font(std::int32_t height);
    // Width of the text's cell in the program's font.
    std::int32_t textWidth(std::string_view text, std::int32_t fontHeight);
    // Draws one cell of text with its opaque background onto an XftDraw.
    void drawTextCell(XftDraw* draw, std::int32_t x, std::int32_t y, std::string_view text,
                      std::int32_t fontHeight, Colour textColour, Colour background);

    // x11_tray.cpp: puts an ARGB picture of the program icon, size by size,
    // on a window.
    void drawIcon(Window window, int width, int height);

    // x11_wm_hints.cpp: a window's name and class for the window manager
    // (the class is the program's).
    void setUtf8Name(Window window, std::string_view name);
    void setClassHint(Window window, const char* resName);
    // The top-level window of another copy of the program with this name and title.
    bool commandOtherCopy(std::string_view className, std::string_view title,
                          std::uint32_t command) override;

  private:
    struct Atoms {
        Atom wmProtocols, wmDeleteWindow, wmState, netWmName, utf8String, netWmIcon, motifWmHints,
            netActiveWindow, netWmWindowType, netWmWindowTypeDialog, netWmWindowTypePopupMenu,
            netWmPid, trayOpcode, manager, xembedInfo, traySelection, command;
    };

    struct Tray {
        bool added = false;
        TrayIcon icon;
        Window window = None;
        Window manager = None;
        int width = 22;
        int height = 22;
    };

    // x11_windows.cpp
    WindowRecord* record(NativeWindow window);
    // The top-level window a window belongs to (itself when top-level).
    NativeWindow topLevelOf(NativeWindow window);
    // Shown with all its ancestors, none of them minimised or going away.
    bool viewable(NativeWindow window);
    void destroyTree(NativeWindow window);
    // The arrow pointer, created on first use.
    Cursor arrowCursor();

    // x11_wm_hints.cpp
    void setTopLevelProperties(WindowRecord& rec, const WindowCreate& create);

    // x11_paint.cpp
    void paintTree(NativeWindow window);
    // Where a paint's drawing goes: the window, or its buffer while a
    // double-buffered paint is open.
    Drawable target(const WindowRecord& rec, PaintContext context) const;
    // Lets go of a window's X drawing resources (its text drawing and buffer).
    void releaseDrawing(WindowRecord& rec);

    // x11_events.cpp: reads what the X server has sent, translating events
    // into messages.
    void pump();
    // Whether the server or the tray's bus may have something to read, or requests wait to
    // be flushed; one poll() without waiting on a quiet turn instead of a read per connection.
    bool trafficPending();
    void translate(XEvent& event);
    void translateTopLevelConfigure(WindowRecord& rec, const XConfigureEvent& event);
    void readWmState(WindowRecord& rec);
    // The virtual-key code of a key event (0: none); a release gives the code
    // of its press.
    std::uint32_t virtualKeyOfEvent(XKeyEvent& event);

    // x11_messages.cpp
    std::optional<Message> nextMessage(bool remove);
    // Blocks until X events or a wake-up arrive (or the time-out passes).
    void waitForInput(int timeoutMs);
    void drainWakeUps();
    // x11_dialogs.cpp: the next event set aside for the open popup (menu or box), giving the
    // program its turns (repaints, passes) meanwhile; false when the program ends the popup.
    bool nextPopupEvent(XEvent& event);

    // x11_tray.cpp
    bool trayEvent(XEvent& event);
    void findTrayManager();
    void dockTrayIcon();
    // Docks the XEmbed icon while the StatusNotifierItem is not shown (and
    // not about to be), and withdraws it while it is.
    void updateTrayKind();

    // x11_dialogs.cpp: a modal loop saw a key come up; that release never
    // reaches the main queue, so the key is no longer down in either key state.
    void forgetKey(XKeyEvent& event);
    // x11_dialogs.cpp: while the popup menu is open, sets its events and all
    // pointer and key input aside for it (true) instead of translating them.
    bool takePopupEvent(const XEvent& event);

    Display* display_ = nullptr;
    int screen_ = 0;
    Window root_ = None;
    Visual* visual_ = nullptr;
    Colormap colormap_ = None;
    Atoms atoms_{};
    GC gc_ = nullptr;
    int wakePipe_[2] = {-1, -1};
    Cursor arrow_ = None;
    unsigned int numLockMask_ = 0;  // 0 until looked up

    std::map<std::string, ClassRecord> classes_;
    std::map<NativeWindow, WindowRecord> windows_;
    std::set<NativeWindow> dirty_;
    std::deque<Message> posted_;
    std::deque<Message> input_;
    // The request number after the last pump's flush: a newer one means requests to send.
    unsigned long flushedRequest_ = 0;
    Window popup_ = None;  // the open popup menu or message box
    std::deque<XEvent> popupEvents_;
    std::optional<int> quit_;
    NativeWindow capture_ = 0;
    std::set<std::uint32_t> keysDown_;              // as of the X events read (auto-repeat flag)
    std::set<std::uint32_t> messageKeysDown_;       // as of the key messages handed out
    std::map<unsigned int, std::uint32_t> downAs_;  // keycode -> code of its key-down
    std::map<std::int32_t, Font> fonts_;
    std::map<Colour, XftColor> colours_;
    std::vector<XPoint> linePoints_;  // polyline's points, kept to save allocations
    Tray tray_;
    std::unique_ptr<sni::SniTray> sni_;  // while the tray icon is on the session bus
    std::vector<MenuItem> trayMenu_;     // for the StatusNotifierItem's menu
};

}  // namespace platform::x11
