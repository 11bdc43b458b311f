// The window toolkit's base classes: UI_Core and UI_Window, an object bound to
// one native window, with its table of overridable operations, the shared
// window procedure, the mouse tracking and the text drawing.
#pragma once

#include <cstdint>

#include "platform/window_system.h"

// The window system the toolkit's windows live in.
inline platform::WindowSystem& ws() {
    return platform::windowSystem();
}

// Root of the toolkit's class tree.
class UI_Core {};

// An object bound to one native window. Every operation has its default here;
// the virtual operations below are declared in the order of the operation
// table that all toolkit classes share (slots 0 to 26).
class UI_Window : public UI_Core {
  public:
    // Background of a window that has not been created yet: RGB(74,74,74).
    static constexpr platform::Colour kDefaultBackground = 0x4A4A4A;

    // Mouse-tracking notification codes, added to the low 16 bits of `id` in
    // the wParam of the kWmCommand sent to `notifyTarget`.
    enum TrackingCode : std::uint32_t {
        kMoveNoButton = 0,
        kMoveLeft = 1,
        kMoveRight = 2,
        kMoveBoth = 3,
        kLeftPress = 4,
        kRightPress = 5,
        kLeftRelease = 6,
        kRightRelease = 7,
    };

    UI_Window() = default;
    // Releases nothing and never destroys the native window: the window system
    // destroys native windows (a child goes with its parent).
    ~UI_Window() = default;
    UI_Window(const UI_Window&) = delete;
    UI_Window& operator=(const UI_Window&) = delete;

    // Slot 0: maps a message to one of the other operations.
    virtual platform::LResult handleMessage(platform::NativeWindow window, std::uint32_t message,
                                            platform::WParam wParam, platform::LParam lParam);
    virtual void onTrayIcon(platform::WParam wParam, platform::LParam lParam);  // 1
    virtual void onClose();                                                     // 2
    virtual void unusedSlot3();                                                 // 3
    virtual void onEnterIdle();                                                 // 4
    virtual void onNotify();                                                    // 5
    virtual void onSize();                                                      // 6
    virtual void onMove();                                                      // 7
    // Slot 8: begins and ends a paint, drawing nothing (the class background
    // shows).
    virtual void onPaint();
    virtual void onActivate();                                                 // 9
    virtual void unusedSlot10();                                               // 10
    virtual void onActivateApp(int active, int zero);                          // 11
    virtual void onMouseActivate(platform::WParam wParam, int x, int y);       // 12
    virtual void onMouseWheel(platform::WParam wParam);                        // 13
    virtual void onLButtonDoubleClick(platform::WParam wParam, int x, int y);  // 14
    virtual void onLButtonDown(platform::WParam wParam, int x, int y);         // 15
    virtual void unusedSlot16(platform::WParam wParam, int x, int y);          // 16
    virtual void onLButtonUp(platform::WParam wParam, int x, int y);           // 17
    virtual void onRButtonDown(platform::WParam wParam, int x, int y);         // 18
    virtual void onRButtonUp(platform::WParam wParam, int x, int y);           // 19
    virtual void onMouseMove(platform::WParam wParam, int x, int y);           // 20
    virtual void onCommand(platform::WParam wParam, platform::LParam lParam);  // 21
    virtual void onKeyDown(platform::WParam wParam, platform::LParam lParam);  // 22
    virtual void onKeyUp(platform::WParam wParam, platform::LParam lParam);    // 23
    virtual void onChar(platform::WParam wParam, platform::LParam lParam);     // 24
    // Slot 25: registers a class and creates the hidden top-level window bound
    // to this object; `notifyTarget` becomes the window itself.
    virtual void createMainWindow(platform::NativeInstance instance, int iconName, int cursorName,
                                  platform::Colour backgroundColour, const char* className,
                                  const char* title, std::uint32_t style, std::int32_t x,
                                  std::int32_t y, std::int32_t width, std::int32_t height);
    // Slot 26: registers a class and creates a hidden child window bound to
    // this object.
    virtual void createChildWindow(platform::NativeInstance instance, std::int32_t id,
                                   platform::Colour backgroundColour, const char* className,
                                   platform::NativeWindow notifyTarget,
                                   platform::NativeWindow parent, std::int32_t x, std::int32_t y,
                                   std::int32_t width, std::int32_t height);

    // Draws `count` bytes of `string` at (x, y) in the program's font, the
    // cell behind filled with `background`. With rightAlign the text ends at
    // the right edge of the client area instead; the width is measured over
    // the whole NUL-terminated string.
    void drawText(platform::PaintContext context, std::int32_t fontHeight,
                  platform::Colour background, platform::Colour textColour, std::int32_t x,
                  std::int32_t y, const char* string, std::int32_t count, bool rightAlign);
    // The x at which drawText starts the string: x itself, or with rightAlign
    // the client area's right edge less the string's width.
    std::int32_t textX(platform::PaintContext context, std::int32_t fontHeight, std::int32_t x,
                       const char* string, bool rightAlign);

    std::int32_t id = -1;
    platform::NativeWindow hwnd = 0;
    platform::NativeWindow notifyTarget = 0;
    bool shown = false;
    platform::Colour backgroundColour = kDefaultBackground;
    bool leftDown = false;
    bool rightDown = false;
    platform::Point cursorPos;
    platform::Point lastCursorPos;
    bool rightAlign = false;
    std::int32_t dragDeltaX = 0;
    std::int32_t dragDeltaY = 0;

  protected:
    // Sends kWmCommand (low 16 bits of id + code) to notifyTarget.
    void notifyTracking(std::uint32_t code);
};

// The one window procedure of every class the toolkit registers: binds the
// window to the object given at creation and hands it every later message.
platform::LResult windowProc(platform::NativeWindow window, std::uint32_t message,
                             platform::WParam wParam, platform::LParam lParam);

// Registers a class named `name` (the first registration of a name wins) and
// creates a child window of that class, titled `name`, bound to `object`. The
// caller shows or hides it. A double-buffered class paints off-screen first.
platform::NativeWindow createBoundChildWindow(UI_Window* object, const char* name,
                                              platform::NativeWindow parent,
                                              platform::NativeInstance instance, std::int32_t x,
                                              std::int32_t y, std::int32_t width,
                                              std::int32_t height, platform::Colour background,
                                              bool doubleBuffered = false);
