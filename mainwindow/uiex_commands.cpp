// What the user does to the running program: the buttons of the main window,
// the Enter key, closing the window, and the tray icon with its menu.
#include <cstdint>

#include "analysis/walk_state.h"
#include "link/sensor_link.h"
#include "mainwindow/ui_strings.h"
#include "mainwindow/uiex.h"
#include "settings/settings_file.h"

namespace s = ui_strings;

namespace {

platform::WindowSystem& ws() {
    return platform::windowSystem();
}

// An adjusting button's step: computed in double, rounded to float, then
// clamped to [low, high] (a result at or beyond a bound becomes the bound).
void adjust(float& field, double step, float low, float high) {
    float value = static_cast<float>(static_cast<double>(field) + step);
    if (value <= low) {
        value = low;
    } else if (value >= high) {
        value = high;
    }
    field = value;
}

std::int32_t toggled(std::int32_t value) {
    return value == 0 ? 1 : 0;
}

}  // namespace

void UIEx::replaceText(UI_Text& label, const char* text, bool erase) {
    label.text = text;
    ws().invalidate(label.hwnd, erase);
    paintPending_ = true;
}

void UIEx::showSettingTexts(bool onlyChanged) {
    const WalkState& state = WalkState::instance();
    const std::string comId = decimalText(state.comID);
    const struct {
        UI_Text& label;
        const char* text;
        bool erase;
    } texts[] = {
        {comIdText, comId.c_str(), true},
        {appModeText, state.appMode == 0 ? s::kVrMode : s::kDesktopMode, false},
        {moveModeText, state.moveMode == 0 ? s::kSideStepMode : s::kTurnMode, false},
        {autoCalibrationText,
         state.autoCalibration == 1 ? s::kAutoCalibrationOn : s::kAutoCalibrationOff, false},
    };
    for (const auto& t : texts) {
        if (onlyChanged && t.label.text == t.text) continue;
        replaceText(t.label, t.text, t.erase);
    }
}

void UIEx::onCommand(platform::WParam wParam, platform::LParam) {
    WalkState& state = WalkState::instance();
    switch (platform::loWord(wParam)) {
        case kConnect:
            openSensorPort();
            replaceText(connectionStatusText,
                        SensorLink::instance().connected ? s::kConnected : s::kNotConnected, false);
            break;
        case kComIdUp: {
            // Widened so that no stored value can overflow.
            const std::int64_t next = std::int64_t{state.comID} + 1;
            state.comID = next >= 256 ? 256 : static_cast<std::int32_t>(next);
            replaceText(comIdText, decimalText(state.comID).c_str(), true);
            break;
        }
        case kComIdDown: {
            const std::int64_t next = std::int64_t{state.comID} - 1;
            state.comID = next <= 0 ? 0 : static_cast<std::int32_t>(next);
            replaceText(comIdText, decimalText(state.comID).c_str(), true);
            break;
        }
        case kAppModeToggle:
            state.appMode = toggled(state.appMode);
            replaceText(appModeText, state.appMode == 1 ? s::kDesktopMode : s::kVrMode, false);
            break;
        case kMoveModeToggle:
            state.moveMode = toggled(state.moveMode);
            replaceText(moveModeText, state.moveMode == 1 ? s::kTurnMode : s::kSideStepMode, false);
            break;
        case kCalibration:
            captureTare();
            break;
        case kMaxReset:
            for (float& max : state.loadMax) max = 0.0f;
            break;
        case kAutoCalibrationToggle:
            state.autoCalibration = toggled(state.autoCalibration);
            replaceText(autoCalibrationText,
                        state.autoCalibration == 1 ? s::kAutoCalibrationOn : s::kAutoCalibrationOff,
                        false);
            break;
        case kThresholdLDown:
            adjust(state.thresholdL, -1.0, -45.0f, -20.0f);
            break;
        case kThresholdLUp:
            adjust(state.thresholdL, 1.0, -45.0f, -20.0f);
            break;
        case kThresholdFLDown:
            adjust(state.thresholdFL, -1.0, -20.0f, -10.0f);
            break;
        case kThresholdFLUp:
            adjust(state.thresholdFL, 1.0, -20.0f, -10.0f);
            break;
        case kThresholdFRDown:
            adjust(state.thresholdFR, -1.0, 10.0f, 20.0f);
            break;
        case kThresholdFRUp:
            adjust(state.thresholdFR, 1.0, 10.0f, 20.0f);
            break;
        case kThresholdRDown:
            adjust(state.thresholdR, -1.0, 20.0f, 45.0f);
            break;
        case kThresholdRUp:
            adjust(state.thresholdR, 1.0, 20.0f, 45.0f);
            break;
        case kWalkFThresholdUp:
            adjust(state.walkFThreshold, 0.01, 0.0f, 1.0f);
            break;
        case kWalkFThresholdDown:
            adjust(state.walkFThreshold, -0.01, 0.0f, 1.0f);
            break;
        case kWalkSpeedFBUp:
            if (state.appMode == 0) adjust(state.walkSpeedFB, 0.01, 0.0f, 1.0f);
            break;
        case kWalkSpeedFBDown:
            if (state.appMode == 0) adjust(state.walkSpeedFB, -0.01, 0.0f, 1.0f);
            break;
        case kWalkSpeedLRUp:
            if (state.appMode == 0 && state.moveMode == 0) {
                adjust(state.walkSpeedLR, 0.01, 0.0f, 1.0f);
            }
            break;
        case kWalkSpeedLRDown:
            if (state.appMode == 0 && state.moveMode == 0) {
                adjust(state.walkSpeedLR, -0.01, 0.0f, 1.0f);
            }
            break;
        case kRotationSpeedUp:
            if (state.moveMode == 1) adjust(state.rotationSpeed, 0.01, 0.0f, 1.0f);
            break;
        case kRotationSpeedDown:
            if (state.moveMode == 1) adjust(state.rotationSpeed, -0.01, 0.0f, 1.0f);
            break;
        case kStepReset:
            state.numStep = 0;
            replaceText(stepCountText, s::kStepCountReset, true);
            break;
        case kSettingsLoad:
            settingsFileDialog.path.clear();
            if (settingsFileDialog.askOpenPath(hwnd)) {
                loadSettings(settingsFileDialog.path);
                // The numbers follow at the next refresh; these texts only
                // change here and on their own buttons.
                showSettingTexts(true);
            }
            break;
        case kSettingsSave:
            settingsFileDialog.path.clear();
            if (settingsFileDialog.askSavePath(hwnd)) saveSettings(settingsFileDialog.path);
            break;
        case kMenuShowWindow:
            ws().showWindow(hwnd, platform::kSwShow);
            shown = true;
            break;
        case kMenuExit:
            exitProgram();
            break;
        default:
            break;
    }
}

void UIEx::exitProgram() {
    ws().removeTrayIcon(hwnd, 0);
    ws().destroyWindow(hwnd);
}

void UIEx::onTrayIcon(platform::WParam wParam, platform::LParam lParam) {
    if (wParam != 0) return;
    if (lParam == platform::kWmLButtonDown) {
        ws().showWindow(hwnd, platform::kSwShow);
        shown = true;
    } else if (lParam == platform::kWmRButtonDown) {
        const platform::Point at = ws().cursorPos();
        const platform::PopupMenu menu{
            kMenuId, {{kMenuShowWindow, s::kMenuShow}, {kMenuExit, s::kMenuExit}}};
        // The chosen item arrives as a command message of its own.
        ws().trackPopupMenu(hwnd, menu, at);
    }
}

// Closing only hides the window: the program goes on in the tray. Without a
// tray to bring it back from, the window is minimised instead.
void UIEx::onClose() {
    if (!ws().trayAvailable()) {
        ws().showWindow(hwnd, platform::kSwMinimize);
        return;
    }
    ws().showWindow(hwnd, platform::kSwHide);
    shown = false;
}

// Any key pressed while Enter is down (Enter itself included) tares the
// sensors on their current readings.
void UIEx::onKeyDown(platform::WParam, platform::LParam) {
    if (!ws().isKeyDown(platform::kVkReturn)) return;
    SensorLink& link = SensorLink::instance();
    if (!link.connected) return;
    for (int i = 0; i < 8; ++i) link.tare[i] = link.load(i);
}
