// UIEx construction, widget build, layout and teardown.
#include "mainwindow/uiex.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "analysis/walk_state.h"
#include "link/sensor_link.h"
#include "mainwindow/ui_strings.h"
#include "platform/file_names.h"
#include "platform/file_replace.h"
#include "platform/own_files.h"
#include "settings/settings_file.h"

namespace s = ui_strings;

UIEx::UIEx() {
    SensorLink::instance().reset();
}

UIEx::~UIEx() {
    if (saveSettingsOnDestroy) saveExitSettings(WalkState::instance());
}

namespace {
// Where the exit save goes: tarvel.ini, or beside it when that file could not be used.
std::string& exitSettingsPath() {
    static std::string path = UIEx::kSettingsPath;
    return path;
}

// tarvel.ini of the working folder as it is at start, named whole: a file dialog may move the
// working folder while it is open, and the program may be ended then.
std::string startSettingsPath() {
    std::error_code error;
    const std::filesystem::path absolute =
        std::filesystem::absolute(platform::fileSystemPath(UIEx::kSettingsPath), error);
    if (error) return UIEx::kSettingsPath;
    const std::u8string name = absolute.lexically_normal().u8string();
    return std::string(name.begin(), name.end());
}

// A settings file that another user owns (in a working folder everyone may write to, such as
// /tmp) is not read: they would choose the settings. Said in one line; the defaults are used.
bool settingsFileRefused(const std::string& path) {
    std::string why;
    if (platform::isOwnFile(path, why)) return false;
    std::fprintf(stderr, "tarvel: %s is not read: %s; the defaults are used\n", path.c_str(),
                 why.c_str());
    return true;
}
}  // namespace

std::string loadStartSettings(WalkState& state) {
    const std::string path = startSettingsPath();
    platform::removeAbandonedTemporaryFiles(path);
    exitSettingsPath() = path;
    const SettingsLoad loaded =
        loadSettings(settingsFileRefused(path) ? std::string() : path, state);
    if (!loaded.unusable) return {};
    // The file is kept for the user to mend; the settings of the runs since live beside it.
    exitSettingsPath() = path + ".new";
    const bool keptAside =
        !settingsFileRefused(exitSettingsPath()) && loadSettings(exitSettingsPath(), state).found;
    const std::string note =
        path + " " + loaded.problem + "; it is left as it is, " +
        (keptAside ? "the settings of " + exitSettingsPath() + " are used and saved there"
                   : "the defaults are used and saved to " + exitSettingsPath());
    std::fprintf(stderr, "tarvel: %s\n", note.c_str());
    return note;
}

bool saveExitSettings(const WalkState& state) {
    std::string failure;
    const std::string& path = exitSettingsPath();
    if (saveSettings(path, state, &failure)) return true;
    std::fprintf(stderr, "tarvel: cannot save %s: %s\n", path.c_str(), failure.c_str());
    return false;
}

std::vector<UIEx::WidgetPlacement> UIEx::widgetTable() {
    auto button = [](UI_Button& b, const char* caption, std::int32_t x, std::int32_t y,
                     std::int32_t width, std::int32_t idOffset, std::int32_t textX = 2) {
        return WidgetPlacement{.button = &b,
                               .text = caption,
                               .x = x,
                               .y = y,
                               .width = width,
                               .idOffset = idOffset,
                               .textX = textX};
    };
    auto label = [](UI_Text& t, const char* text, std::int32_t x, std::int32_t y,
                    std::int32_t width, std::int32_t height = 17) {
        return WidgetPlacement{
            .label = &t, .text = text, .x = x, .y = y, .width = width, .height = height};
    };

    std::vector<WidgetPlacement> table = {
        button(connectButton, s::kToggle, 10, 10, 20, kConnect),
        label(comLabel, s::kCom, 30, 10, 40),
        button(comIdDownButton, s::kMinus, 70, 10, 20, kComIdDown),
        label(comIdText, nullptr, 90, 10, 30),
        button(comIdUpButton, s::kPlus, 120, 10, 20, kComIdUp),
        label(connectionStatusText, nullptr, 140, 10, 95),
        button(appModeButton, s::kToggle, 10, 30, 20, kAppModeToggle),
        label(appModeText, nullptr, 30, 30, 150),
        button(moveModeButton, s::kToggle, 180, 30, 20, kMoveModeToggle),
        label(moveModeText, nullptr, 200, 30, 150),
        label(sensorValuesLabel, s::kSensorValues, 10, 50, 85),
        button(calibrationButton, s::kCalibration, 95, 50, 130, kCalibration, 5),
        button(maxResetButton, s::kMaxReset, 250, 50, 107, kMaxReset, 5),
    };
    for (int i = 0; i < 8; ++i) {
        const std::int32_t column = 105 * (i / 2);
        const std::int32_t y = (i % 2 == 0) ? 70 : 90;
        table.push_back(label(sensorLoadText[i], s::kSensorInitial, 10 + column, y, 37));
        table.push_back(label(sensorSlashText[i], s::kSlash, 50 + column, y, 8));
        table.push_back(label(sensorMaxText[i], s::kSensorInitial, 58 + column, y, 37));
    }
    const WidgetPlacement rest[] = {
        label(autoCalibrationText, nullptr, 30, 110, 225),
        button(autoCalibrationButton, s::kToggle, 10, 110, 20, kAutoCalibrationToggle),
        label(upperAverageLabel, s::kUpperAverage, 10, 130, 137),
        label(upperAverageText, s::kAverageInitial, 152, 130, 37),
        label(lowerAverageLabel, s::kLowerAverage, 10, 150, 137),
        label(lowerAverageText, s::kAverageInitial, 152, 150, 37),
        label(leftAverageLabel, s::kLeftAverage, 220, 150, 45),
        label(leftAverageText, s::kAverageInitial, 265, 150, 37),
        label(rightAverageLabel, s::kRightAverage, 325, 150, 45),
        label(rightAverageText, s::kAverageInitial, 370, 150, 37),
        label(lowerMovingAverageLabel, s::kLowerMovingAverage, 10, 170, 170),
        label(lowerMovingAverageText, s::kAverageInitial, 185, 170, 37),
        label(directionLabel, s::kDirection, 10, 190, 110),
        label(directionXSignText, s::kPlusSign, 125, 190, 10),
        label(directionXText, s::kAverageInitial, 135, 190, 37),
        label(directionCommaLabel, s::kComma, 175, 190, 5),
        label(directionYSignText, s::kPlusSign, 185, 190, 10),
        label(directionYText, s::kAverageInitial, 195, 190, 37),
        label(angleLabel, s::kAngle, 260, 190, 75),
        label(angleSignText, s::kPlusSign, 340, 190, 10),
        label(angleText, s::kAngleInitial, 350, 190, 37),
        label(turnThresholdLabel, s::kTurnThreshold, 10, 210, 215),
        label(thresholdLSignLabel, s::kMinusSign, 53, 250, 10),
        label(thresholdLText, s::kThresholdInitial, 63, 250, 37),
        label(thresholdFLSignLabel, s::kMinusSign, 133, 230, 10),
        label(thresholdFLText, s::kThresholdInitial, 143, 230, 37),
        label(thresholdFRSignLabel, s::kPlusSign, 240, 230, 10),
        label(thresholdFRText, s::kThresholdInitial, 250, 230, 37),
        label(thresholdRSignLabel, s::kPlusSign, 320, 250, 10),
        label(thresholdRText, s::kThresholdInitial, 330, 250, 37),
        label(walkFThresholdLabel, s::kWalkFThreshold, 10, 270, 140),
        label(walkFThresholdText, s::kSpeedInitial, 170, 270, 37),
        label(walkSpeedLabel, s::kWalkSpeed, 10, 290, 75),
        label(walkSpeedFBLabel, s::kWalkSpeedFB, 100, 290, 27),
        label(walkSpeedFBText, s::kSpeedInitial, 147, 290, 37),
        label(walkSpeedLRLabel, s::kWalkSpeedLR, 250, 290, 42),
        label(walkSpeedLRText, s::kSpeedInitial, 315, 290, 37),
        label(rotationSpeedLabel, s::kRotationSpeed, 10, 310, 75),
        label(rotationSpeedText, s::kSpeedInitial, 105, 310, 37),
        button(thresholdLUpButton, s::kPlus, 100, 250, 20, kThresholdLUp),
        button(thresholdLDownButton, s::kMinus, 33, 250, 20, kThresholdLDown),
        button(thresholdFLUpButton, s::kPlus, 180, 230, 20, kThresholdFLUp),
        button(thresholdFLDownButton, s::kMinus, 113, 230, 20, kThresholdFLDown),
        button(thresholdFRUpButton, s::kPlus, 287, 230, 20, kThresholdFRUp),
        button(thresholdFRDownButton, s::kMinus, 220, 230, 20, kThresholdFRDown),
        button(thresholdRUpButton, s::kPlus, 367, 250, 20, kThresholdRUp),
        button(thresholdRDownButton, s::kMinus, 300, 250, 20, kThresholdRDown),
        button(walkFThresholdUpButton, s::kPlus, 207, 270, 20, kWalkFThresholdUp),
        button(walkFThresholdDownButton, s::kMinus, 150, 270, 20, kWalkFThresholdDown),
        button(walkSpeedFBUpButton, s::kPlus, 184, 290, 20, kWalkSpeedFBUp),
        button(walkSpeedFBDownButton, s::kMinus, 127, 290, 20, kWalkSpeedFBDown),
        button(walkSpeedLRUpButton, s::kPlus, 352, 290, 20, kWalkSpeedLRUp),
        button(walkSpeedLRDownButton, s::kMinus, 295, 290, 20, kWalkSpeedLRDown),
        button(rotationSpeedUpButton, s::kPlus, 142, 310, 20, kRotationSpeedUp),
        button(rotationSpeedDownButton, s::kMinus, 85, 310, 20, kRotationSpeedDown),
        label(stepCountText, s::kStepCountInitial, 80, 330, 280, 80),
        button(stepResetButton, s::kStepReset, 360, 345, 50, kStepReset),
        label(stepUnitLabel, s::kStepUnit, 370, 370, 80, 30),
        button(settingsLoadButton, s::kSettingsLoad, 80, 410, 125, kSettingsLoad),
        button(settingsSaveButton, s::kSettingsSave, 230, 410, 125, kSettingsSave),
        // Beside the automatic-calibration switch: the room below the settings-file buttons
        // lies outside the client area of a 475-pixel-high window on Windows (its caption and
        // frame take 29 to 37 pixels of it).
        button(oscButton, s::kToggle, kOscToggleX, kOscToggleY, 20, kOscToggle),
        label(oscText, nullptr, kOscToggleX + 20, kOscToggleY, 140),
        button(xrButton, s::kToggle, kXrToggleX, kXrToggleY, 20, kXrToggle),
        label(xrText, nullptr, kXrToggleX + 20, kXrToggleY, 140),
        // The first free row below the XR switch (the averages fill the row under it).
        label(xrStatusText, s::kXrNoGame, 230, 170, 200),
        button(steamVrButton, s::kToggle, kSteamVrToggleX, kSteamVrToggleY, 20, kSteamVrToggle),
        label(steamVrText, nullptr, kSteamVrToggleX + 20, kSteamVrToggleY, 140),
    };
    table.insert(table.end(), std::begin(rest), std::end(rest));
    return table;
}

void UIEx::buildWidgets(platform::NativeInstance instance) {
    const SensorLink& link = SensorLink::instance();
    const WalkState& state = WalkState::instance();

    const std::string comId = decimalText(state.comID);
    auto stateText = [&](const UI_Text* label) -> const char* {
        if (label == &comIdText) return comId.c_str();
        if (label == &connectionStatusText) return connectionCaption(link.connected);
        if (label == &appModeText) return appModeCaption(state.appMode);
        if (label == &moveModeText) return moveModeCaption(state.moveMode);
        if (label == &oscText) return oscCaption(state.oscEnabled);
        if (label == &xrText) return xrCaption(state.xrEnabled);
        if (label == &steamVrText) {
            return steamVrCaption(steamVrSwitch.registered && steamVrSwitch.registered());
        }
        return autoCalibrationCaption(state.autoCalibration);
    };

    for (const WidgetPlacement& w : widgetTable()) {
        if (w.button != nullptr) {
            w.button->create(id + w.idOffset, w.text, notifyTarget, hwnd, instance, w.width,
                             w.textX);
        } else {
            const char* text = w.text != nullptr ? w.text : stateText(w.label);
            w.label->create(id, text, notifyTarget, hwnd, instance, w.width, w.height);
        }
    }
    comIdText.rightAlign = true;
    stepCountText.rightAlign = true;
    instance_ = instance;
    fitTextToBoxes();
    platform::windowSystem().setTrayMenu(hwnd, 0, trayMenu());
}

void UIEx::fitTextToBoxes() {
    // The layout was made for ＭＳ Ｐゴシック; another face (Meiryo, or whatever Japanese
    // font a Wine prefix has) may be wider and would cut "キャリブレーション" short.
    platform::WindowSystem& ws = platform::windowSystem();
    ws.setTextScale(1.0);
    double widest = 1.0;
    for (const WidgetPlacement& w : widgetTable()) {
        // Words only: a lone sign ("," in its 5 pixels) may touch its neighbour, and a
        // read-out's first text ("0.000：") is replaced at once.
        if (w.text == nullptr) continue;
        const std::string_view text(w.text);
        const auto characters = std::count_if(text.begin(), text.end(), [](char c) {
            return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        });
        if (characters < 2 || (text[0] >= '0' && text[0] <= '9')) continue;
        const bool button = w.button != nullptr;
        const std::int32_t height = button ? UI_Button::kFontHeight : w.label->fontHeight;
        const std::int32_t room = w.width - (button ? 2 * w.textX : 0);
        const platform::Size cell = ws.textExtent({}, w.text, height);
        if (room > 0) widest = std::max(widest, static_cast<double>(cell.cx) / room);
    }
    if (widest > 1.0) ws.setTextScale(1.0 / widest);
}

void UIEx::layoutWidgets() {
    platform::WindowSystem& ws = platform::windowSystem();
    for (const WidgetPlacement& w : widgetTable()) {
        const platform::NativeWindow window = w.button != nullptr ? w.button->hwnd : w.label->hwnd;
        if (window != 0) ws.moveWindow(window, w.x, w.y);
    }
}

void UIEx::onSize() {
    layoutWidgets();
}

void UIEx::onMouseWheel(platform::WParam) {}
