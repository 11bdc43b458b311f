// The main window on the fake window system: its widgets and layout, the
// button commands with their rules and clamps, the tray icon, closing, the
// Enter key and the settings dialogs.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "tests/mainwindow/main_window_fixture.h"
#include "tests/support/as_user.h"
#include "tests/support/fake_dialogs.h"

using platform::NativeWindow;
using testsupport::FakeWindowSystem;
namespace s = ui_strings;

namespace {

// ---------------------------------------------------------------------------
// Build and layout

TEST_F(MainWindowTest, EveryWidgetShowsInsideTheWindowAndNoButtonCoversAnother) {
    // A face half as wide again as the layout's (Meiryo, a Wine prefix's fallback).
    fake.measure = [](std::string_view text, std::int32_t height) {
        return platform::Size{static_cast<std::int32_t>(text.size()) * height / 2, height};
    };
    create();
    const platform::Rect client = fake.clientRect(ui->hwnd);
    std::vector<std::pair<platform::Rect, std::int32_t>> buttons;
    for (const auto& w : ui->widgetTable()) {
        const NativeWindow hwnd = w.button != nullptr ? w.button->hwnd : w.label->hwnd;
        const platform::Rect r = fake.window(hwnd)->rect;
        // A widget of its own that starts in the window (a label's box may run past its edge).
        EXPECT_NE(hwnd, 0u);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.left < client.right && r.bottom <= client.bottom)
            << (w.text ? w.text : "");
        // A fixed text fits its box whole at the scale the window asked for.
        const std::int32_t height =
            w.button != nullptr ? UI_Button::kFontHeight : w.label->fontHeight;
        if (w.text != nullptr && std::string_view(w.text).size() > 1 &&
            !(w.text[0] >= '0' && w.text[0] <= '9')) {
            EXPECT_LE(fake.measure(w.text, height).cx * fake.textScale,
                      w.width - (w.button != nullptr ? 2 * w.textX : 0) + 1e-9)
                << w.text;
        }
        if (w.button == nullptr) {
            // The label's text cell fits its height.
            EXPECT_EQ(w.label->fontHeight, r.height()) << w.label->text;
            continue;
        }
        EXPECT_EQ(w.button->owner, ui->hwnd);
        for (const auto& [other, id] : buttons) {
            // A click meant for one button never lands on another, nor runs another's command.
            EXPECT_TRUE(r.right <= other.left || other.right <= r.left || r.bottom <= other.top ||
                        other.bottom <= r.top)
                << w.button->caption;
            EXPECT_NE(w.button->id, id) << w.button->caption;
        }
        buttons.emplace_back(r, w.button->id);
    }
    EXPECT_FALSE(buttons.empty());
}

TEST_F(MainWindowTest, WidgetsStayAtOriginUntilTheWindowIsShown) {
    create(/*show=*/false);
    for (NativeWindow child : fake.childrenOf(ui->hwnd)) {
        EXPECT_EQ(placeOf(child), (platform::Point{0, 0}));
    }
    ui->shown = true;
    fake.showWindow(ui->hwnd, platform::kSwShow);
    EXPECT_EQ(placeOf(ui->connectButton.hwnd), (platform::Point{10, 10}));
    EXPECT_EQ(placeOf(ui->settingsSaveButton.hwnd), (platform::Point{230, 410}));
    EXPECT_EQ(placeOf(ui->stepCountText.hwnd), (platform::Point{80, 330}));
    // The OSC output's switch beside the automatic-calibration one, and wholly inside the
    // smallest client area that a 440 x 475 window with a caption has on Windows (426 x 438).
    EXPECT_EQ(placeOf(ui->oscButton.hwnd), (platform::Point{260, 110}));
    EXPECT_EQ(placeOf(ui->oscText.hwnd), (platform::Point{280, 110}));
    for (NativeWindow w : {ui->oscButton.hwnd, ui->oscText.hwnd}) {
        EXPECT_LE(fake.window(w)->rect.right, 426);
        EXPECT_LE(fake.window(w)->rect.bottom, 438);
    }
}

TEST_F(MainWindowTest, SensorsFormTwoRowsOfFourColumns) {
    create();
    for (int i = 0; i < 8; ++i) {
        const std::int32_t x = 105 * (i / 2);
        const std::int32_t y = i % 2 == 0 ? 70 : 90;
        EXPECT_EQ(placeOf(ui->sensorLoadText[i].hwnd), (platform::Point{10 + x, y})) << i;
        EXPECT_EQ(placeOf(ui->sensorSlashText[i].hwnd), (platform::Point{50 + x, y})) << i;
        EXPECT_EQ(placeOf(ui->sensorMaxText[i].hwnd), (platform::Point{58 + x, y})) << i;
        EXPECT_EQ(ui->sensorSlashText[i].text, "/");
    }
}

// A button under a label or another button would lose its clicks.
TEST_F(MainWindowTest, NoButtonOverlapsAnotherWidget) {
    create();
    std::vector<std::pair<std::string, platform::Rect>> rects;
    for (const auto& w : ui->widgetTable()) {
        const NativeWindow h = w.button ? w.button->hwnd : w.label->hwnd;
        rects.emplace_back(w.text ? w.text : "(state)", fake.window(h)->rect);
    }
    const auto table = ui->widgetTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].button == nullptr) continue;
        for (std::size_t j = 0; j < table.size(); ++j) {
            if (i == j) continue;
            const platform::Rect a = rects[i].second;
            const platform::Rect b = rects[j].second;
            const bool overlap =
                a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
            EXPECT_FALSE(overlap) << rects[i].first << " at " << a.left << "," << a.top
                                  << " overlaps " << rects[j].first << " at " << b.left << ","
                                  << b.top;
        }
    }
}

TEST_F(MainWindowTest, MinimiseAndRestoreKeepThePositions) {
    create();
    std::map<NativeWindow, platform::Point> before;
    for (NativeWindow child : fake.childrenOf(ui->hwnd)) before[child] = placeOf(child);
    fake.showWindow(ui->hwnd, platform::kSwMinimize);
    fake.showWindow(ui->hwnd, platform::kSwRestore);
    for (NativeWindow child : fake.childrenOf(ui->hwnd)) EXPECT_EQ(placeOf(child), before[child]);
    EXPECT_TRUE(ui->shown);
}

TEST_F(MainWindowTest, StateTextsFollowTheLoadedSettings) {
    state().comID = -5;
    state().appMode = 2;
    state().moveMode = 7;
    state().autoCalibration = 2;
    state().oscEnabled = 2;
    state().xrEnabled = 1;
    create();
    EXPECT_EQ(ui->comIdText.text, "-5");
    EXPECT_EQ(ui->connectionStatusText.text, s::kNotConnected);
    EXPECT_EQ(ui->appModeText.text, s::kDesktopMode);
    EXPECT_EQ(ui->moveModeText.text, s::kTurnMode);
    EXPECT_EQ(ui->autoCalibrationText.text, s::kAutoCalibrationOff);
    EXPECT_EQ(ui->oscText.text, s::kOscOff);
    EXPECT_EQ(ui->xrText.text, s::kXrOn);
}

TEST_F(MainWindowTest, StateTextsOfTheDefaultsAndOfAConnectedLink) {
    state().autoCalibration = 1;
    state().oscEnabled = 1;
    // What openSensorPort leaves after a successful opening (construction
    // resets the link, so this comes after it).
    link().connected = true;
    create();
    EXPECT_EQ(ui->comIdText.text, "3");
    EXPECT_EQ(ui->connectionStatusText.text, s::kConnected);
    EXPECT_EQ(ui->appModeText.text, s::kVrMode);
    EXPECT_EQ(ui->moveModeText.text, s::kSideStepMode);
    EXPECT_EQ(ui->autoCalibrationText.text, s::kAutoCalibrationOn);
    EXPECT_EQ(ui->oscText.text, s::kOscOn);
}

TEST_F(MainWindowTest, OnlyTheComNumberAndTheStepCountAreRightAligned) {
    create();
    int rightAligned = 0;
    for (const auto& w : ui->widgetTable()) {
        const UI_Window* widget = w.button ? static_cast<UI_Window*>(w.button) : w.label;
        rightAligned += widget->rightAlign ? 1 : 0;
    }
    EXPECT_EQ(rightAligned, 2);
    EXPECT_TRUE(ui->comIdText.rightAlign);
    EXPECT_TRUE(ui->stepCountText.rightAlign);
    // "3" ends at the right edge of its 30-pixel box.
    fake.invalidate(ui->comIdText.hwnd, false);
    fake.update(ui->hwnd);
    const auto ops = fake.drawingOf(ui->comIdText.hwnd);
    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops.back().text, "3");
    EXPECT_EQ(ops.back().x, 30 - fake.measure("3", 17).cx);
}

TEST_F(MainWindowTest, ConstructionResetsTheLinkAndTheMouseWheelDoesNothing) {
    ui.reset();
    link().tare[0] = 4.0f;
    ui = std::make_unique<UIEx>();
    EXPECT_EQ(link().tare[0], 0.0f);
    create();
    unsigned char before[sizeof(WalkState)];
    std::memcpy(before, &state(), sizeof before);
    fake.clearRecords();
    fake.sendMessage(ui->hwnd, platform::kWmMouseWheel, 120 << 16, 0);
    EXPECT_EQ(std::memcmp(before, &state(), sizeof before), 0);
    EXPECT_TRUE(fake.invalidations.empty());
}

// ---------------------------------------------------------------------------
// Commands

struct ComCase {
    std::int32_t start;
    std::uint32_t command;
    std::int32_t expected;
};

TEST_F(MainWindowTest, ComNumberStepsAndStopsAtItsBounds) {
    create();
    const ComCase cases[] = {
        {255, UIEx::kComIdUp, 256},
        {256, UIEx::kComIdUp, 256},
        {1, UIEx::kComIdDown, 0},
        {0, UIEx::kComIdDown, 0},
        {1000, UIEx::kComIdUp, 256},
        {1000, UIEx::kComIdDown, 999},
        {-5, UIEx::kComIdUp, -4},
        {-5, UIEx::kComIdDown, 0},
        {INT_MAX, UIEx::kComIdUp, 256},
        {INT_MIN, UIEx::kComIdDown, 0},
        {INT_MIN, UIEx::kComIdUp, INT_MIN + 1},
    };
    for (const ComCase& c : cases) {
        state().comID = c.start;
        fake.clearRecords();
        command(c.command);
        EXPECT_EQ(state().comID, c.expected) << c.start << " command " << c.command;
        EXPECT_EQ(ui->comIdText.text, std::to_string(c.expected));
        // The shorter number must not leave digits of the longer one behind.
        ASSERT_EQ(fake.invalidationCount(ui->comIdText.hwnd), 1);
        EXPECT_TRUE(fake.invalidations.back().erase);
    }
}

TEST_F(MainWindowTest, PlusAndMinusButtonsChangeTheComNumberShown) {
    create();
    click(ui->comIdUpButton);
    click(ui->comIdUpButton);
    EXPECT_EQ(state().comID, 5);
    click(ui->comIdDownButton);
    EXPECT_EQ(state().comID, 4);
    fake.update(ui->hwnd);
    EXPECT_EQ(fake.drawingOf(ui->comIdText.hwnd).back().text, "4");
}

TEST_F(MainWindowTest, TogglesTreatEveryNonZeroValueAsOn) {
    create();
    struct Toggle {
        std::int32_t WalkState::*field;
        std::uint32_t command;
        UI_Text UIEx::*label;
        const char* onText;
        const char* offText;
    };
    const Toggle toggles[] = {
        {&WalkState::appMode, UIEx::kAppModeToggle, &UIEx::appModeText, s::kDesktopMode,
         s::kVrMode},
        {&WalkState::moveMode, UIEx::kMoveModeToggle, &UIEx::moveModeText, s::kTurnMode,
         s::kSideStepMode},
        {&WalkState::autoCalibration, UIEx::kAutoCalibrationToggle, &UIEx::autoCalibrationText,
         s::kAutoCalibrationOn, s::kAutoCalibrationOff},
        {&WalkState::oscEnabled, UIEx::kOscToggle, &UIEx::oscText, s::kOscOn, s::kOscOff},
        {&WalkState::xrEnabled, UIEx::kXrToggle, &UIEx::xrText, s::kXrOn, s::kXrOff},
    };
    for (const Toggle& t : toggles) {
        UI_Text& label = (*ui).*(t.label);
        for (const auto& [start, result] : {std::pair{0, 1}, {1, 0}, {2, 0}, {-1, 0}}) {
            state().*(t.field) = start;
            fake.clearRecords();
            command(t.command);
            EXPECT_EQ(state().*(t.field), result) << t.command << " from " << start;
            EXPECT_EQ(label.text, result == 1 ? t.onText : t.offText);
            ASSERT_EQ(fake.invalidationCount(label.hwnd), 1);
            EXPECT_FALSE(fake.invalidations.back().erase);
        }
    }
}

// The SteamVR switch shows what SteamVR's file says after the change it asks for: without
// SteamVR (the change does not take) it stays 未登録; unset, it does nothing.
TEST_F(MainWindowTest, TheSteamVrSwitchShowsTheRegistrationReadBack) {
    bool registered = true;
    bool steamVr = true;
    ui->steamVrSwitch.registered = [&] { return registered; };
    ui->steamVrSwitch.set = [&](bool on) { registered = steamVr && on; };
    create();
    EXPECT_EQ(ui->steamVrText.text, s::kSteamVrOn);
    command(UIEx::kSteamVrToggle);
    EXPECT_EQ(ui->steamVrText.text, s::kSteamVrOff);
    steamVr = false;
    command(UIEx::kSteamVrToggle);
    EXPECT_EQ(ui->steamVrText.text, s::kSteamVrOff);
    ui->steamVrSwitch = {};
    command(UIEx::kSteamVrToggle);
    EXPECT_EQ(ui->steamVrText.text, s::kSteamVrOff);
}

struct AdjustCase {
    const char* name;
    float WalkState::*field;
    std::uint32_t command;
    float start;
    float expected;
};

TEST_F(MainWindowTest, AdjustingButtonsStepInDoubleAndClamp) {
    create();
    const AdjustCase cases[] = {
        {"thresholdFL up at -10", &WalkState::thresholdFL, UIEx::kThresholdFLUp, -10.0f, -10.0f},
        {"thresholdFL down at -19.5", &WalkState::thresholdFL, UIEx::kThresholdFLDown, -19.5f,
         -20.0f},
        {"thresholdFL down", &WalkState::thresholdFL, UIEx::kThresholdFLDown, -12.5f, -13.5f},
        {"thresholdL up at -20", &WalkState::thresholdL, UIEx::kThresholdLUp, -20.0f, -20.0f},
        {"thresholdL down", &WalkState::thresholdL, UIEx::kThresholdLDown, -20.0f, -21.0f},
        {"thresholdL down at -44.5", &WalkState::thresholdL, UIEx::kThresholdLDown, -44.5f, -45.0f},
        {"thresholdL up from -44.5", &WalkState::thresholdL, UIEx::kThresholdLUp, -44.5f, -43.5f},
        {"thresholdFR up at 20", &WalkState::thresholdFR, UIEx::kThresholdFRUp, 20.0f, 20.0f},
        {"thresholdFR down at 10.5", &WalkState::thresholdFR, UIEx::kThresholdFRDown, 10.5f, 10.0f},
        {"thresholdR down at 20.5", &WalkState::thresholdR, UIEx::kThresholdRDown, 20.5f, 20.0f},
        {"thresholdR up at 44.5", &WalkState::thresholdR, UIEx::kThresholdRUp, 44.5f, 45.0f},
        {"thresholdR down", &WalkState::thresholdR, UIEx::kThresholdRDown, 30.0f, 29.0f},
        {"walkFThreshold up at 0.99", &WalkState::walkFThreshold, UIEx::kWalkFThresholdUp, 0.99f,
         1.0f},
        {"walkFThreshold up at 1", &WalkState::walkFThreshold, UIEx::kWalkFThresholdUp, 1.0f, 1.0f},
        {"walkFThreshold down at 0", &WalkState::walkFThreshold, UIEx::kWalkFThresholdDown, 0.0f,
         0.0f},
        // In float arithmetic 0.04f + 0.01f would give 0.049999997f.
        {"walkFThreshold up at 0.04", &WalkState::walkFThreshold, UIEx::kWalkFThresholdUp, 0.04f,
         0.0500000007f},
        {"walkFThreshold down at 0.3", &WalkState::walkFThreshold, UIEx::kWalkFThresholdDown, 0.3f,
         static_cast<float>(static_cast<double>(0.3f) - 0.01)},
        {"walkSpeedFB up at 0.04", &WalkState::walkSpeedFB, UIEx::kWalkSpeedFBUp, 0.04f,
         0.0500000007f},
        {"walkSpeedFB down at 0.005", &WalkState::walkSpeedFB, UIEx::kWalkSpeedFBDown, 0.005f,
         0.0f},
        {"walkSpeedLR up at 0.995", &WalkState::walkSpeedLR, UIEx::kWalkSpeedLRUp, 0.995f, 1.0f},
        {"walkSpeedLR down", &WalkState::walkSpeedLR, UIEx::kWalkSpeedLRDown, 0.08f,
         static_cast<float>(static_cast<double>(0.08f) - 0.01)},
    };
    for (const AdjustCase& c : cases) {
        state().*(c.field) = c.start;
        command(c.command);
        EXPECT_EQ(state().*(c.field), c.expected) << c.name;
    }
    // Rotation speed needs the turning mode.
    state().moveMode = 1;
    state().rotationSpeed = 0.04f;
    command(UIEx::kRotationSpeedUp);
    EXPECT_EQ(state().rotationSpeed, 0.0500000007f);
    state().rotationSpeed = 0.0f;
    command(UIEx::kRotationSpeedDown);
    EXPECT_EQ(state().rotationSpeed, 0.0f);
}

TEST_F(MainWindowTest, SpeedButtonsWorkOnlyInTheModesWhereTheSpeedApplies) {
    create();
    struct ModeCase {
        std::int32_t appMode;
        std::int32_t moveMode;
        bool forward;
        bool side;
        bool turn;
    };
    const ModeCase cases[] = {
        {0, 0, true, true, false},  {0, 1, true, false, true},  {1, 0, false, false, false},
        {1, 1, false, false, true}, {0, 2, true, false, false}, {2, 0, false, false, false},
    };
    for (const ModeCase& c : cases) {
        for (std::uint32_t id = UIEx::kWalkSpeedFBUp; id <= UIEx::kRotationSpeedDown; ++id) {
            state().appMode = c.appMode;
            state().moveMode = c.moveMode;
            state().walkSpeedFB = state().walkSpeedLR = state().rotationSpeed = 0.5f;
            command(id);
            const bool up = id % 2 == 0;
            const float moved = static_cast<float>(0.5 + (up ? 0.01 : -0.01));
            const bool isForward = id == UIEx::kWalkSpeedFBUp || id == UIEx::kWalkSpeedFBDown;
            const bool isSide = id == UIEx::kWalkSpeedLRUp || id == UIEx::kWalkSpeedLRDown;
            const bool isTurn = !isForward && !isSide;
            EXPECT_EQ(state().walkSpeedFB, isForward && c.forward ? moved : 0.5f)
                << "command " << id << " modes " << c.appMode << "," << c.moveMode;
            EXPECT_EQ(state().walkSpeedLR, isSide && c.side ? moved : 0.5f)
                << "command " << id << " modes " << c.appMode << "," << c.moveMode;
            EXPECT_EQ(state().rotationSpeed, isTurn && c.turn ? moved : 0.5f)
                << "command " << id << " modes " << c.appMode << "," << c.moveMode;
        }
    }
}

TEST_F(MainWindowTest, ClicksReachTheCommandsOfTheirButtons) {
    create();
    state().appMode = 0;
    state().moveMode = 1;
    struct ClickCase {
        UI_Button UIEx::*button;
        float WalkState::*field;
        float delta;
    };
    const ClickCase cases[] = {
        {&UIEx::thresholdLDownButton, &WalkState::thresholdL, -1.0f},
        {&UIEx::thresholdLUpButton, &WalkState::thresholdL, +1.0f},
        {&UIEx::thresholdFLDownButton, &WalkState::thresholdFL, -1.0f},
        {&UIEx::thresholdFLUpButton, &WalkState::thresholdFL, +1.0f},
        {&UIEx::thresholdFRDownButton, &WalkState::thresholdFR, -1.0f},
        {&UIEx::thresholdFRUpButton, &WalkState::thresholdFR, +1.0f},
        {&UIEx::thresholdRDownButton, &WalkState::thresholdR, -1.0f},
        {&UIEx::thresholdRUpButton, &WalkState::thresholdR, +1.0f},
        {&UIEx::walkFThresholdDownButton, &WalkState::walkFThreshold, -0.01f},
        {&UIEx::walkFThresholdUpButton, &WalkState::walkFThreshold, +0.01f},
        {&UIEx::walkSpeedFBDownButton, &WalkState::walkSpeedFB, -0.01f},
        {&UIEx::walkSpeedFBUpButton, &WalkState::walkSpeedFB, +0.01f},
        {&UIEx::rotationSpeedDownButton, &WalkState::rotationSpeed, -0.01f},
        {&UIEx::rotationSpeedUpButton, &WalkState::rotationSpeed, +0.01f},
    };
    state().thresholdL = -30.0f;
    state().thresholdFL = -15.0f;
    state().thresholdFR = 15.0f;
    state().thresholdR = 30.0f;
    state().walkFThreshold = state().walkSpeedFB = state().rotationSpeed = 0.5f;
    for (const ClickCase& c : cases) {
        const float before = state().*(c.field);
        click((*ui).*(c.button));
        EXPECT_NEAR(state().*(c.field) - before, c.delta, 1e-6) << ((*ui).*(c.button)).caption;
    }
    state().moveMode = 0;
    state().walkSpeedLR = 0.5f;
    click(ui->walkSpeedLRUpButton);
    EXPECT_NEAR(state().walkSpeedLR, 0.51f, 1e-6);
    click(ui->walkSpeedLRDownButton);
    EXPECT_NEAR(state().walkSpeedLR, 0.5f, 1e-6);
}

TEST_F(MainWindowTest, MaximumResetClearsAllEightMaxima) {
    create();
    for (bool connected : {false, true}) {
        link().connected = connected;
        for (int i = 0; i < 8; ++i) state().loadMax[i] = 10.0f + static_cast<float>(i);
        click(ui->maxResetButton);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(state().loadMax[i], 0.0f) << i;
    }
}

TEST_F(MainWindowTest, CalibrationTaresOnlyAConnectedLink) {
    create();
    for (int i = 0; i < 8; ++i) link().store(i, 100.0f + static_cast<float>(i));
    link().store(8, 1.0f);  // the whole frame
    link().tare[3] = 7.0f;
    click(ui->calibrationButton);
    EXPECT_EQ(link().tare[3], 7.0f);
    EXPECT_EQ(link().tare[0], 0.0f);

    link().connected = true;
    click(ui->calibrationButton);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(link().tare[i], 100.0f + static_cast<float>(i));
}

TEST_F(MainWindowTest, StepResetClearsTheCountAndErasesItsText) {
    create();
    state().numStep = 1234;
    ui->refreshDisplay();
    EXPECT_EQ(ui->stepCountText.text, "1234");
    fake.clearRecords();
    click(ui->stepResetButton);
    EXPECT_EQ(state().numStep, 0);
    EXPECT_EQ(ui->stepCountText.text, "0");
    ASSERT_EQ(fake.invalidationCount(ui->stepCountText.hwnd), 1);
    EXPECT_TRUE(fake.invalidations.back().erase);
}

TEST_F(MainWindowTest, ConnectButtonShowsWhetherThePortOpened) {
    state().comID = 42;  // ./COM42 does not exist, nor /dev/ttyS41
    create();
    ui->connectionStatusText.text = "?";
    fake.clearRecords();
    click(ui->connectButton);
    EXPECT_FALSE(link().connected);
    EXPECT_EQ(ui->connectionStatusText.text, s::kNotConnected);
    ASSERT_EQ(fake.invalidationCount(ui->connectionStatusText.hwnd), 1);
    EXPECT_FALSE(fake.invalidations.back().erase);

    // Once connected, the button changes nothing, whatever the number is now.
    link().connected = true;
    click(ui->comIdUpButton);
    click(ui->connectButton);
    EXPECT_TRUE(link().connected);
    EXPECT_EQ(ui->connectionStatusText.text, s::kConnected);
}

TEST_F(MainWindowTest, UnknownCommandsAndTrackingCodesChangeNothing) {
    create();
    unsigned char before[sizeof(WalkState)];
    std::memcpy(before, &state(), sizeof before);
    fake.clearRecords();
    for (std::uint32_t id : {0u, 4u, 7u, 99u, 118u, 119u, 135u, 40002u, 40006u}) command(id);
    // Only the low 16 bits carry the id.
    command((1u << 16) | 99u);
    EXPECT_EQ(std::memcmp(before, &state(), sizeof before), 0);
    EXPECT_TRUE(fake.invalidations.empty());
    EXPECT_TRUE(fake.window(ui->hwnd) != nullptr);
    command((1u << 16) | UIEx::kComIdUp);
    EXPECT_EQ(state().comID, 4);
}

// ---------------------------------------------------------------------------
// Enter key

TEST_F(MainWindowTest, EnterTaresWhileConnected) {
    create();
    for (int i = 0; i < 8; ++i) link().store(i, 50.0f + static_cast<float>(i));
    link().store(8, 1.0f);  // the whole frame
    auto keyDown = [&](std::uint32_t key) {
        fake.sendMessage(ui->hwnd, platform::kWmKeyDown, key, 0);
    };

    // Not connected: nothing.
    fake.keysDown = {platform::kVkReturn};
    keyDown(platform::kVkReturn);
    EXPECT_EQ(link().tare[0], 0.0f);

    link().connected = true;
    // Another key while Enter is not held: nothing.
    fake.keysDown = {'A'};
    keyDown('A');
    EXPECT_EQ(link().tare[0], 0.0f);
    // Enter itself.
    fake.keysDown = {platform::kVkReturn};
    keyDown(platform::kVkReturn);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(link().tare[i], 50.0f + static_cast<float>(i));
    // Another key while Enter is still held tares again.
    link().store(5, 9.0f);
    link().store(8, 2.0f);
    fake.keysDown = {platform::kVkReturn, 'B'};
    keyDown('B');
    EXPECT_EQ(link().tare[5], 9.0f);
}

// ---------------------------------------------------------------------------
// Closing, tray icon and tray menu

TEST_F(MainWindowTest, ClosingHidesAndTheTrayShowsAgain) {
    create();
    fake.addTrayIcon({.window = ui->hwnd, .id = 0, .iconId = UIEx::kIconId, .tip = {}});
    fake.sendMessage(ui->hwnd, platform::kWmClose, 0, 0);
    EXPECT_FALSE(ui->shown);
    EXPECT_FALSE(fake.window(ui->hwnd)->visible);
    EXPECT_EQ(fake.trayIcons.size(), 1u);

    // Another icon's callback, releases and double clicks do nothing.
    fake.sendMessage(ui->hwnd, platform::kWmTrayIcon, 1, platform::kWmLButtonDown);
    fake.sendMessage(ui->hwnd, platform::kWmTrayIcon, 0, platform::kWmLButtonUp);
    fake.sendMessage(ui->hwnd, platform::kWmTrayIcon, 0, platform::kWmLButtonDblClk);
    fake.sendMessage(ui->hwnd, platform::kWmTrayIcon, 0, platform::kWmRButtonUp);
    EXPECT_FALSE(ui->shown);
    EXPECT_TRUE(fake.menus.empty());

    fake.sendMessage(ui->hwnd, platform::kWmTrayIcon, 0, platform::kWmLButtonDown);
    EXPECT_TRUE(ui->shown);
    EXPECT_TRUE(fake.window(ui->hwnd)->visible);

    fake.sendMessage(ui->hwnd, platform::kWmClose, 0, 0);
    command(UIEx::kMenuShowWindow);
    EXPECT_TRUE(ui->shown);
    EXPECT_TRUE(fake.window(ui->hwnd)->visible);
}

TEST_F(MainWindowTest, ClosingWithoutATrayMinimisesInstead) {
    create();
    fake.trayHostRunning = false;
    fake.sendMessage(ui->hwnd, platform::kWmClose, 0, 0);
    EXPECT_TRUE(ui->shown);
    EXPECT_TRUE(fake.window(ui->hwnd)->minimized);
    EXPECT_TRUE(fake.window(ui->hwnd)->visible);
}

TEST_F(MainWindowTest, RightPressOpensTheMenuAtTheCursor) {
    create();
    fake.cursor = {1800, 1050};
    fake.menuChoice = UIEx::kMenuShowWindow;
    fake.sendMessage(ui->hwnd, platform::kWmClose, 0, 0);
    fake.sendMessage(ui->hwnd, platform::kWmTrayIcon, 0, platform::kWmRButtonDown);
    ASSERT_EQ(fake.menus.size(), 1u);
    const auto& menu = fake.menus[0];
    EXPECT_EQ(menu.owner, ui->hwnd);
    EXPECT_EQ(menu.at, (platform::Point{1800, 1050}));
    EXPECT_EQ(menu.menu.resourceId, 102);
    ASSERT_EQ(menu.menu.items.size(), 3u);
    EXPECT_EQ(menu.menu.items[0].id, 40003u);
    EXPECT_EQ(menu.menu.items[0].text, "表示");
    EXPECT_EQ(menu.menu.items[1].id, 40005u);
    EXPECT_EQ(menu.menu.items[1].text, "グラフ");
    EXPECT_EQ(menu.menu.items[2].id, 40004u);
    EXPECT_EQ(menu.menu.items[2].text, "終了");
    // The choice arrives as a command message of its own, handled once.
    ASSERT_EQ(fake.queue.size(), 1u);
    platform::Message m;
    ASSERT_TRUE(fake.getMessage(m));
    fake.dispatchMessage(m);
    EXPECT_TRUE(ui->shown);
    EXPECT_TRUE(fake.queue.empty());

    // A right click in the window (outside its widgets) opens the same menu there.
    fake.cursor = {900, 500};
    fake.sendMessage(ui->hwnd, platform::kWmRButtonUp, 0, platform::makeLParam(200, 400));
    ASSERT_EQ(fake.menus.size(), 2u);
    EXPECT_EQ(fake.menus[1].at, (platform::Point{900, 500}));
    EXPECT_EQ(fake.menus[1].menu.resourceId, 102);
    EXPECT_EQ(fake.menus[1].menu.items.size(), 3u);
}

TEST_F(MainWindowTest, AHiddenWindowShowsWhenNoTrayHasHeldTheIconForTwoSeconds) {
    using namespace std::chrono_literals;
    create();
    fake.addTrayIcon({.window = ui->hwnd, .id = 0, .tip = {}});
    const auto t0 = GraphWindow::Clock::now();
    fake.sendMessage(ui->hwnd, platform::kWmClose, 0, 0);
    fake.trayHostRunning = false;
    EXPECT_EQ(ui->watchTray(t0), 250);  // missing from here
    EXPECT_EQ(ui->watchTray(t0 + 100ms), 150) << "asked only every check period";
    ui->watchTray(t0 + 1900ms);
    EXPECT_FALSE(ui->shown);
    EXPECT_EQ(ui->watchTray(t0 + 2150ms), 0);
    EXPECT_TRUE(ui->shown && fake.window(ui->hwnd)->visible);
    // The icon is offered again, less and less often, until a tray holds it; the close box
    // minimises meanwhile.
    EXPECT_EQ(ui->watchTray(t0 + 2150ms), 50);
    EXPECT_EQ(ui->watchTray(t0 + 2200ms), 100);
    fake.sendMessage(ui->hwnd, platform::kWmClose, 0, 0);
    EXPECT_TRUE(ui->shown && fake.window(ui->hwnd)->minimized);
    fake.trayHostRunning = true;
    EXPECT_EQ(ui->watchTray(t0 + 2300ms), -1);
}

TEST_F(MainWindowTest, ExitRemovesTheTrayIconAndDestroysTheWindow) {
    create();
    fake.addTrayIcon({.window = ui->hwnd, .id = 0, .tip = {}});
    command(UIEx::kMenuExit);
    EXPECT_TRUE(fake.trayIcons.empty());
    EXPECT_EQ(fake.window(ui->hwnd), nullptr);
    EXPECT_EQ(fake.window(ui->comIdText.hwnd), nullptr);
    ASSERT_TRUE(fake.quitCode.has_value());
    EXPECT_EQ(*fake.quitCode, 0);
}

// ---------------------------------------------------------------------------
// Settings dialogs and teardown

// The file dialog program replaced by a stand-in that answers with the path
// the test chose, or cancels when none was chosen.
class SettingsDialogTest : public MainWindowTest {
  protected:
    void choose(const std::string& path) { dialogs_.answer(1, path); }

    testsupport::FakeDialogs dialogs_{{"zenity"}};
};

TEST_F(SettingsDialogTest, LoadingAFileBringsTheStateTextsUpToDate) {
    create();
    testsupport::writeFile(dir_.file("other.INI"),
                           "[param]\ncomID=12\nautoCalibration=1\nthresholdFL=-30\n"
                           "[emulation]\nappMode=1\nmoveMode=1\n[osc]\nenabled=1\n");
    choose(dir_.file("other.INI"));
    fake.clearRecords();
    click(ui->settingsLoadButton);
    EXPECT_EQ(state().comID, 12);
    EXPECT_EQ(state().thresholdFL, -20.0f);
    EXPECT_EQ(ui->settingsFileDialog.path, dir_.file("other.INI"));
    EXPECT_EQ(ui->comIdText.text, "12");
    EXPECT_EQ(ui->appModeText.text, s::kDesktopMode);
    EXPECT_EQ(ui->moveModeText.text, s::kTurnMode);
    EXPECT_EQ(ui->autoCalibrationText.text, s::kAutoCalibrationOn);
    EXPECT_EQ(ui->oscText.text, s::kOscOn);
    EXPECT_EQ(fake.invalidationCount(ui->comIdText.hwnd), 1);
    EXPECT_EQ(fake.invalidationCount(ui->appModeText.hwnd), 1);
    // The load opens no port.
    EXPECT_FALSE(link().connected);
    // Numbers follow at the next refresh.
    ui->refreshDisplay();
    EXPECT_EQ(ui->thresholdFLText.text, "20.000000");
}

TEST_F(SettingsDialogTest, AFileThatIsNotIniIsNotLoaded) {
    create();
    testsupport::writeFile(dir_.file("other.txt"), "[param]\ncomID=12\n");
    choose(dir_.file("other.txt"));
    click(ui->settingsLoadButton);
    EXPECT_EQ(state().comID, 3);
    EXPECT_EQ(ui->comIdText.text, "3");
}

// A file that gives no setting (lines ended by CR alone, or gone since it was chosen) leaves
// the settings in use as they were, so that the exit save keeps them, and says why.
TEST_F(SettingsDialogTest, AnUnusableFileChangesNothingAndSaysWhy) {
    create();
    testsupport::writeFile(dir_.file("cr.ini"), "[param]\rcomID=5\rnumStep=1\r");
    state().comID = 12;
    int n = 0;
    for (const std::string name : {"cr.ini", "gone.ini"}) {
        dialogs_.answer(++n, dir_.file(name));
        click(ui->settingsLoadButton);
        EXPECT_EQ(state().comID, 12) << name;
        ASSERT_EQ(fake.messageBoxes.size(), static_cast<std::size_t>(n)) << name;
        EXPECT_TRUE(fake.messageBoxes.back().text.starts_with(std::string(s::kLoadFailed) + "\n" +
                                                              dir_.file(name) + " "))
            << fake.messageBoxes.back().text;
    }
}

TEST_F(SettingsDialogTest, CancelledDialogsLeaveNoPathAndChangeNothing) {
    create();
    ui->settingsFileDialog.path = "/left/over.ini";
    // Nothing chosen: the stand-in cancels both dialogs.
    state().numStep = 5;
    click(ui->settingsLoadButton);
    EXPECT_EQ(ui->settingsFileDialog.path, "");
    EXPECT_EQ(state().numStep, 5);
    ui->settingsFileDialog.path = "/left/over.ini";
    click(ui->settingsSaveButton);
    EXPECT_EQ(ui->settingsFileDialog.path, "");
}

TEST_F(SettingsDialogTest, SavingWritesTheChosenFile) {
    create();
    state().numStep = 77;
    choose(dir_.file("saved.ini"));
    click(ui->settingsSaveButton);
    EXPECT_EQ(testsupport::readFile(dir_.file("saved.ini")), formatSettings(state()));
    EXPECT_FALSE(testsupport::fileExists(dir_.file("tarvel.ini")));

    // A save that cannot be written says why in a box over the window.
    dialogs_.answer(2, dir_.file("missing/saved.ini"));
    click(ui->settingsSaveButton);
    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    EXPECT_EQ(fake.messageBoxes[0].text,
              std::string(s::kSaveFailed) + "\nNo such file or directory");
}

// The system's loop of that box dispatches what comes meanwhile: the tray's menu and its 終了
// do not run inside the save (which would destroy the window under the box); afterwards they do.
TEST_F(SettingsDialogTest, NoCommandRunsInsideTheBoxOfAnotherCommand) {
    create();
    fake.menuChoice = UIEx::kMenuExit;
    fake.duringMessageBox = [&] {
        fake.sendMessage(ui->hwnd, platform::kWmTrayIcon, 0, platform::kWmRButtonDown);
        command(UIEx::kMenuExit);
    };
    choose(dir_.file("missing/saved.ini"));
    click(ui->settingsSaveButton);
    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    EXPECT_TRUE(fake.menus.empty());
    ASSERT_NE(fake.window(ui->hwnd), nullptr);
    command(UIEx::kMenuExit);
    EXPECT_EQ(fake.window(ui->hwnd), nullptr);
}

// A settings file that is there but gives nothing is said at start and kept as it is: the
// exit save goes beside it. Unreadable, lines ended by CR alone, UTF-16 without its mark.
TEST_F(MainWindowTest, AnUnusableSettingsFileIsKeptAndTheExitSaveGoesBesideIt) {
    const std::string text = "[param]\r\nwalkFThreshold=0.55\r\nnumStep=42\r\n";
    std::string utf16;
    for (char c : text) utf16 += std::string{c, '\0'};
    const std::pair<std::string, mode_t> files[] = {
        {text, 0200}, {"[param]\rwalkFThreshold=0.55\rnumStep=42\r", 0644}, {utf16, 0644}};
    settingstest::openToEveryone(dir_.path());
    for (int i = 0; i < 3; ++i) {
        const std::string folder = dir_.file(std::to_string(i)), file = folder + "/tarvel.ini";
        std::filesystem::create_directory(folder);
        settingstest::openToEveryone(folder);
        testsupport::writeFile(file, files[i].first);
        ::chmod(file.c_str(), files[i].second);
        auto startAndEnd = [&] {
            WalkState loaded{};
            if (::chdir(folder.c_str()) != 0 || !std::freopen("err", "w", stderr)) return 10;
            loadStartSettings(loaded);
            return saveExitSettings(loaded) && !std::fflush(stderr) && !loaded.numStep ? 0 : 1;
        };
        EXPECT_EQ(settingstest::runAsUser(startAndEnd), 0) << i;
        ::chmod(file.c_str(), 0600);
        EXPECT_EQ(testsupport::readFile(file), files[i].first) << i;
        const std::string said = testsupport::readFile(folder + "/err");
        const std::string whole = std::filesystem::canonical(folder).string() + "/tarvel.ini";
        EXPECT_TRUE(said.ends_with("; it is left as it is, the defaults are used and saved to " +
                                   whole + ".new\n"))
            << said;
    }
}

// In a working folder that others may write to, their tarvel.ini (or a link of theirs by that
// name) is not read: the defaults are used, and the start says why in one line.
TEST_F(MainWindowTest, ASettingsFileOfAnotherUserIsNotRead) {
    const auto other = settingstest::otherUser();
    if (!other) GTEST_SKIP() << settingstest::kNeedsRoot;
    testsupport::writeFile(dir_.file("theirs.ini"), "[emulation]\nappMode=1\nkeyF=65\n");
    ASSERT_EQ(::chown(dir_.file("theirs.ini").c_str(), other->pw_uid, other->pw_gid), 0);
    const std::string uid = std::to_string(other->pw_uid);
    for (const bool link : {false, true}) {
        std::filesystem::remove(dir_.file("tarvel.ini"));
        if (link) {
            std::filesystem::copy(dir_.file("theirs.ini"), dir_.file("mine.ini"));
            std::filesystem::create_symlink("mine.ini", dir_.file("tarvel.ini"));
            ASSERT_EQ(::lchown(dir_.file("tarvel.ini").c_str(), other->pw_uid, other->pw_gid), 0);
        } else {
            std::filesystem::copy(dir_.file("theirs.ini"), dir_.file("tarvel.ini"),
                                  std::filesystem::copy_options::copy_symlinks);
            ASSERT_EQ(::chown(dir_.file("tarvel.ini").c_str(), other->pw_uid, other->pw_gid), 0);
        }
        WalkState loaded{};
        ::testing::internal::CaptureStderr();
        loadStartSettings(loaded);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(loaded.appMode, 0) << link;
        EXPECT_EQ(said, "tarvel: " + dir_.file("tarvel.ini") + " is not read: " +
                            std::string(link ? "tarvel.ini is a symbolic link of another user"
                                             : "it belongs to another user") +
                            " (uid " + uid + (link ? "), not followed" : ")") +
                            "; the defaults are used\n");
    }
}

TEST_F(MainWindowTest, TeardownSavesOnlyWhenAskedTo) {
    create();
    state().numStep = 9;
    ui.reset();
    EXPECT_FALSE(testsupport::fileExists(dir_.file("tarvel.ini")));

    ui = std::make_unique<UIEx>();
    ui->saveSettingsOnDestroy = true;
    ui.reset();
    EXPECT_EQ(testsupport::readFile(dir_.file("tarvel.ini")), formatSettings(state()));

    // A save that fails says so in one line, with the reason.
    std::filesystem::remove(dir_.file("tarvel.ini"));
    std::filesystem::create_directory(dir_.file("tarvel.ini"));
    ui = std::make_unique<UIEx>();
    ui->saveSettingsOnDestroy = true;
    ::testing::internal::CaptureStderr();
    ui.reset();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "tarvel: cannot save ./tarvel.ini: Is a directory\n");
}

}  // namespace
