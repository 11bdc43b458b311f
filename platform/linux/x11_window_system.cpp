// The X11 window system (Xlib, Xft and fontconfig): placeholder until the
// backend lands; reports itself unavailable.
#include "platform/window_system.h"

namespace platform {
namespace {

class UnavailableWindowSystem final : public WindowSystem {
public:
    bool available() override { return false; }
    bool registerClass(const WindowClass&) override { return false; }
    NativeWindow createWindow(const WindowCreate&) override { return 0; }
    void destroyWindow(NativeWindow) override {}
    void showWindow(NativeWindow, int) override {}
    void moveWindow(NativeWindow, std::int32_t, std::int32_t) override {}
    Rect windowRect(NativeWindow) override { return {}; }
    Rect clientRect(NativeWindow) override { return {}; }
    Point screenToClient(NativeWindow, Point p) override { return p; }
    std::intptr_t windowUserData(NativeWindow) override { return 0; }
    void setWindowUserData(NativeWindow, std::intptr_t) override {}
    Point cursorPos() override { return {}; }
    void setCapture(NativeWindow) override {}
    void releaseCapture() override {}
    bool isKeyDown(std::uint32_t) override { return false; }
    void invalidate(NativeWindow, bool) override {}
    void update(NativeWindow) override {}
    PaintContext beginPaint(NativeWindow w) override { return {w, 0}; }
    void endPaint(NativeWindow, PaintContext) override {}
    void fillRect(PaintContext, Rect, Colour) override {}
    void roundRect(PaintContext, Rect, std::int32_t, std::int32_t, Colour) override {}
    void textOut(PaintContext, std::int32_t, std::int32_t, std::string_view, std::int32_t, Colour,
                 Colour) override {}
    Size textExtent(PaintContext, std::string_view, std::int32_t) override { return {}; }
    Size screenSize() override { return {}; }
    LResult sendMessage(NativeWindow, std::uint32_t, WParam, LParam) override { return 0; }
    void postMessage(NativeWindow, std::uint32_t, WParam, LParam) override {}
    void postQuitMessage(int) override {}
    bool peekMessage() override { return false; }
    bool getMessage(Message& m) override {
        m = {0, kWmQuit, 0, 0};
        return false;
    }
    void translateMessage(const Message&) override {}
    LResult dispatchMessage(const Message&) override { return 0; }
    bool waitMessage(int) override { return false; }
    void wakeUp() override {}
    LResult defWindowProc(NativeWindow, std::uint32_t, WParam, LParam) override { return 0; }
    bool addTrayIcon(const TrayIcon&) override { return false; }
    void removeTrayIcon(NativeWindow, std::uint32_t) override {}
    bool trayAvailable() override { return false; }
    std::uint32_t trackPopupMenu(NativeWindow, const PopupMenu&, Point) override { return 0; }
    int messageBox(NativeWindow, std::string_view, std::string_view, std::uint32_t) override {
        return kIdOk;
    }
};

}  // namespace

std::unique_ptr<WindowSystem> createNativeWindowSystem() {
    return std::make_unique<UnavailableWindowSystem>();
}

}  // namespace platform
