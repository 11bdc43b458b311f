// What the user does to the running program: the buttons of the main window,
// the Enter key, closing the window, and the tray icon with its menu.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "analysis/walk_state.h"
#include "link/sensor_link.h"
#include "mainwindow/ui_strings.h"
#include "mainwindow/uiex.h"
#include "settings/setting_table.h"
#include "settings/settings_file.h"

namespace s = ui_strings;

namespace {

// The adjusting buttons: the setting each up/down pair steps (its step and range come from the
// settings table), and when the pair has an effect (null: always).
struct Adjuster {
    std::uint32_t up;
    std::uint32_t down;
    const settings::Setting* setting;
    bool (*enabled)(const WalkState&);
};

bool forwardSpeedApplies(const WalkState& state) {
    return state.appMode == 0;
}
bool sideSpeedApplies(const WalkState& state) {
    return state.appMode == 0 && state.moveMode == 0;
}
bool turnSpeedApplies(const WalkState& state) {
    return state.moveMode == 1;
}

using settings::settingOf;

constexpr Adjuster kAdjusters[] = {
    {UIEx::kThresholdLUp, UIEx::kThresholdLDown, &settingOf(&WalkState::thresholdL), nullptr},
    {UIEx::kThresholdFLUp, UIEx::kThresholdFLDown, &settingOf(&WalkState::thresholdFL), nullptr},
    {UIEx::kThresholdFRUp, UIEx::kThresholdFRDown, &settingOf(&WalkState::thresholdFR), nullptr},
    {UIEx::kThresholdRUp, UIEx::kThresholdRDown, &settingOf(&WalkState::thresholdR), nullptr},
    {UIEx::kWalkFThresholdUp, UIEx::kWalkFThresholdDown, &settingOf(&WalkState::walkFThreshold),
     nullptr},
    {UIEx::kWalkSpeedFBUp, UIEx::kWalkSpeedFBDown, &settingOf(&WalkState::walkSpeedFB),
     forwardSpeedApplies},
    {UIEx::kWalkSpeedLRUp, UIEx::kWalkSpeedLRDown, &settingOf(&WalkState::walkSpeedLR),
     sideSpeedApplies},
    {UIEx::kRotationSpeedUp, UIEx::kRotationSpeedDown, &settingOf(&WalkState::rotationSpeed),
     turnSpeedApplies},
};
static_assert(std::ranges::all_of(kAdjusters,
                                  [](const Adjuster& a) { return a.setting->step > 0; }),
              "every adjusting button steps a setting with a button step");

// Steps a field when the command is one of the adjusting buttons; false for any other command.
// The step is computed in double, rounded to float, then clamped to the setting's range.
bool runAdjuster(std::uint32_t command, WalkState& state) {
    for (const Adjuster& a : kAdjusters) {
        if (command != a.up && command != a.down) continue;
        if (a.enabled == nullptr || a.enabled(state)) {
            const settings::Setting& setting = *a.setting;
            float& field = *setting.field.decimalIn(state);
            const double step = command == a.up ? setting.step : -setting.step;
            field = setting.range.clamp(static_cast<float>(static_cast<double>(field) + step));
        }
        return true;
    }
    return false;
}

// The COM number's buttons: one step, ＋ up to the top of their range, － down to its bottom.
constexpr const settings::Setting& kComIdSetting = settingOf(&WalkState::comID);

std::int32_t toggled(std::int32_t value) {
    return value == 0 ? 1 : 0;
}

}  // namespace

const char* connectionCaption(bool connected) {
    return connected ? s::kConnected : s::kNotConnected;
}

const char* appModeCaption(std::int32_t appMode) {
    return appMode == 0 ? s::kVrMode : s::kDesktopMode;
}

const char* moveModeCaption(std::int32_t moveMode) {
    return moveMode == 0 ? s::kSideStepMode : s::kTurnMode;
}

const char* autoCalibrationCaption(std::int32_t autoCalibration) {
    return autoCalibration == 1 ? s::kAutoCalibrationOn : s::kAutoCalibrationOff;
}

const char* oscCaption(std::int32_t oscEnabled) {
    return oscEnabled == 1 ? s::kOscOn : s::kOscOff;
}

const char* xrCaption(std::int32_t xrEnabled) {
    return xrEnabled == 1 ? s::kXrOn : s::kXrOff;
}

const char* steamVrCaption(bool registered) {
    return registered ? s::kSteamVrOn : s::kSteamVrOff;
}

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
        {appModeText, appModeCaption(state.appMode), false},
        {moveModeText, moveModeCaption(state.moveMode), false},
        {autoCalibrationText, autoCalibrationCaption(state.autoCalibration), false},
        {oscText, oscCaption(state.oscEnabled), false},
        {xrText, xrCaption(state.xrEnabled), false},
    };
    for (const auto& t : texts) {
        if (onlyChanged && t.label.text == t.text) continue;
        replaceText(t.label, t.text, t.erase);
    }
}

void UIEx::onCommand(platform::WParam wParam, platform::LParam) {
    // A command that reaches the window while another one waits in a modal loop (a tray menu's
    // 終了 chosen through the loop of a "save failed" box) would run inside it, and could
    // destroy the window under the box: it is dropped.
    if (commandRunning_) return;
    commandRunning_ = true;
    const struct Done {
        bool& running;
        ~Done() { running = false; }
    } done{commandRunning_};
    WalkState& state = WalkState::instance();
    const std::uint32_t command = platform::loWord(wParam);
    if (runAdjuster(command, state)) return;
    switch (command) {
        case kConnect:
            openSensorPort(state.comID);
            replaceText(connectionStatusText, connectionCaption(SensorLink::instance().connected),
                        false);
            break;
        case kComIdUp: {
            // In double, so that no stored value can overflow.
            const double next = state.comID + kComIdSetting.step;
            const double top = kComIdSetting.buttons.high;
            state.comID = static_cast<std::int32_t>(next >= top ? top : next);
            replaceText(comIdText, decimalText(state.comID).c_str(), true);
            break;
        }
        case kComIdDown: {
            const double next = state.comID - kComIdSetting.step;
            const double bottom = kComIdSetting.buttons.low;
            state.comID = static_cast<std::int32_t>(next <= bottom ? bottom : next);
            replaceText(comIdText, decimalText(state.comID).c_str(), true);
            break;
        }
        case kAppModeToggle:
            state.appMode = toggled(state.appMode);
            replaceText(appModeText, appModeCaption(state.appMode), false);
            break;
        case kMoveModeToggle:
            state.moveMode = toggled(state.moveMode);
            replaceText(moveModeText, moveModeCaption(state.moveMode), false);
            break;
        case kCalibration:
            captureTare();
            break;
        case kMaxReset:
            for (float& max : state.loadMax) max = 0.0f;
            break;
        case kAutoCalibrationToggle:
            state.autoCalibration = toggled(state.autoCalibration);
            replaceText(autoCalibrationText, autoCalibrationCaption(state.autoCalibration), false);
            break;
        case kOscToggle:
            // The output follows at the next pass: it sends zeros when switched off.
            state.oscEnabled = toggled(state.oscEnabled);
            replaceText(oscText, oscCaption(state.oscEnabled), false);
            break;
        case kXrToggle:
            // The block follows at the next pass: zeros from then on when switched off.
            state.xrEnabled = toggled(state.xrEnabled);
            replaceText(xrText, xrCaption(state.xrEnabled), false);
            break;
        case kSteamVrToggle:
            // Read back from SteamVR's file: without SteamVR it stays 未登録.
            if (steamVrSwitch.registered && steamVrSwitch.set) {
                steamVrSwitch.set(!steamVrSwitch.registered());
                replaceText(steamVrText, steamVrCaption(steamVrSwitch.registered()), false);
            }
            break;
        case kStepReset:
            state.numStep = 0;
            replaceText(stepCountText, s::kStepCountReset, true);
            break;
        case kSettingsLoad:
            settingsFileDialog.path.clear();
            if (settingsFileDialog.askOpenPath(hwnd)) {
                const SettingsLoad loaded = loadChosenSettings(settingsFileDialog.path, state);
                if (!loaded.found) {
                    // Nothing changes: the exit save must not write defaults over the user's file.
                    const std::string why = settingsFileDialog.path + " " + loaded.problem;
                    std::fprintf(stderr, "tarvel: cannot load %s\n", why.c_str());
                    ws().messageBox(hwnd, std::string(s::kLoadFailed) + "\n" + why, s::kTrayTip,
                                    platform::kMbOk);
                    break;
                }
                // The numbers follow at the next refresh; these texts only
                // change here and on their own buttons. The key emulation takes the
                // new key codes at its next step.
                showSettingTexts(true);
            }
            break;
        case kSettingsSave:
            settingsFileDialog.path.clear();
            if (settingsFileDialog.askSavePath(hwnd)) {
                std::string failure;
                if (!saveSettings(settingsFileDialog.path, state, &failure)) {
                    std::fprintf(stderr, "tarvel: cannot save %s: %s\n",
                                 settingsFileDialog.path.c_str(), failure.c_str());
                    ws().messageBox(hwnd, std::string(s::kSaveFailed) + "\n" + failure, s::kTrayTip,
                                    platform::kMbOk);
                }
            }
            break;
        case kMenuShowWindow:
            ws().showWindow(hwnd, platform::kSwShow);
            shown = true;
            break;
        case kMenuGraph:
            graphWindow.open(instance_, hwnd, adjustingButtonsArea());
            break;
        case kMenuExit:
            exitProgram();
            break;
        default:
            break;
    }
    // A file dialog that could not hand back the path the user chose says so.
    if (!settingsFileDialog.failure.empty()) {
        std::fprintf(stderr, "tarvel: %s\n", settingsFileDialog.failure.c_str());
        ws().messageBox(hwnd, std::string(s::kPathTooLong) + "\n" + settingsFileDialog.failure,
                        s::kTrayTip, platform::kMbOk);
        settingsFileDialog.failure.clear();
    }
}

platform::Rect UIEx::adjustingButtonsArea() const {
    const UI_Button* buttons[] = {
        &thresholdLUpButton,       &thresholdLDownButton,  &thresholdFLUpButton,
        &thresholdFLDownButton,    &thresholdFRUpButton,   &thresholdFRDownButton,
        &thresholdRUpButton,       &thresholdRDownButton,  &walkFThresholdUpButton,
        &walkFThresholdDownButton, &walkSpeedFBUpButton,   &walkSpeedFBDownButton,
        &walkSpeedLRUpButton,      &walkSpeedLRDownButton, &rotationSpeedUpButton,
        &rotationSpeedDownButton};
    platform::Rect area = ws().windowRect(buttons[0]->hwnd);
    for (const UI_Button* b : buttons) {
        const platform::Rect r = ws().windowRect(b->hwnd);
        area = {std::min(area.left, r.left), std::min(area.top, r.top),
                std::max(area.right, r.right), std::max(area.bottom, r.bottom)};
    }
    return area;
}

void UIEx::exitProgram() {
    graphWindow.close();
    ws().removeTrayIcon(hwnd, 0);
    ws().destroyWindow(hwnd);
}

platform::PopupMenu UIEx::trayMenu() const {
    return {
        kMenuId,
        {{kMenuShowWindow, s::kMenuShow}, {kMenuGraph, s::kMenuGraph}, {kMenuExit, s::kMenuExit}}};
}

void UIEx::onTrayIcon(platform::WParam wParam, platform::LParam lParam) {
    if (wParam != 0) return;
    // While a command's box or dialog is open, either click only brings the window (and the
    // box over it) back: no menu whose command could not run.
    if (lParam == platform::kWmLButtonDown ||
        (commandRunning_ && lParam == platform::kWmRButtonDown)) {
        ws().showWindow(hwnd, platform::kSwShow);
        shown = true;
    } else if (lParam == platform::kWmRButtonDown) {
        const platform::Point at = ws().cursorPos();
        // The chosen item arrives as a command message of its own.
        ws().trackPopupMenu(hwnd, trayMenu(), at);
    }
}

// Closing only hides the window: the program goes on in the tray. Without a
// tray to bring it back from, the window is minimised instead.
void UIEx::onClose() {
    // The window stays where the open box of a command belongs.
    if (commandRunning_) return;
    // Hidden only in a tray that holds the icon now: else the window could not come back.
    trayConfirmed_ = ws().trayAvailable();
    if (!trayConfirmed_) {
        ws().showWindow(hwnd, platform::kSwMinimize);
        return;
    }
    ws().showWindow(hwnd, platform::kSwHide);
    shown = false;
}

// Any key pressed while Enter is down (Enter itself included) tares the
// sensors on their current readings.
void UIEx::onKeyDown(platform::WParam, platform::LParam) {
    if (ws().isKeyDown(platform::kVkReturn)) captureTare();
}
