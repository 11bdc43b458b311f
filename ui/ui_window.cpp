// UI_Window: binding of native windows to objects, message dispatch, the
// default mouse tracking, window creation and text drawing.
#include "ui/ui_window.h"

#include <cstring>

using platform::LParam;
using platform::LResult;
using platform::NativeWindow;
using platform::WParam;

namespace {

// Registers a class of the toolkit's window procedure (the first registration
// of a name wins).
void registerToolkitClass(const char* name, platform::NativeInstance instance, int iconId,
                          int cursorId, platform::Colour background, bool doubleBuffered = false) {
    platform::WindowClass windowClass;
    windowClass.style = platform::kCsHRedraw | platform::kCsVRedraw;
    windowClass.proc = windowProc;
    windowClass.instance = instance;
    windowClass.iconId = iconId;
    windowClass.cursorId = cursorId;
    windowClass.background = background;
    windowClass.name = name;
    windowClass.doubleBuffered = doubleBuffered;
    ws().registerClass(windowClass);
}

}  // namespace

NativeWindow createBoundChildWindow(UI_Window* object, const char* name, NativeWindow parent,
                                    platform::NativeInstance instance, std::int32_t x,
                                    std::int32_t y, std::int32_t width, std::int32_t height,
                                    platform::Colour background, bool doubleBuffered) {
    registerToolkitClass(name, instance, 0, platform::kIdcArrow, background, doubleBuffered);

    platform::WindowCreate create;
    create.exStyle = platform::kWsExAcceptFiles;
    create.className = name;
    create.title = name;
    create.style = platform::kWsChild | platform::kWsVisible | platform::kWsClipSiblings |
                   platform::kWsClipChildren;
    create.x = x;
    create.y = y;
    create.width = width;
    create.height = height;
    create.parent = parent;
    create.instance = instance;
    create.createParam = object;
    return ws().createWindow(create);
}

LResult windowProc(NativeWindow window, std::uint32_t message, WParam wParam, LParam lParam) {
    auto* object = reinterpret_cast<UI_Window*>(ws().windowUserData(window));
    if (object == nullptr) {
        if (message != platform::kWmCreate || lParam == 0) {
            return ws().defWindowProc(window, message, wParam, lParam);
        }
        void* param = reinterpret_cast<const platform::CreateStruct*>(lParam)->createParams;
        if (param == nullptr) return ws().defWindowProc(window, message, wParam, lParam);
        ws().setWindowUserData(window, reinterpret_cast<std::intptr_t>(param));
        object = static_cast<UI_Window*>(param);
    }
    return object->handleMessage(window, message, wParam, lParam);
}

LResult UI_Window::handleMessage(NativeWindow window, std::uint32_t message, WParam wParam,
                                 LParam lParam) {
    const int x = static_cast<int>(platform::loWord(static_cast<std::uintptr_t>(lParam)));
    const int y = static_cast<int>(platform::hiWord(static_cast<std::uintptr_t>(lParam)));
    switch (message) {
        case platform::kWmDestroy:
            ws().postQuitMessage(0);
            return 0;
        case platform::kWmMove:
            onMove();
            return 0;
        case platform::kWmSize:
            onSize();
            return 0;
        case platform::kWmActivate:
            onActivate();
            return 0;
        case platform::kWmPaint:
            onPaint();
            return 0;
        case platform::kWmClose:
            onClose();
            return 0;
        case platform::kWmActivateApp:
            onActivateApp(wParam != 0 ? 1 : 0, 0);
            return 0;
        case platform::kWmMouseActivate:
            onMouseActivate(wParam, x, y);
            return 0;
        case platform::kWmNotify:
            onNotify();
            return 0;
        case platform::kWmKeyDown:
            onKeyDown(wParam, lParam);
            if (wParam == platform::kVkEscape) {
                return ws().defWindowProc(window, message, wParam, lParam);
            }
            return 0;
        case platform::kWmKeyUp:
            onKeyUp(wParam, lParam);
            return 0;
        case platform::kWmChar:
            onChar(wParam, lParam);
            return 0;
        case platform::kWmCommand:
            onCommand(wParam, lParam);
            return 0;
        case platform::kWmEnterIdle:
            onEnterIdle();
            return 0;
        case platform::kWmMouseMove:
            onMouseMove(wParam, x, y);
            return 0;
        case platform::kWmLButtonDown:
            onLButtonDown(wParam, x, y);
            return 0;
        case platform::kWmLButtonUp:
            onLButtonUp(wParam, x, y);
            return 0;
        case platform::kWmLButtonDblClk:
            onLButtonDoubleClick(wParam, x, y);
            return 0;
        case platform::kWmRButtonDown:
            onRButtonDown(wParam, x, y);
            return 0;
        case platform::kWmRButtonUp:
            onRButtonUp(wParam, x, y);
            return 0;
        case platform::kWmMouseWheel:
            onMouseWheel(wParam);
            return 0;
        case platform::kWmTrayIcon:
            onTrayIcon(wParam, lParam);
            return 0;
        default:
            return ws().defWindowProc(window, message, wParam, lParam);
    }
}

void UI_Window::onTrayIcon(WParam, LParam) {}
void UI_Window::onClose() {}
void UI_Window::unusedSlot3() {}
void UI_Window::onEnterIdle() {}
void UI_Window::onNotify() {}
void UI_Window::onSize() {}
void UI_Window::onMove() {}

void UI_Window::onPaint() {
    platform::PaintContext context = ws().beginPaint(hwnd);
    ws().endPaint(hwnd, context);
}

void UI_Window::onActivate() {}
void UI_Window::unusedSlot10() {}
void UI_Window::onActivateApp(int, int) {}
void UI_Window::onMouseActivate(WParam, int, int) {}
void UI_Window::onMouseWheel(WParam) {}
void UI_Window::onLButtonDoubleClick(WParam, int, int) {}
void UI_Window::unusedSlot16(WParam, int, int) {}
void UI_Window::onCommand(WParam, LParam) {}
void UI_Window::onKeyDown(WParam, LParam) {}
void UI_Window::onKeyUp(WParam, LParam) {}
void UI_Window::onChar(WParam, LParam) {}

void UI_Window::notifyTracking(std::uint32_t code) {
    const WParam command = ((static_cast<std::uint32_t>(id) & 0xFFFF) + code) & 0xFFFF;
    ws().sendMessage(notifyTarget, platform::kWmCommand, command, 0);
}

// A press takes the capture; its notification is held back while the other
// button is already down.
void UI_Window::onLButtonDown(WParam, int, int) {
    leftDown = true;
    lastCursorPos = ws().cursorPos();
    ws().setCapture(hwnd);
    if (rightDown) return;
    cursorPos = ws().cursorPos();
    notifyTracking(kLeftPress);
}

void UI_Window::onRButtonDown(WParam, int, int) {
    rightDown = true;
    lastCursorPos = ws().cursorPos();
    ws().setCapture(hwnd);
    if (leftDown) return;
    cursorPos = ws().cursorPos();
    notifyTracking(kRightPress);
}

// A release ends both buttons' tracking, so the other button's later release
// finds its flag clear and does nothing.
void UI_Window::onLButtonUp(WParam, int, int) {
    if (!leftDown) return;
    leftDown = false;
    rightDown = false;
    ws().releaseCapture();
    cursorPos = ws().cursorPos();
    notifyTracking(kLeftRelease);
}

void UI_Window::onRButtonUp(WParam, int, int) {
    if (!rightDown) return;
    leftDown = false;
    rightDown = false;
    ws().releaseCapture();
    cursorPos = ws().cursorPos();
    notifyTracking(kRightRelease);
}

void UI_Window::onMouseMove(WParam, int, int) {
    cursorPos = ws().cursorPos();
    if (leftDown || rightDown) {
        dragDeltaX = cursorPos.x - lastCursorPos.x;
        dragDeltaY = cursorPos.y - lastCursorPos.y;
        lastCursorPos = cursorPos;
        if (leftDown && rightDown) {
            notifyTracking(kMoveBoth);
            return;
        }
    }
    if (leftDown) {
        notifyTracking(kMoveLeft);
    } else if (rightDown) {
        notifyTracking(kMoveRight);
    } else {
        notifyTracking(kMoveNoButton);
    }
}

void UI_Window::createMainWindow(platform::NativeInstance instance, int iconName, int cursorName,
                                 platform::Colour background, const char* className,
                                 const char* title, std::uint32_t style, std::int32_t x,
                                 std::int32_t y, std::int32_t width, std::int32_t height) {
    backgroundColour = background;

    registerToolkitClass(className, instance, iconName, cursorName, background);

    platform::WindowCreate create;
    create.className = className;
    create.title = title;
    create.style = style;
    create.x = x;
    create.y = y;
    create.width = width;
    create.height = height;
    create.instance = instance;
    create.createParam = this;
    hwnd = notifyTarget = ws().createWindow(create);
    ws().showWindow(hwnd, platform::kSwHide);
}

void UI_Window::createChildWindow(platform::NativeInstance instance, std::int32_t newId,
                                  platform::Colour background, const char* className,
                                  platform::NativeWindow target, platform::NativeWindow parent,
                                  std::int32_t x, std::int32_t y, std::int32_t width,
                                  std::int32_t height) {
    id = newId;
    notifyTarget = target;
    backgroundColour = background;

    hwnd =
        createBoundChildWindow(this, className, parent, instance, x, y, width, height, background);
    ws().showWindow(hwnd, platform::kSwHide);
}

std::int32_t UI_Window::textX(platform::PaintContext context, std::int32_t fontHeight,
                              std::int32_t x, const char* string, bool alignRight) {
    if (!alignRight) return x;
    const platform::Rect client = ws().clientRect(hwnd);
    const platform::Size extent =
        ws().textExtent(context, std::string_view(string, std::strlen(string)), fontHeight);
    return client.right - extent.cx;
}

void UI_Window::drawText(platform::PaintContext context, std::int32_t fontHeight,
                         platform::Colour background, platform::Colour textColour, std::int32_t x,
                         std::int32_t y, const char* string, std::int32_t count, bool alignRight) {
    ws().textOut(context, textX(context, fontHeight, x, string, alignRight), y,
                 std::string_view(string, static_cast<std::size_t>(count)), fontHeight, textColour,
                 background);
}
