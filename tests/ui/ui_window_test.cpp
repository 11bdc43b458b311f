// Tests of UI_Window on the fake window system: binding of windows to
// objects, the dispatch table, the mouse-tracking codes and window creation.
#include "ui/ui_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_window_system.h"

using platform::LParam;
using platform::WParam;
using testsupport::FakeWindowSystem;

namespace {

struct Call {
    std::string slot;
    std::uint64_t a = 0;
    std::int64_t b = 0;
    int x = 0;
    int y = 0;
    bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Call& c) {
    return os << c.slot << "(" << c.a << ", " << c.b << ", " << c.x << ", " << c.y << ")";
}

// Records every operation that the dispatcher reaches; the tracking slots
// record and then run the default tracking.
class RecordingWindow : public UI_Window {
  public:
    std::vector<Call> calls;

    void onTrayIcon(WParam w, LParam l) override { calls.push_back({"onTrayIcon", w, l}); }
    void onClose() override { calls.push_back({"onClose"}); }
    void onEnterIdle() override { calls.push_back({"onEnterIdle"}); }
    void onNotify() override { calls.push_back({"onNotify"}); }
    void onSize() override { calls.push_back({"onSize"}); }
    void onMove() override { calls.push_back({"onMove"}); }
    void onPaint() override {
        calls.push_back({"onPaint"});
        UI_Window::onPaint();
    }
    void onActivate() override { calls.push_back({"onActivate"}); }
    void onActivateApp(int active, int zero) override {
        calls.push_back({"onActivateApp", static_cast<std::uint64_t>(active), zero});
    }
    void onMouseActivate(WParam w, int x, int y) override {
        calls.push_back({"onMouseActivate", w, 0, x, y});
    }
    void onMouseWheel(WParam w) override { calls.push_back({"onMouseWheel", w}); }
    void onLButtonDoubleClick(WParam w, int x, int y) override {
        calls.push_back({"onLButtonDoubleClick", w, 0, x, y});
    }
    void onLButtonDown(WParam w, int x, int y) override {
        calls.push_back({"onLButtonDown", w, 0, x, y});
        UI_Window::onLButtonDown(w, x, y);
    }
    void onLButtonUp(WParam w, int x, int y) override {
        calls.push_back({"onLButtonUp", w, 0, x, y});
        UI_Window::onLButtonUp(w, x, y);
    }
    void onRButtonDown(WParam w, int x, int y) override {
        calls.push_back({"onRButtonDown", w, 0, x, y});
        UI_Window::onRButtonDown(w, x, y);
    }
    void onRButtonUp(WParam w, int x, int y) override {
        calls.push_back({"onRButtonUp", w, 0, x, y});
        UI_Window::onRButtonUp(w, x, y);
    }
    void onMouseMove(WParam w, int x, int y) override {
        calls.push_back({"onMouseMove", w, 0, x, y});
        UI_Window::onMouseMove(w, x, y);
    }
    void onCommand(WParam w, LParam l) override { calls.push_back({"onCommand", w, l}); }
    void onKeyDown(WParam w, LParam l) override { calls.push_back({"onKeyDown", w, l}); }
    void onKeyUp(WParam w, LParam l) override { calls.push_back({"onKeyUp", w, l}); }
    void onChar(WParam w, LParam l) override { calls.push_back({"onChar", w, l}); }

    // The tracking codes that reached this window's own onCommand.
    std::vector<std::uint64_t> commands() const {
        std::vector<std::uint64_t> out;
        for (const Call& c : calls) {
            if (c.slot == "onCommand") out.push_back(c.a);
        }
        return out;
    }
};

constexpr std::uint32_t kMainStyle = 0x00CA0000;

class ToolkitTest : public ::testing::Test {
  protected:
    void createMain(RecordingWindow& w) {
        w.createMainWindow(0, 101, platform::kIdcArrow, 0x191919, "win", "Tarvel-Omnix", kMainStyle,
                           740, 302, 440, 475);
    }
    // A child window whose tracking goes to `target`.
    void createChild(RecordingWindow& w, std::int32_t id, platform::NativeWindow target,
                     platform::NativeWindow parent) {
        w.createChildWindow(0, id, 0x191919, "child", target, parent, 10, 20, 50, 20);
    }

    FakeWindowSystem fake;
};

// --- binding ----------------------------------------------------------------

TEST_F(ToolkitTest, UnboundWindowGetsDefaultProcessingUntilCreate) {
    RecordingWindow w;
    createMain(w);
    // A window of a toolkit class whose creation carried no object.
    platform::WindowCreate create;
    create.className = "win";
    create.width = 10;
    create.height = 10;
    const platform::NativeWindow orphan = fake.createWindow(create);
    ASSERT_NE(orphan, 0u);
    fake.defaultResult = 55;
    fake.clearRecords();

    EXPECT_EQ(fake.sendMessage(orphan, platform::kWmClose, 0, 0), 0);  // destroyed by default
    EXPECT_EQ(fake.sendMessage(w.hwnd, platform::kWmClose, 0, 0), 0);
    EXPECT_EQ(windowProc(0x9999, platform::kWmSize, 0, 0), 55);
    // Neither the orphan's close nor the unknown window reached the object.
    EXPECT_EQ(w.calls, std::vector<Call>{{"onClose"}});
    EXPECT_EQ(fake.window(orphan), nullptr);
    EXPECT_NE(fake.window(w.hwnd), nullptr);
}

TEST_F(ToolkitTest, BindingHappensAtCreateAndCreateItselfReachesTheObject) {
    // Messages before kWmCreate (unbound) get the default processing.
    RecordingWindow w;
    createMain(w);
    EXPECT_EQ(fake.windowUserData(w.hwnd), reinterpret_cast<std::intptr_t>(&w));
    // kWmCreate itself went through the object's dispatcher to the default.
    ASSERT_FALSE(fake.defaultProcessed.empty());
    EXPECT_EQ(fake.defaultProcessed.front().message, platform::kWmCreate);
    EXPECT_EQ(fake.defaultProcessed.front().window, w.hwnd);

    // A message to the window before its binding reaches the default only.
    platform::WindowCreate create;
    create.className = "win";
    const platform::NativeWindow raw = fake.createWindow(create);
    fake.clearRecords();
    windowProc(raw, platform::kWmSize, 0, 0);
    EXPECT_EQ(fake.defaultProcessed.size(), 1u);
    // ...and a kWmCreate with a null creation parameter leaves it unbound.
    platform::CreateStruct empty{};
    windowProc(raw, platform::kWmCreate, 0, reinterpret_cast<LParam>(&empty));
    EXPECT_EQ(fake.windowUserData(raw), 0);
    EXPECT_EQ(fake.defaultProcessed.size(), 2u);
}

TEST_F(ToolkitTest, DispatchedMessagesReachTheBoundObject) {
    RecordingWindow w;
    createMain(w);
    w.calls.clear();
    fake.postMessage(w.hwnd, platform::kWmCommand, 40003, 0);
    platform::Message m;
    ASSERT_TRUE(fake.getMessage(m));
    EXPECT_EQ(fake.dispatchMessage(m), 0);
    EXPECT_EQ(w.calls, (std::vector<Call>{{"onCommand", 40003, 0}}));
}

// --- dispatch table ---------------------------------------------------------

struct DispatchCase {
    std::uint32_t message;
    WParam wParam;
    LParam lParam;
    Call expected;
};

TEST_F(ToolkitTest, DispatchTableRoutesEachMessageToItsSlotAndAnswersZero) {
    RecordingWindow w;
    createMain(w);
    const LParam xy = platform::makeLParam(0xFFFE, 0x8001);  // zero-extended halves
    const std::vector<DispatchCase> cases = {
        {platform::kWmMove, 0, 0, {"onMove"}},
        {platform::kWmSize, 0, 0, {"onSize"}},
        {platform::kWmActivate, 1, 0, {"onActivate"}},
        {platform::kWmPaint, 0, 0, {"onPaint"}},
        {platform::kWmClose, 0, 0, {"onClose"}},
        {platform::kWmActivateApp, 7, 0, {"onActivateApp", 1, 0}},
        {platform::kWmActivateApp, 0, 9, {"onActivateApp", 0, 0}},
        {platform::kWmMouseActivate, 3, xy, {"onMouseActivate", 3, 0, 0xFFFE, 0x8001}},
        {platform::kWmNotify, 0, 0, {"onNotify"}},
        {platform::kWmKeyDown, 0x41, 5, {"onKeyDown", 0x41, 5}},
        {platform::kWmKeyUp, 0x41, 6, {"onKeyUp", 0x41, 6}},
        {platform::kWmChar, 0x61, 7, {"onChar", 0x61, 7}},
        {platform::kWmCommand, 0x1234, 8, {"onCommand", 0x1234, 8}},
        {platform::kWmEnterIdle, 0, 0, {"onEnterIdle"}},
        {platform::kWmLButtonDblClk, 1, xy, {"onLButtonDoubleClick", 1, 0, 0xFFFE, 0x8001}},
        {platform::kWmMouseWheel, 0x00780000, xy, {"onMouseWheel", 0x00780000}},
        {platform::kWmTrayIcon, 0, platform::kWmRButtonDown, {"onTrayIcon", 0, 0x204}},
    };
    fake.defaultResult = 99;
    for (const DispatchCase& c : cases) {
        w.calls.clear();
        fake.clearRecords();
        EXPECT_EQ(fake.sendMessage(w.hwnd, c.message, c.wParam, c.lParam), 0) << c.expected;
        ASSERT_EQ(w.calls.size(), 1u) << c.expected;
        EXPECT_EQ(w.calls[0], c.expected);
        EXPECT_TRUE(fake.defaultProcessed.empty()) << c.expected;
    }
    // The close was handled without destroying anything.
    EXPECT_NE(fake.window(w.hwnd), nullptr);
}

TEST_F(ToolkitTest, MouseMessagesCarryZeroExtendedCoordinates) {
    RecordingWindow w;
    createMain(w);
    const LParam xy = platform::makeLParam(-1, -2);
    for (std::uint32_t msg :
         {platform::kWmMouseMove, platform::kWmLButtonDown, platform::kWmLButtonUp,
          platform::kWmRButtonDown, platform::kWmRButtonUp}) {
        w.calls.clear();
        EXPECT_EQ(fake.sendMessage(w.hwnd, msg, 1, xy), 0);
        ASSERT_FALSE(w.calls.empty());
        EXPECT_EQ(w.calls[0].x, 0xFFFF);
        EXPECT_EQ(w.calls[0].y, 0xFFFE);
    }
}

TEST_F(ToolkitTest, OtherMessagesAndEscapeGetTheDefaultProcessingAndItsResult) {
    RecordingWindow w;
    createMain(w);
    fake.defaultResult = 42;
    w.calls.clear();
    fake.clearRecords();

    EXPECT_EQ(fake.sendMessage(w.hwnd, 0x0024 /* WM_GETMINMAXINFO */, 1, 2), 42);
    EXPECT_TRUE(w.calls.empty());
    ASSERT_EQ(fake.defaultProcessed.size(), 1u);
    EXPECT_EQ(fake.defaultProcessed[0].message, 0x0024u);

    // Escape: onKeyDown, then the default with its result.
    fake.clearRecords();
    EXPECT_EQ(fake.sendMessage(w.hwnd, platform::kWmKeyDown, platform::kVkEscape, 0x10001), 42);
    EXPECT_EQ(w.calls, (std::vector<Call>{{"onKeyDown", 0x1B, 0x10001}}));
    ASSERT_EQ(fake.defaultProcessed.size(), 1u);
    EXPECT_EQ(fake.defaultProcessed[0].wParam, platform::kVkEscape);

    // Any other key: 0 and no default processing.
    fake.clearRecords();
    EXPECT_EQ(fake.sendMessage(w.hwnd, platform::kWmKeyDown, platform::kVkReturn, 0), 0);
    EXPECT_TRUE(fake.defaultProcessed.empty());
}

TEST_F(ToolkitTest, DestroyingAnyToolkitWindowPostsQuitZero) {
    RecordingWindow main, child;
    createMain(main);
    createChild(child, 3, 0, main.hwnd);
    fake.destroyWindow(child.hwnd);
    EXPECT_EQ(fake.quitRequests, 1);
    EXPECT_EQ(fake.quitCode, 0);
    fake.destroyWindow(main.hwnd);
    EXPECT_EQ(fake.quitRequests, 2);
    platform::Message m;
    EXPECT_FALSE(fake.getMessage(m));
    EXPECT_EQ(m.message, platform::kWmQuit);
    EXPECT_EQ(m.wParam, 0u);
}

TEST_F(ToolkitTest, DefaultPaintBeginsAndEndsWithoutDrawing) {
    RecordingWindow w;
    createMain(w);
    fake.showWindow(w.hwnd, platform::kSwShow);
    fake.invalidate(w.hwnd, false);
    fake.clearRecords();
    fake.update(w.hwnd);
    EXPECT_EQ(fake.paints, std::vector<platform::NativeWindow>{w.hwnd});
    EXPECT_EQ(fake.unbalancedPaints, 0);
    EXPECT_TRUE(fake.drawing.empty());
    EXPECT_FALSE(fake.peekMessage());  // validated
}

// --- mouse tracking ---------------------------------------------------------

class TrackingTest : public ToolkitTest {
  protected:
    void SetUp() override {
        createMain(main);
        main.id = 0;
        createChild(child, 0x20, main.hwnd, main.hwnd);
        main.calls.clear();
        fake.clearRecords();
    }
    void send(std::uint32_t message) { fake.sendMessage(child.hwnd, message, 0, 0); }

    RecordingWindow main;
    RecordingWindow child;
};

TEST_F(TrackingTest, LeftRightPressReleaseSendsOnlyLeftCodes) {
    send(platform::kWmLButtonDown);
    send(platform::kWmRButtonDown);
    send(platform::kWmLButtonUp);
    send(platform::kWmRButtonUp);
    EXPECT_EQ(main.commands(), (std::vector<std::uint64_t>{0x24, 0x26}));
    // Both presses took the capture; only the left release gave it up.
    ASSERT_EQ(fake.captureCalls.size(), 3u);
    EXPECT_EQ(fake.captureCalls[0].window, child.hwnd);
    EXPECT_EQ(fake.captureCalls[1].window, child.hwnd);
    EXPECT_EQ(fake.captureCalls[2].window, 0u);
    EXPECT_FALSE(child.leftDown);
    EXPECT_FALSE(child.rightDown);
}

TEST_F(TrackingTest, RightFirstThenLeftSendsRightCodesOnly) {
    send(platform::kWmRButtonDown);
    send(platform::kWmLButtonDown);
    send(platform::kWmRButtonUp);
    send(platform::kWmLButtonUp);
    EXPECT_EQ(main.commands(), (std::vector<std::uint64_t>{0x25, 0x27}));
}

TEST_F(TrackingTest, ReleaseWithoutPressDoesNothing) {
    send(platform::kWmLButtonUp);
    send(platform::kWmRButtonUp);
    EXPECT_TRUE(main.commands().empty());
    EXPECT_TRUE(fake.captureCalls.empty());
}

TEST_F(TrackingTest, MovesReportButtonsAndDragDeltas) {
    fake.cursor = {100, 100};
    send(platform::kWmMouseMove);  // no button
    send(platform::kWmLButtonDown);
    fake.cursor = {103, 95};
    send(platform::kWmMouseMove);  // left drag
    EXPECT_EQ(child.dragDeltaX, 3);
    EXPECT_EQ(child.dragDeltaY, -5);
    send(platform::kWmRButtonDown);  // suppressed press
    fake.cursor = {110, 90};
    send(platform::kWmMouseMove);  // both
    EXPECT_EQ(child.dragDeltaX, 7);
    EXPECT_EQ(child.dragDeltaY, -5);
    EXPECT_EQ(child.lastCursorPos, (platform::Point{110, 90}));
    send(platform::kWmRButtonUp);  // clears both
    send(platform::kWmRButtonDown);
    fake.cursor = {111, 92};
    send(platform::kWmMouseMove);  // right drag
    EXPECT_EQ(child.dragDeltaX, 1);
    EXPECT_EQ(child.dragDeltaY, 2);
    EXPECT_EQ(child.cursorPos, (platform::Point{111, 92}));
    EXPECT_EQ(main.commands(),
              (std::vector<std::uint64_t>{0x20, 0x24, 0x21, 0x23, 0x27, 0x25, 0x22}));
}

TEST_F(TrackingTest, MoveWithoutButtonsLeavesDragDeltas) {
    child.dragDeltaX = 17;
    child.lastCursorPos = {1, 1};
    fake.cursor = {50, 60};
    send(platform::kWmMouseMove);
    EXPECT_EQ(child.dragDeltaX, 17);
    EXPECT_EQ(child.lastCursorPos, (platform::Point{1, 1}));
    EXPECT_EQ(child.cursorPos, (platform::Point{50, 60}));
}

TEST_F(TrackingTest, CodeIsAddedToTheLow16BitsOfIdAndTruncated) {
    child.id = 0x1FFFE;
    send(platform::kWmLButtonDown);  // 0xFFFE + 4
    send(platform::kWmLButtonUp);    // 0xFFFE + 6
    EXPECT_EQ(main.commands(), (std::vector<std::uint64_t>{0x0002, 0x0004}));
    for (const auto& m : fake.sentTo(main.hwnd)) EXPECT_EQ(m.lParam, 0);
}

TEST_F(TrackingTest, WidgetWithoutTargetStillTracksAndCaptures) {
    child.notifyTarget = 0;
    send(platform::kWmLButtonDown);
    EXPECT_TRUE(child.leftDown);
    EXPECT_EQ(fake.captureWindow(), child.hwnd);
    send(platform::kWmLButtonUp);
    EXPECT_FALSE(child.leftDown);
    EXPECT_EQ(fake.captureWindow(), 0u);
    EXPECT_TRUE(main.commands().empty());
    // The notifications went to no window.
    ASSERT_EQ(fake.sentTo(0).size(), 2u);
}

TEST_F(TrackingTest, MainWindowTracksToItsOwnCommandHandler) {
    fake.sendMessage(main.hwnd, platform::kWmRButtonDown, 0, 0);
    fake.sendMessage(main.hwnd, platform::kWmMouseMove, 0, 0);
    EXPECT_EQ(main.commands(), (std::vector<std::uint64_t>{5, 2}));
}

// --- creation ---------------------------------------------------------------

TEST_F(ToolkitTest, MainWindowCreationRegistersClassAndStaysHidden) {
    RecordingWindow w;
    createMain(w);
    ASSERT_EQ(fake.registeredClasses.size(), 1u);
    const platform::WindowClass& cls = fake.registeredClasses[0];
    EXPECT_EQ(cls.name, "win");
    EXPECT_EQ(cls.iconId, 101);
    EXPECT_EQ(cls.cursorId, platform::kIdcArrow);
    EXPECT_EQ(cls.background, 0x191919u);
    EXPECT_EQ(cls.style, 3u);
    EXPECT_EQ(cls.proc, &windowProc);

    ASSERT_NE(w.hwnd, 0u);
    EXPECT_EQ(w.notifyTarget, w.hwnd);
    EXPECT_EQ(w.backgroundColour, 0x191919u);
    EXPECT_EQ(w.id, -1);
    const auto* native = fake.window(w.hwnd);
    EXPECT_EQ(native->title, "Tarvel-Omnix");
    EXPECT_EQ(native->style, kMainStyle);
    EXPECT_EQ(native->parent, 0u);
    EXPECT_EQ(fake.windowRect(w.hwnd), (platform::Rect{740, 302, 1180, 777}));
    EXPECT_FALSE(native->visible);
    EXPECT_EQ(fake.showCalls.back(), std::make_pair(w.hwnd, platform::kSwHide));
    EXPECT_FALSE(w.shown);
}

TEST_F(ToolkitTest, ChildWindowCreationSetsTargetAndStaysHidden) {
    RecordingWindow main, child;
    createMain(main);
    child.createChildWindow(0, 77, 0x123456, "kid", main.hwnd, main.hwnd, 10, 20, 50, 20);
    EXPECT_EQ(child.id, 77);
    EXPECT_EQ(child.notifyTarget, main.hwnd);
    EXPECT_EQ(child.backgroundColour, 0x123456u);
    const auto* native = fake.window(child.hwnd);
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(native->parent, main.hwnd);
    EXPECT_EQ(native->title, "kid");
    EXPECT_EQ(native->style, 0x56000000u);
    EXPECT_EQ(native->exStyle, platform::kWsExAcceptFiles);
    EXPECT_FALSE(native->visible);
    EXPECT_EQ(fake.registeredClasses.back().iconId, 0);
    EXPECT_EQ(fake.registeredClasses.back().cursorId, platform::kIdcArrow);
}

TEST_F(ToolkitTest, FailedCreationLeavesANullHandleThatIsHarmless) {
    RecordingWindow orphan;
    // A child of no parent cannot be created.
    orphan.createChildWindow(0, 1, 0, "kid", 0, 0, 0, 0, 5, 5);
    EXPECT_EQ(orphan.hwnd, 0u);
    fake.sendMessage(orphan.hwnd, platform::kWmLButtonDown, 0, 0);
    fake.invalidate(orphan.hwnd, true);
    fake.update(orphan.hwnd);
    EXPECT_FALSE(orphan.leftDown);
}

}  // namespace
