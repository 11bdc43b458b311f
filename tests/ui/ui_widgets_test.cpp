// Tests of UI_Button and UI_Text on the fake window system: creation, the
// click rule and its synchronous delivery, painting and right alignment.
#include "ui/ui_widgets.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/fake_window_system.h"

using platform::LParam;
using platform::NativeWindow;
using platform::WParam;
using testsupport::FakeWindowSystem;
using DrawOp = FakeWindowSystem::DrawOp;

namespace {

// The owner window: records the commands it receives, with the state of the
// sending button at that moment.
class Owner : public UI_Window {
  public:
    struct Received {
        WParam wParam;
        LParam lParam;
        bool buttonStillInRelease;
    };
    std::vector<Received> received;
    bool inRelease = false;

    void onCommand(WParam w, LParam l) override { received.push_back({w, l, inRelease}); }
};

// A button that marks the time its release operation runs.
class MarkedButton : public UI_Button {
  public:
    Owner* owner_ = nullptr;
    void onLButtonUp(WParam w, int x, int y) override {
        owner_->inRelease = true;
        UI_Button::onLButtonUp(w, x, y);
        owner_->inRelease = false;
    }
};

class WidgetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        owner.createMainWindow(0, 101, platform::kIdcArrow, 0x191919, "win", "Tarvel-Omnix",
                               0x00CA0000, 100, 200, 440, 475);
        owner.id = 0;
        fake.showWindow(owner.hwnd, platform::kSwShow);
        button.owner_ = &owner;
        button.create(105, "キャリブレーション", owner.hwnd, owner.hwnd, 0, 130, 5);
        fake.moveWindow(button.hwnd, 95, 50);  // screen (195, 250) .. (325, 270)
        fake.clearRecords();
    }
    void cursorAtClient(int x, int y) { fake.cursor = {195 + x, 250 + y}; }
    void send(NativeWindow w, std::uint32_t message) { fake.sendMessage(w, message, 0, 0); }

    FakeWindowSystem fake;
    Owner owner;
    MarkedButton button;
};

TEST_F(WidgetTest, ButtonCreationMakesAShownChildNamedByItsCaption) {
    UI_Button plus;
    plus.create(101, "＋", owner.hwnd, owner.hwnd, 0, 20, 2);
    const auto* native = fake.window(plus.hwnd);
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(native->className, "＋");
    EXPECT_EQ(native->title, "＋");
    EXPECT_EQ(native->parent, owner.hwnd);
    EXPECT_EQ(native->style, 0x56000000u);
    EXPECT_EQ(native->exStyle, 0x10u);
    EXPECT_TRUE(native->visible);
    EXPECT_EQ(fake.clientRect(plus.hwnd), (platform::Rect{0, 0, 20, 20}));
    EXPECT_EQ(native->rect.left, 0);
    EXPECT_EQ(native->rect.top, 0);
    EXPECT_EQ(plus.id, 101);
    EXPECT_EQ(plus.owner, owner.hwnd);
    EXPECT_EQ(plus.notifyTarget, 0u);
    EXPECT_EQ(plus.backgroundColour, 0x191919u);
    EXPECT_EQ(fake.registeredClasses.back().background, 0x191919u);
}

TEST_F(WidgetTest, ButtonsWithEqualCaptionsShareOneClassAndBothWork) {
    UI_Button a, b;
    a.create(101, "＋", owner.hwnd, owner.hwnd, 0, 20, 2);
    b.create(109, "＋", owner.hwnd, owner.hwnd, 0, 20, 2);
    EXPECT_EQ(fake.failedRegistrations, 1);
    ASSERT_NE(b.hwnd, 0u);
    EXPECT_NE(a.hwnd, b.hwnd);
    fake.cursor = {110, 210};  // both sit at (0, 0) of the owner: client (10, 10)
    send(b.hwnd, platform::kWmLButtonDown);
    send(b.hwnd, platform::kWmLButtonUp);
    send(a.hwnd, platform::kWmLButtonDown);
    send(a.hwnd, platform::kWmLButtonUp);
    ASSERT_EQ(owner.received.size(), 2u);
    EXPECT_EQ(owner.received[0].wParam, 109u);
    EXPECT_EQ(owner.received[1].wParam, 101u);
}

TEST_F(WidgetTest, ClickIsDeliveredSynchronouslyWithTheIdAlone) {
    button.id = 0x70069;  // only the low 16 bits travel
    cursorAtClient(10, 10);
    send(button.hwnd, platform::kWmLButtonDown);
    EXPECT_TRUE(button.leftDown);
    EXPECT_EQ(fake.captureWindow(), button.hwnd);
    send(button.hwnd, platform::kWmLButtonUp);
    ASSERT_EQ(owner.received.size(), 1u);
    EXPECT_EQ(owner.received[0].wParam, 0x0069u);
    EXPECT_EQ(owner.received[0].lParam, 0);
    EXPECT_TRUE(owner.received[0].buttonStillInRelease);
    EXPECT_TRUE(fake.queue.empty());
    EXPECT_EQ(fake.captureWindow(), 0u);
}

TEST_F(WidgetTest, ClickRuleUsesStrictEdgesOfTheWindow) {
    struct Case {
        int x, y;
        bool click;
    };
    const Case cases[] = {
        {1, 1, true},    {129, 19, true}, {0, 10, false},  {10, 0, false},   {130, 10, false},
        {10, 20, false}, {-5, 10, false}, {10, -1, false}, {200, 50, false}, {64, 10, true},
    };
    for (const Case& c : cases) {
        owner.received.clear();
        fake.invalidations.clear();
        fake.cursor = {195, 250};
        send(button.hwnd, platform::kWmLButtonDown);
        cursorAtClient(c.x, c.y);
        send(button.hwnd, platform::kWmLButtonUp);
        EXPECT_EQ(owner.received.size(), c.click ? 1u : 0u) << c.x << "," << c.y;
        // The pressed look ends either way: press and release both repaint
        // without erasing.
        ASSERT_EQ(fake.invalidations.size(), 2u);
        EXPECT_FALSE(fake.invalidations[0].erase);
        EXPECT_FALSE(fake.invalidations[1].erase);
        EXPECT_FALSE(button.leftDown);
    }
}

TEST_F(WidgetTest, PressMoveOffAndReleaseOutsideSendsNothing) {
    cursorAtClient(5, 5);
    send(button.hwnd, platform::kWmLButtonDown);
    cursorAtClient(300, 5);
    send(button.hwnd, platform::kWmMouseMove);
    send(button.hwnd, platform::kWmLButtonUp);
    EXPECT_TRUE(owner.received.empty());
    // Moving back inside before releasing makes it a click again.
    send(button.hwnd, platform::kWmLButtonDown);
    cursorAtClient(300, 5);
    send(button.hwnd, platform::kWmMouseMove);
    cursorAtClient(50, 5);
    send(button.hwnd, platform::kWmMouseMove);
    send(button.hwnd, platform::kWmLButtonUp);
    EXPECT_EQ(owner.received.size(), 1u);
}

TEST_F(WidgetTest, RightReleaseDuringLeftPressCancelsTheClick) {
    cursorAtClient(5, 5);
    send(button.hwnd, platform::kWmLButtonDown);
    send(button.hwnd, platform::kWmRButtonDown);
    send(button.hwnd, platform::kWmRButtonUp);
    EXPECT_FALSE(button.leftDown);
    fake.invalidations.clear();
    send(button.hwnd, platform::kWmLButtonUp);
    EXPECT_TRUE(owner.received.empty());
    EXPECT_TRUE(fake.invalidations.empty());
}

TEST_F(WidgetTest, ButtonWithoutOwnerSendsNowhere) {
    UI_Button lone;
    lone.create(7, "x", 0, owner.hwnd, 0, 20, 2);
    fake.cursor = {110, 210};
    send(lone.hwnd, platform::kWmLButtonDown);
    send(lone.hwnd, platform::kWmLButtonUp);
    EXPECT_TRUE(owner.received.empty());
}

TEST_F(WidgetTest, ButtonPaintsFaceAndCaptionForItsState) {
    fake.invalidate(button.hwnd, false);
    fake.update(owner.hwnd);
    auto ops = fake.drawingOf(button.hwnd);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].kind, DrawOp::RoundRect);
    EXPECT_EQ(ops[0].rect, (platform::Rect{0, 0, 130, 20}));
    EXPECT_EQ(ops[0].ellipseWidth, 9);
    EXPECT_EQ(ops[0].ellipseHeight, 9);
    EXPECT_EQ(ops[0].fill, 0x000096u);
    EXPECT_EQ(ops[1].kind, DrawOp::Text);
    EXPECT_EQ(ops[1].text, "キャリブレーション");
    EXPECT_EQ(ops[1].x, 5);
    EXPECT_EQ(ops[1].y, 2);
    EXPECT_EQ(ops[1].fontHeight, 16);
    EXPECT_EQ(ops[1].textColour, 0xFFFFFFu);
    EXPECT_EQ(ops[1].background, 0x000096u);

    fake.drawing.clear();
    cursorAtClient(5, 5);
    send(button.hwnd, platform::kWmLButtonDown);
    fake.update(owner.hwnd);
    ops = fake.drawingOf(button.hwnd);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].fill, 0x000036u);
    EXPECT_EQ(ops[1].background, 0x00005Au);
    EXPECT_EQ(button.backgroundColour, 0x00005Au);
    EXPECT_EQ(fake.unbalancedPaints, 0);
}

class LabelTest : public WidgetTest {};

TEST_F(LabelTest, LabelCreationCopiesTextAndUsesHeightAsFont) {
    std::string source = "COM：";
    UI_Text label;
    label.create(0, source.c_str(), owner.hwnd, owner.hwnd, 0, 40, 17);
    source = "changed";
    EXPECT_EQ(label.text, "COM：");
    EXPECT_EQ(label.fontHeight, 17);
    EXPECT_EQ(label.textColour, 0xFFFFFFu);
    EXPECT_EQ(label.backgroundColour, 0x191919u);
    EXPECT_EQ(label.owner, owner.hwnd);
    EXPECT_EQ(fake.window(label.hwnd)->className, "COM：");
    EXPECT_EQ(fake.clientRect(label.hwnd), (platform::Rect{0, 0, 40, 17}));
    EXPECT_TRUE(fake.window(label.hwnd)->visible);
}

TEST_F(LabelTest, LabelPaintsItsTextAtTheOriginInItsColour) {
    UI_Text label;
    label.create(0, "0.000", owner.hwnd, owner.hwnd, 0, 37, 17);
    label.text = "12.345678";
    label.textColour = 0xFFFF00;
    fake.invalidate(label.hwnd, false);
    fake.update(owner.hwnd);
    const auto ops = fake.drawingOf(label.hwnd);
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].text, "12.345678");
    EXPECT_EQ(ops[0].x, 0);
    EXPECT_EQ(ops[0].y, 0);
    EXPECT_EQ(ops[0].fontHeight, 17);
    EXPECT_EQ(ops[0].textColour, 0xFFFF00u);
    EXPECT_EQ(ops[0].background, 0x191919u);
}

TEST_F(LabelTest, RightAlignedTextEndsAtTheClientRightEdge) {
    UI_Text label;
    label.create(0, "0", owner.hwnd, owner.hwnd, 0, 30, 17);
    label.rightAlign = true;
    fake.measure = [](std::string_view text, std::int32_t) {
        return platform::Size{static_cast<std::int32_t>(text.size()) * 7, 17};
    };
    struct Case {
        const char* text;
        int x;
    };
    // A text wider than the label starts left of it.
    for (const Case c : {Case{"3", 23}, Case{"-12", 9}, Case{"1234567", -19}, Case{"", 30}}) {
        label.text = c.text;
        fake.drawing.clear();
        fake.invalidate(label.hwnd, false);
        fake.update(owner.hwnd);
        const auto ops = fake.drawingOf(label.hwnd);
        ASSERT_FALSE(ops.empty());
        EXPECT_EQ(ops.back().kind, DrawOp::Text);
        EXPECT_EQ(ops.back().x, c.x) << c.text;
    }
}

TEST_F(LabelTest, RightAlignMeasuresTheWholeNulTerminatedString) {
    UI_Window w;
    w.createChildWindow(0, 0, 0x191919, "probe", 0, owner.hwnd, 0, 0, 100, 17);
    fake.measure = [](std::string_view text, std::int32_t) {
        return platform::Size{static_cast<std::int32_t>(text.size()) * 10, 17};
    };
    const platform::PaintContext context = fake.beginPaint(w.hwnd);
    w.drawText(context, 17, 1, 2, 5, 3, "abcdef", 2, true);
    fake.endPaint(w.hwnd, context);
    ASSERT_EQ(fake.drawing.size(), 1u);
    EXPECT_EQ(fake.drawing[0].text, "ab");
    EXPECT_EQ(fake.drawing[0].x, 100 - 60);
    EXPECT_EQ(fake.drawing[0].y, 3);
}

// A label paints its text's cell and the background around it, so that a
// shorter text leaves nothing of a longer one; the text comes last.
TEST_F(LabelTest, LabelPaintsTheBackgroundAroundItsText) {
    UI_Text label;
    label.create(0, "0.000", owner.hwnd, owner.hwnd, 0, 40, 17);
    fake.measure = [](std::string_view text, std::int32_t) {
        return platform::Size{static_cast<std::int32_t>(text.size()) * 7, 16};
    };
    struct Case {
        const char* text;
        bool right;
        std::vector<platform::Rect> fills;
    };
    const Case cases[] = {
        {"ab", false, {{14, 0, 40, 16}, {0, 16, 40, 17}}},
        {"ab", true, {{0, 0, 26, 16}, {0, 16, 40, 17}}},
        {"", false, {{0, 0, 40, 17}}},
        {"123456", false, {{0, 16, 40, 17}}},  // wider than the label
    };
    for (const Case& c : cases) {
        label.text = c.text;
        label.rightAlign = c.right;
        fake.drawing.clear();
        fake.invalidate(label.hwnd, false);
        fake.update(owner.hwnd);
        const auto ops = fake.drawingOf(label.hwnd);
        std::vector<platform::Rect> fills;
        for (const auto& op : ops) {
            if (op.kind == DrawOp::Fill) {
                EXPECT_EQ(op.fill, 0x191919u);
                fills.push_back(op.rect);
            }
        }
        EXPECT_EQ(fills, c.fills) << c.text;
        ASSERT_FALSE(ops.empty());
        EXPECT_EQ(ops.back().kind, DrawOp::Text) << c.text;
    }
}

TEST_F(LabelTest, HiddenWindowIsNotPaintedByUpdate) {
    UI_Text label;
    label.create(0, "abc", owner.hwnd, owner.hwnd, 0, 40, 17);
    fake.showWindow(owner.hwnd, platform::kSwHide);
    fake.drawing.clear();
    fake.invalidate(label.hwnd, false);
    fake.update(owner.hwnd);
    EXPECT_TRUE(fake.drawing.empty());
}

}  // namespace
