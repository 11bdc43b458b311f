// FakeWindowSystem: a window system without a display for unit tests. It keeps
// windows, classes and a message queue like the real ones, calls the window
// procedures synchronously, and records what the code under test asked for
// (invalidations, captures, sent messages, drawing, tray, menus, boxes).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/window_system.h"

namespace testsupport {

class FakeWindowSystem : public platform::WindowSystem {
  public:
    using NativeWindow = platform::NativeWindow;

    struct Window {
        NativeWindow handle = 0;
        std::string className;
        std::string title;
        std::uint32_t style = 0;
        std::uint32_t exStyle = 0;
        NativeWindow parent = 0;
        // Position in the parent's client area (the screen for a top-level
        // window) and size.
        platform::Rect rect;
        bool visible = false;
        bool minimized = false;
        bool sized = false;  // the first kWmSize has been sent
        bool destroyed = false;
        bool dirty = false;
        bool erase = false;
        std::intptr_t userData = 0;
        std::vector<NativeWindow> children;
    };

    struct Invalidation {
        NativeWindow window = 0;
        bool erase = false;
    };

    struct SentMessage {
        NativeWindow window = 0;
        std::uint32_t message = 0;
        platform::WParam wParam = 0;
        platform::LParam lParam = 0;
    };

    // One capture request: the window for setCapture, 0 for releaseCapture.
    struct CaptureCall {
        NativeWindow window = 0;
    };

    struct DrawOp {
        enum Kind { Fill, RoundRect, Text, Polyline };
        Kind kind = Fill;
        NativeWindow window = 0;
        platform::Rect rect;  // Fill, RoundRect
        std::int32_t ellipseWidth = 0;
        std::int32_t ellipseHeight = 0;
        platform::Colour fill = 0;  // Fill, RoundRect
        std::int32_t x = 0;         // Text
        std::int32_t y = 0;
        std::string text;
        std::int32_t fontHeight = 0;
        platform::Colour textColour = 0;
        platform::Colour background = 0;
        std::vector<platform::Point> points;  // Polyline
        platform::Colour pen = 0;
    };

    struct MenuCall {
        NativeWindow owner = 0;
        platform::PopupMenu menu;
        platform::Point at;
    };

    struct MessageBoxCall {
        NativeWindow owner = 0;
        std::string text;
        std::string caption;
        std::uint32_t flags = 0;
    };

    // Installs itself as platform::windowSystem() until destroyed.
    FakeWindowSystem();
    ~FakeWindowSystem() override;
    FakeWindowSystem(const FakeWindowSystem&) = delete;
    FakeWindowSystem& operator=(const FakeWindowSystem&) = delete;

    // --- what tests set -----------------------------------------------------
    platform::Point cursor;
    platform::Size screen{1920, 1080};
    bool trayHostRunning = true;
    std::set<std::uint32_t> keysDown;
    // Result of defWindowProc for messages without a default action.
    platform::LResult defaultResult = 0;
    // The item that the next popup menus return (0: dismissed).
    std::uint32_t menuChoice = 0;
    // Text width: by default half the font height per ASCII byte and the full
    // height per other character (UTF-8); cy is the font height.
    std::function<platform::Size(std::string_view, std::int32_t)> measure;
    // The scale set for the text, and the commands asked of other copies (class, title, id).
    double textScale = 1.0;
    struct OtherCopyCommand {
        std::string className;
        std::string title;
        std::uint32_t command = 0;
    };
    std::vector<OtherCopyCommand> otherCopyCommands;
    // Called when getMessage or waitMessage finds the queue empty, so a test
    // can feed messages; getMessage then reports kWmQuit with kStarved when
    // still nothing waits, instead of blocking.
    std::function<void()> whenIdle;
    // Called inside messageBox while the box is "open", as the system's modal loop would
    // dispatch what arrives meanwhile.
    std::function<void()> duringMessageBox;
    static constexpr platform::WParam kStarved = static_cast<platform::WParam>(-1);

    // --- what was recorded ---------------------------------------------------
    std::vector<platform::WindowClass> registeredClasses;  // successful ones
    int failedRegistrations = 0;
    std::vector<Invalidation> invalidations;
    std::vector<SentMessage> sentMessages;      // every sendMessage call
    std::vector<SentMessage> defaultProcessed;  // every defWindowProc call
    std::vector<CaptureCall> captureCalls;
    std::vector<std::pair<NativeWindow, int>> showCalls;
    std::vector<NativeWindow> updateCalls;
    std::vector<NativeWindow> paints;  // windows in beginPaint order
    int unbalancedPaints = 0;          // endPaint without a matching beginPaint
    std::vector<DrawOp> drawing;
    std::vector<SentMessage> queue;  // posted and not yet taken
    std::optional<int> quitCode;     // set by postQuitMessage
    int quitRequests = 0;
    int waits = 0;                  // waitMessage calls and getMessage waits
    std::vector<int> waitTimeouts;  // of the waitMessage calls
    int wakeUps = 0;
    std::map<std::uint32_t, platform::TrayIcon> trayIcons;  // by id
    int trayAdds = 0;
    std::vector<MenuCall> menus;
    std::vector<MessageBoxCall> messageBoxes;
    std::vector<NativeWindow> destroyed;  // in kWmDestroy order

    // --- helpers ---------------------------------------------------------------
    Window* window(NativeWindow handle);
    // The live window whose title is `title` (0 when none).
    NativeWindow findByTitle(const std::string& title) const;
    std::vector<NativeWindow> childrenOf(NativeWindow handle) const;
    NativeWindow captureWindow() const { return capture_; }
    // Visible together with every ancestor, and not minimised.
    bool viewable(NativeWindow handle);
    int invalidationCount(NativeWindow handle) const;
    std::vector<DrawOp> drawingOf(NativeWindow handle) const;
    std::vector<SentMessage> sentTo(NativeWindow handle) const;
    // Forgets every record (not the windows, classes or queue).
    void clearRecords();

    // --- platform::WindowSystem --------------------------------------------------
    bool available() override { return true; }
    bool registerClass(const platform::WindowClass& windowClass) override;
    NativeWindow createWindow(const platform::WindowCreate& create) override;
    void destroyWindow(NativeWindow window) override;
    void showWindow(NativeWindow window, int command) override;
    void moveWindow(NativeWindow window, std::int32_t x, std::int32_t y) override;
    platform::Rect windowRect(NativeWindow window) override;
    platform::Rect clientRect(NativeWindow window) override;
    platform::Point screenToClient(NativeWindow window, platform::Point screen) override;
    std::intptr_t windowUserData(NativeWindow window) override;
    void setWindowUserData(NativeWindow window, std::intptr_t value) override;
    platform::Point cursorPos() override { return cursor; }
    void setCapture(NativeWindow window) override;
    void releaseCapture() override;
    bool isKeyDown(std::uint32_t virtualKey) override { return keysDown.count(virtualKey) != 0; }
    void invalidate(NativeWindow window, bool erase) override;
    void update(NativeWindow window) override;
    platform::PaintContext beginPaint(NativeWindow window) override;
    void endPaint(NativeWindow window, platform::PaintContext context) override;
    void fillRect(platform::PaintContext context, platform::Rect rect,
                  platform::Colour colour) override;
    void roundRect(platform::PaintContext context, platform::Rect rect, std::int32_t ellipseWidth,
                   std::int32_t ellipseHeight, platform::Colour fill) override;
    void polyline(platform::PaintContext context, std::span<const platform::Point> points,
                  platform::Colour pen) override;
    void textOut(platform::PaintContext context, std::int32_t x, std::int32_t y,
                 std::string_view text, std::int32_t fontHeight, platform::Colour textColour,
                 platform::Colour background) override;
    platform::Size textExtent(platform::PaintContext context, std::string_view text,
                              std::int32_t fontHeight) override;
    platform::Size screenSize() override { return screen; }
    platform::LResult sendMessage(NativeWindow window, std::uint32_t message,
                                  platform::WParam wParam, platform::LParam lParam) override;
    void postMessage(NativeWindow window, std::uint32_t message, platform::WParam wParam,
                     platform::LParam lParam) override;
    void postQuitMessage(int exitCode) override;
    bool peekMessage() override;
    bool getMessage(platform::Message& message) override;
    void translateMessage(const platform::Message&) override {}
    platform::LResult dispatchMessage(const platform::Message& message) override;
    bool waitMessage(int timeoutMs) override;
    void wakeUp() override { ++wakeUps; }
    platform::LResult defWindowProc(NativeWindow window, std::uint32_t message,
                                    platform::WParam wParam, platform::LParam lParam) override;
    bool addTrayIcon(const platform::TrayIcon& icon) override;
    void removeTrayIcon(NativeWindow window, std::uint32_t id) override;
    bool trayAvailable() override { return trayHostRunning && !trayIcons.empty(); }
    void setTextScale(double scale) override { textScale = scale; }
    bool commandOtherCopy(std::string_view className, std::string_view title,
                          std::uint32_t command) override {
        otherCopyCommands.push_back({std::string(className), std::string(title), command});
        return true;
    }
    std::uint32_t trackPopupMenu(NativeWindow owner, const platform::PopupMenu& menu,
                                 platform::Point at) override;
    int messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                   std::uint32_t flags) override;

  private:
    platform::LResult callProcedure(NativeWindow window, std::uint32_t message,
                                    platform::WParam wParam, platform::LParam lParam);
    platform::Point clientOrigin(NativeWindow handle);
    void paintTree(NativeWindow handle);
    // The next message that getMessage would return, or nullopt.
    std::optional<platform::Message> nextMessage(bool remove);

    platform::WindowSystem* previous_ = nullptr;
    std::map<std::string, platform::WindowClass> classes_;
    std::map<NativeWindow, Window> windows_;
    NativeWindow nextHandle_ = 0x1000;
    NativeWindow capture_ = 0;
    std::uintptr_t nextPaint_ = 1;
    std::map<std::uintptr_t, NativeWindow> openPaints_;
    bool quitPending_ = false;
};

}  // namespace testsupport
