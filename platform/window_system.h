// The window-system seam: window classes and windows bound to one procedure,
// the message queue, painting, mouse capture and cursor, the tray icon, the
// popup menu and the message box, as the window toolkit needs them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/native_window.h"

namespace platform {

// Message parameters and results, as wide as a pointer like their Windows
// counterparts.
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;
// A colour as 0x00BBGGRR.
using Colour = std::uint32_t;
// The module handle that classes and resources belong to (HINSTANCE on
// Windows; unused on Linux, 0 is fine).
using NativeInstance = std::uintptr_t;

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t width() const { return right - left; }
    std::int32_t height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Message ids: the Windows values, so that both backends speak one vocabulary.
inline constexpr std::uint32_t kWmCreate = 0x0001;
inline constexpr std::uint32_t kWmDestroy = 0x0002;
inline constexpr std::uint32_t kWmMove = 0x0003;
inline constexpr std::uint32_t kWmSize = 0x0005;
inline constexpr std::uint32_t kWmActivate = 0x0006;
inline constexpr std::uint32_t kWmPaint = 0x000F;
inline constexpr std::uint32_t kWmClose = 0x0010;
inline constexpr std::uint32_t kWmQuit = 0x0012;
inline constexpr std::uint32_t kWmActivateApp = 0x001C;
inline constexpr std::uint32_t kWmMouseActivate = 0x0021;
inline constexpr std::uint32_t kWmNotify = 0x004E;
inline constexpr std::uint32_t kWmKeyDown = 0x0100;
inline constexpr std::uint32_t kWmKeyUp = 0x0101;
inline constexpr std::uint32_t kWmChar = 0x0102;
inline constexpr std::uint32_t kWmCommand = 0x0111;
inline constexpr std::uint32_t kWmEnterIdle = 0x0121;
inline constexpr std::uint32_t kWmMouseMove = 0x0200;
inline constexpr std::uint32_t kWmLButtonDown = 0x0201;
inline constexpr std::uint32_t kWmLButtonUp = 0x0202;
inline constexpr std::uint32_t kWmLButtonDblClk = 0x0203;
inline constexpr std::uint32_t kWmRButtonDown = 0x0204;
inline constexpr std::uint32_t kWmRButtonUp = 0x0205;
inline constexpr std::uint32_t kWmMButtonDown = 0x0207;
inline constexpr std::uint32_t kWmMButtonUp = 0x0208;
inline constexpr std::uint32_t kWmMouseWheel = 0x020A;
inline constexpr std::uint32_t kWmUser = 0x0400;
// The tray icon's callback message (WM_USER + 21).
inline constexpr std::uint32_t kWmTrayIcon = 0x0415;

// Virtual-key codes of the two keys the toolkit and the main window look at
// (key messages carry the Windows virtual-key code of any key in wParam; the
// full list is platform/virtual_keys.h).
inline constexpr std::uint32_t kVkReturn = 0x0D;
inline constexpr std::uint32_t kVkEscape = 0x1B;

// Show commands.
inline constexpr int kSwHide = 0;
inline constexpr int kSwShow = 5;
inline constexpr int kSwMinimize = 6;
inline constexpr int kSwRestore = 9;

// wParam of kWmSize.
inline constexpr WParam kSizeRestored = 0;
inline constexpr WParam kSizeMinimized = 1;

// Window styles and class styles (Windows bits).
inline constexpr std::uint32_t kWsChild = 0x40000000;
inline constexpr std::uint32_t kWsVisible = 0x10000000;
inline constexpr std::uint32_t kWsClipSiblings = 0x04000000;
inline constexpr std::uint32_t kWsClipChildren = 0x02000000;
inline constexpr std::uint32_t kWsCaption = 0x00C00000;
inline constexpr std::uint32_t kWsSysMenu = 0x00080000;
inline constexpr std::uint32_t kWsThickFrame = 0x00040000;
inline constexpr std::uint32_t kWsMinimizeBox = 0x00020000;
inline constexpr std::uint32_t kWsMaximizeBox = 0x00010000;
inline constexpr std::uint32_t kWsExAcceptFiles = 0x00000010;
inline constexpr std::uint32_t kCsHRedraw = 0x0002;
inline constexpr std::uint32_t kCsVRedraw = 0x0001;

// System cursor id of the arrow.
inline constexpr int kIdcArrow = 32512;

// Message box: flags and result.
inline constexpr std::uint32_t kMbOk = 0;
inline constexpr int kIdOk = 1;

// The two 16-bit halves of a message parameter, zero-extended.
constexpr std::uint32_t loWord(std::uintptr_t v) {
    return static_cast<std::uint32_t>(v & 0xFFFF);
}
constexpr std::uint32_t hiWord(std::uintptr_t v) {
    return static_cast<std::uint32_t>((v >> 16) & 0xFFFF);
}
constexpr LParam makeLParam(std::int32_t lo, std::int32_t hi) {
    return static_cast<LParam>((static_cast<std::uint32_t>(lo) & 0xFFFF) |
                               ((static_cast<std::uint32_t>(hi) & 0xFFFF) << 16));
}

// What the lParam of kWmCreate points to; its first member is the creation
// parameter given to createWindow (laid out like CREATESTRUCT's first member).
struct CreateStruct {
    void* createParams = nullptr;
};

// The procedure of a window class. Called for every message of its windows,
// including the ones sent synchronously during creation and destruction.
using WindowProc = LResult (*)(NativeWindow window, std::uint32_t message, WParam wParam,
                               LParam lParam);

struct WindowClass {
    std::uint32_t style = kCsHRedraw | kCsVRedraw;
    WindowProc proc = nullptr;
    NativeInstance instance = 0;
    int iconId = 0;         // resource id of the icon, 0 for none
    int cursorId = 0;       // system cursor id (kIdcArrow), 0 for none
    Colour background = 0;  // colour of the background brush
    std::string name;
    // Paints of its windows draw off-screen, starting from the background colour, and are
    // shown whole at endPaint: a window repainted many times a second does not flicker.
    bool doubleBuffered = false;
};

struct WindowCreate {
    std::uint32_t exStyle = 0;
    std::string className;
    std::string title;
    std::uint32_t style = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    NativeWindow parent = 0;  // set together with kWsChild for a child window
    NativeInstance instance = 0;
    void* createParam = nullptr;  // handed to the procedure in kWmCreate
};

struct Message {
    NativeWindow window = 0;
    std::uint32_t message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
};

// A drawing target between beginPaint and endPaint.
struct PaintContext {
    NativeWindow window = 0;
    std::uintptr_t handle = 0;
};

struct MenuItem {
    std::uint32_t id = 0;
    std::string text;
};

// A popup menu. The Windows backend loads resourceId (and shows its first
// submenu); the others build the menu from the items.
struct PopupMenu {
    int resourceId = 0;
    std::vector<MenuItem> items;
};

struct TrayIcon {
    NativeWindow window = 0;  // receives the callback message
    std::uint32_t id = 0;     // wParam of the callback message
    std::uint32_t callbackMessage = kWmTrayIcon;
    NativeInstance instance = 0;
    int iconId = 0;
    std::string tip;
};

// Everything the toolkit and the main loop ask of the window system. Only the
// main thread calls it, except wakeUp.
class WindowSystem {
  public:
    virtual ~WindowSystem() = default;

    // False when the window system cannot be reached (no display); nothing
    // else then works.
    virtual bool available() = 0;

    // Classes and windows ---------------------------------------------------

    // Registers a class by name. A name already registered keeps its first
    // registration and the call returns false.
    virtual bool registerClass(const WindowClass& windowClass) = 0;
    // Creates a window of a registered class; its procedure receives kWmCreate
    // (lParam -> CreateStruct) before this returns. 0 on failure. A window
    // created with kWsVisible is shown at once, any other stays hidden.
    virtual NativeWindow createWindow(const WindowCreate& create) = 0;
    // Sends kWmDestroy to the window and then to its descendants, and destroys
    // them all. No message reaches them afterwards.
    virtual void destroyWindow(NativeWindow window) = 0;
    // kSwShow, kSwHide, kSwMinimize or kSwRestore.
    virtual void showWindow(NativeWindow window, int command) = 0;
    // Moves a window (client coordinates of its parent), keeping its size and
    // putting it on top of its siblings.
    virtual void moveWindow(NativeWindow window, std::int32_t x, std::int32_t y) = 0;
    // The window's rectangle in screen coordinates.
    virtual Rect windowRect(NativeWindow window) = 0;
    // The client area: left and top are 0.
    virtual Rect clientRect(NativeWindow window) = 0;
    virtual Point screenToClient(NativeWindow window, Point screen) = 0;
    // The pointer-sized user slot of a window (0 until set).
    virtual std::intptr_t windowUserData(NativeWindow window) = 0;
    virtual void setWindowUserData(NativeWindow window, std::intptr_t value) = 0;

    // Mouse and keyboard ------------------------------------------------------

    // The cursor position in screen coordinates.
    virtual Point cursorPos() = 0;
    // Sends every mouse event to `window` until releaseCapture.
    virtual void setCapture(NativeWindow window) = 0;
    virtual void releaseCapture() = 0;
    // Whether a key (virtual-key code) is down as of the key messages
    // retrieved so far.
    virtual bool isKeyDown(std::uint32_t virtualKey) = 0;

    // Painting -----------------------------------------------------------------

    // Marks the whole client area for repainting; with erase the background
    // is cleared to the class colour before the next paint.
    virtual void invalidate(NativeWindow window, bool erase) = 0;
    // Paints the window and its descendants that are marked, before returning
    // (kWmPaint sent synchronously to each).
    virtual void update(NativeWindow window) = 0;
    // Within kWmPaint: start and end drawing. beginPaint erases when asked and
    // clears the mark. In a window of a double-buffered class the drawing goes
    // to a buffer filled with the class colour, copied to the window by endPaint.
    virtual PaintContext beginPaint(NativeWindow window) = 0;
    virtual void endPaint(NativeWindow window, PaintContext context) = 0;
    virtual void fillRect(PaintContext context, Rect rect, Colour colour) = 0;
    // A rectangle with rounded corners (ellipse of ellipseWidth by
    // ellipseHeight), filled with `fill` and outlined by a 1-pixel black pen,
    // covering left..right-1 and top..bottom-1.
    virtual void roundRect(PaintContext context, Rect rect, std::int32_t ellipseWidth,
                           std::int32_t ellipseHeight, Colour fill) = 0;
    // Lines from each point to the next in a 1-pixel pen of colour `pen`
    // (Polyline: the last point itself may be left out). Fewer than two points
    // draw nothing.
    virtual void polyline(PaintContext context, std::span<const Point> points, Colour pen) = 0;
    // Draws text in the program's font at a cell height of fontHeight pixels,
    // (x, y) being the top left of the cell. The cell behind the text is first
    // filled with `background`. Empty text draws nothing.
    virtual void textOut(PaintContext context, std::int32_t x, std::int32_t y,
                         std::string_view text, std::int32_t fontHeight, Colour textColour,
                         Colour background) = 0;
    // The size of the cell that textOut would fill (context 0: outside a paint).
    virtual Size textExtent(PaintContext context, std::string_view text,
                            std::int32_t fontHeight) = 0;
    // Draws and measures the text at `scale` times the heights asked for from now on (1 at
    // first): for a font wider than the one the layout was made for.
    virtual void setTextScale(double) {}
    // The size of the primary screen.
    virtual Size screenSize() = 0;
    // The part of the primary screen that windows may take, in screen
    // coordinates: the screen less the panels and taskbars kept clear.
    virtual Rect workArea() {
        const Size screen = screenSize();
        return {0, 0, screen.cx, screen.cy};
    }

    // Messages -------------------------------------------------------------------

    // Calls the window's procedure directly and returns its result; 0 for a
    // null or unknown window.
    virtual LResult sendMessage(NativeWindow window, std::uint32_t message, WParam wParam,
                                LParam lParam) = 0;
    // Queues a message for the window (0: a message for no window).
    virtual void postMessage(NativeWindow window, std::uint32_t message, WParam wParam,
                             LParam lParam) = 0;
    // Makes getMessage return false with kWmQuit and this exit code.
    virtual void postQuitMessage(int exitCode) = 0;
    // Whether a message is waiting, without taking it.
    virtual bool peekMessage() = 0;
    // Takes the next message, waiting for one. False when it is kWmQuit (its
    // wParam is then the exit code).
    virtual bool getMessage(Message& message) = 0;
    // Character translation of key messages (nothing on Linux).
    virtual void translateMessage(const Message& message) = 0;
    // Hands the message to its window's procedure and returns the result.
    virtual LResult dispatchMessage(const Message& message) = 0;
    // Waits until a message is waiting, wakeUp is called or timeoutMs passes
    // (negative: no limit). True when a message is waiting.
    virtual bool waitMessage(int timeoutMs) = 0;
    // Ends the current or the next waitMessage early (getMessage goes on
    // waiting for a message). Callable from any thread and from a signal
    // handler.
    virtual void wakeUp() = 0;
    // The default processing of a message (kWmClose destroys the window,
    // kWmPaint validates it, everything else returns 0).
    virtual LResult defWindowProc(NativeWindow window, std::uint32_t message, WParam wParam,
                                  LParam lParam) = 0;

    // Tray, menu and message box ---------------------------------------------------

    // Adds the notification-area icon. Mouse presses and releases on it post
    // icon.callbackMessage to icon.window with wParam = icon.id and lParam =
    // the mouse message (kWmLButtonDown, kWmRButtonDown, ...).
    virtual bool addTrayIcon(const TrayIcon& icon) = 0;
    virtual void removeTrayIcon(NativeWindow window, std::uint32_t id) = 0;
    // The menu of the icon (window, id), for tray hosts that draw an icon's
    // menu themselves: its items reach the window as kWmCommand (wParam = the
    // item's id, lParam = 0), like those of trackPopupMenu. May come before or
    // after addTrayIcon; a later call replaces the items. Backends whose tray
    // asks the window for its menu (through the callback message) ignore it.
    virtual void setTrayMenu(NativeWindow, std::uint32_t, const PopupMenu&) {}
    // Whether an icon is in a notification area that the user can reach now
    // (on Linux: a tray host runs and holds the icon). When it is not, closing
    // the window should minimise rather than hide it.
    virtual bool trayAvailable() = 0;
    // Shows the menu at `at` (screen coordinates, kept on the screen) and
    // waits until it closes. The chosen item is posted to `owner` as
    // kWmCommand (wParam = its id, lParam = 0) and returned; 0 when none.
    virtual std::uint32_t trackPopupMenu(NativeWindow owner, const PopupMenu& menu, Point at) = 0;
    // Asks the top-level window of that class and title in another process of this user to
    // run `command` (a kWmCommand with that wParam), as a click on its menu item would. False
    // when no such window is found, or the backend cannot ask.
    virtual bool commandOtherCopy(std::string_view, std::string_view, std::uint32_t) {
        return false;
    }
    // A modal box with the text, the caption and an OK button.
    virtual int messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                           std::uint32_t flags) = 0;
};

// The backend of the OS being built for, created on first use.
std::unique_ptr<WindowSystem> createNativeWindowSystem();

inline WindowSystem*& windowSystemOverride() {
    static WindowSystem* replacement = nullptr;
    return replacement;
}

// The window system that the toolkit and the main loop use: the one set by
// setWindowSystem, else the native backend.
inline WindowSystem& windowSystem() {
    if (WindowSystem* replacement = windowSystemOverride()) return *replacement;
    static std::unique_ptr<WindowSystem> native = createNativeWindowSystem();
    return *native;
}

// Puts another window system in place of the native one (tests install a
// fake); nullptr goes back to the native one. Returns the one it replaced.
inline WindowSystem* setWindowSystem(WindowSystem* replacement) {
    WindowSystem* previous = windowSystemOverride();
    windowSystemOverride() = replacement;
    return previous;
}

}  // namespace platform
