// UIEx: the program's main window with all its buttons and read-outs, their
// layout, the live refresh of the read-outs and the user's commands.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mainwindow/graph_window.h"
#include "settings/settings_dialog.h"
#include "ui/ui_widgets.h"

class UIEx final : public UI_Window {
  public:
    // Creation values of the native window.
    static constexpr int kIconId = 101;
    static constexpr int kMenuId = 102;
    static constexpr platform::Colour kBackground = 0x191919;
    static constexpr std::uint32_t kStyle =
        platform::kWsCaption | platform::kWsSysMenu | platform::kWsMinimizeBox;
    static constexpr std::int32_t kWidth = 440;
    static constexpr std::int32_t kHeight = 475;
    // Where the OSC output's switch sits; its text follows at x + 20.
    static constexpr std::int32_t kOscToggleX = 260;
    static constexpr std::int32_t kOscToggleY = 110;
    // The OpenXR layer's switch, below the OSC one.
    static constexpr std::int32_t kXrToggleX = 260;
    static constexpr std::int32_t kXrToggleY = 130;
    // The SteamVR driver's registration switch, right of the connection state.
    static constexpr std::int32_t kSteamVrToggleX = 260;
    static constexpr std::int32_t kSteamVrToggleY = 10;
    // The start-up and exit settings file, in the working folder (named whole at start).
    static constexpr const char* kSettingsPath = "./tarvel.ini";

    // Text colours of the read-outs.
    static constexpr platform::Colour kWhite = 0xFFFFFF;
    static constexpr platform::Colour kCyan = 0xFFFF00;
    static constexpr platform::Colour kGrey = 0x7D7D7D;

    // Command ids: the window's id (0) plus these offsets for the buttons,
    // and the tray menu's items.
    enum Command : std::uint32_t {
        kConnect = 100,
        kComIdUp = 101,
        kComIdDown = 102,
        kAppModeToggle = 103,
        kMoveModeToggle = 104,
        kCalibration = 105,
        kMaxReset = 106,
        kAutoCalibrationToggle = 107,
        kThresholdLDown = 108,
        kThresholdLUp = 109,
        kThresholdFLDown = 110,
        kThresholdFLUp = 111,
        kThresholdFRDown = 112,
        kThresholdFRUp = 113,
        kThresholdRDown = 114,
        kThresholdRUp = 115,
        kWalkFThresholdUp = 116,
        kWalkFThresholdDown = 117,
        kWalkSpeedFBUp = 120,
        kWalkSpeedFBDown = 121,
        kWalkSpeedLRUp = 122,
        kWalkSpeedLRDown = 123,
        kRotationSpeedUp = 124,
        kRotationSpeedDown = 125,
        kStepReset = 126,
        kSettingsLoad = 127,
        kSettingsSave = 128,
        kOscToggle = 129,
        kXrToggle = 130,
        kSteamVrToggle = 131,
        kMenuShowWindow = 40003,
        kMenuExit = 40004,
        kMenuGraph = 40005,
    };

    // Resets the sensor link record to its initial values.
    UIEx();
    // Saves the settings to ./tarvel.ini when saveSettingsOnDestroy is set
    // (saveExitSettings). The native windows are gone by now (the exit command
    // destroys them).
    ~UIEx();

    // Creates every widget window at (0, 0) with its caption or the text of
    // the current state. Called once, after the settings load and the port
    // opening, with the window created and `id` set to 0. Also hands the
    // tray its menu (trayMenu) for hosts that draw the menu themselves.
    void buildWidgets(platform::NativeInstance instance);
    // Places every widget at its fixed position; sizes never change.
    void layoutWidgets();
    // Copies the live values of WalkState into the read-outs and paints what
    // changed. Does nothing while the window is hidden.
    void refreshDisplay();
    // The OpenXR status line's text (the program reads the block about once a second).
    void showXrStatus(std::string_view line) {
        showText(xrStatusText, line, xrStatusText.textColour);
    }
    // What the tray menu's "終了" does: removes the tray icon and destroys the
    // window, which ends the message loop.
    void exitProgram();
    // Brings the connection status up to date with whether frames arrive:
    // "・・・データなし" while connected but silent, "・・・接続済" again when
    // frames resume; "・・・データ欠落" while `recentLoss` (frames were lost or held back a
    // moment ago). Repaints only on a change.
    void showLinkStatus(bool framesArriving, bool recentLoss = false);
    // The tray icon's menu, in the order shown: its items are commands.
    platform::PopupMenu trayMenu() const;
    // Where the ＋/－ buttons of the settings lie on the screen (the graph
    // window leaves them uncovered, so that one can tune while watching it).
    platform::Rect adjustingButtonsArea() const;

    // While the window is hidden, asks every kTrayCheckPeriod whether a tray
    // still holds the icon; once none has for kTrayGrace, shows the window,
    // which could not be reached otherwise. While it is shown and no tray has
    // yet confirmed the icon (a taskbar not there yet at sign-in), offers the
    // icon again after 50 ms, then twice as long each time, up to once a second.
    // Returns how many milliseconds the loop may wait before the next call is
    // due (-1: no limit).
    int watchTray(GraphWindow::Clock::time_point now);
    static constexpr GraphWindow::Clock::duration kTrayCheckPeriod = std::chrono::milliseconds(250);
    static constexpr GraphWindow::Clock::duration kTrayGrace = std::chrono::seconds(2);

    void onTrayIcon(platform::WParam wParam, platform::LParam lParam) override;
    // A right click on the window outside its widgets opens the tray menu.
    void onRButtonUp(platform::WParam wParam, int x, int y) override;
    void onClose() override;
    void onSize() override;
    void onMouseWheel(platform::WParam wParam) override;
    void onCommand(platform::WParam wParam, platform::LParam lParam) override;
    void onKeyDown(platform::WParam wParam, platform::LParam lParam) override;

    // Set by the entry point once the settings have been loaded: a copy that
    // stops before that must not overwrite the running copy's file.
    bool saveSettingsOnDestroy = false;

    // Widgets, in declaration order.
    UI_Button connectButton;
    UI_Text comLabel;
    UI_Button comIdUpButton;
    UI_Text comIdText;
    UI_Button comIdDownButton;
    UI_Text connectionStatusText;
    UI_Text appModeText;
    UI_Button appModeButton;
    UI_Text moveModeText;
    UI_Button moveModeButton;
    UI_Text sensorValuesLabel;
    UI_Button calibrationButton;
    UI_Button maxResetButton;
    UI_Text sensorLoadText[8];
    UI_Text sensorSlashText[8];
    UI_Text sensorMaxText[8];
    UI_Button autoCalibrationButton;
    UI_Text autoCalibrationText;
    UI_Text upperAverageLabel;
    UI_Text upperAverageText;
    UI_Text lowerAverageLabel;
    UI_Text lowerAverageText;
    UI_Text leftAverageLabel;
    UI_Text leftAverageText;
    UI_Text rightAverageLabel;
    UI_Text rightAverageText;
    UI_Text lowerMovingAverageLabel;
    UI_Text lowerMovingAverageText;
    UI_Text directionLabel;
    UI_Text directionXSignText;
    UI_Text directionXText;
    UI_Text directionCommaLabel;
    UI_Text directionYSignText;
    UI_Text directionYText;
    UI_Text angleLabel;
    UI_Text angleSignText;
    UI_Text angleText;
    UI_Text turnThresholdLabel;
    UI_Text thresholdLSignLabel;
    UI_Text thresholdLText;
    UI_Text thresholdFLSignLabel;
    UI_Text thresholdFLText;
    UI_Text thresholdFRSignLabel;
    UI_Text thresholdFRText;
    UI_Text thresholdRSignLabel;
    UI_Text thresholdRText;
    UI_Button thresholdLUpButton;
    UI_Button thresholdLDownButton;
    UI_Button thresholdFLUpButton;
    UI_Button thresholdFLDownButton;
    UI_Button thresholdFRUpButton;
    UI_Button thresholdFRDownButton;
    UI_Button thresholdRUpButton;
    UI_Button thresholdRDownButton;
    UI_Text walkFThresholdLabel;
    UI_Text walkFThresholdText;
    UI_Button walkFThresholdUpButton;
    UI_Button walkFThresholdDownButton;
    UI_Text walkSpeedLabel;
    UI_Button walkSpeedFBDownButton;
    UI_Text walkSpeedFBLabel;
    UI_Text walkSpeedFBText;
    UI_Button walkSpeedFBUpButton;
    UI_Button walkSpeedLRDownButton;
    UI_Text walkSpeedLRLabel;
    UI_Text walkSpeedLRText;
    UI_Button walkSpeedLRUpButton;
    UI_Text rotationSpeedLabel;
    UI_Button rotationSpeedDownButton;
    UI_Text rotationSpeedText;
    UI_Button rotationSpeedUpButton;
    UI_Text stepCountText;
    UI_Button stepResetButton;
    UI_Text stepUnitLabel;
    UI_Button settingsLoadButton;
    UI_Button settingsSaveButton;
    // The OSC output's switch, after the widgets above so that their order stays.
    UI_Button oscButton;
    UI_Text oscText;
    // The OpenXR layer's switch, after the OSC one.
    UI_Button xrButton;
    UI_Text xrText;
    // Under it: where the walk goes in OpenXR games (xr_status_line.h).
    UI_Text xrStatusText;
    // The SteamVR driver's registration switch, after the OpenXR one.
    UI_Button steamVrButton;
    UI_Text steamVrText;
    // What that switch reads and changes (set by the program before the widgets are built;
    // unset, it shows 未登録 and does nothing): whether this installation's driver folder is in
    // SteamVR's list, and the change to `registered`.
    struct SteamVrSwitch {
        std::function<bool()> registered;
        std::function<void(bool registered)> set;
    } steamVrSwitch;

    SettingsFileDialog settingsFileDialog;
    // The graph window, opened from the tray menu; its native window is made on first use.
    GraphWindow graphWindow;

    // One row of the widget table: what build and layout need of a widget.
    // Exactly one of button and label is set.
    struct WidgetPlacement {
        UI_Button* button = nullptr;
        UI_Text* label = nullptr;
        const char* text = nullptr;  // nullptr: the text follows the state
        std::int32_t x = 0;
        std::int32_t y = 0;
        std::int32_t width = 0;
        std::int32_t height = 0;    // labels only; buttons are 20 high
        std::int32_t idOffset = 0;  // buttons only
        std::int32_t textX = 2;     // buttons only
    };
    // The widgets in creation order with their places.
    std::vector<WidgetPlacement> widgetTable();

  private:
    // The last value a read-out was formatted from and its text, so that an
    // unchanged value is not formatted again.
    struct ReadoutCache {
        bool valid = false;
        std::uint32_t bits = 0;
        std::string text;
        // Takes the value's bits; true when the text must be formatted anew.
        bool changes(std::uint32_t valueBits) {
            if (valid && bits == valueBits) return false;
            bits = valueBits;
            valid = true;
            return true;
        }
    };
    enum class Form { Fixed, Magnitude };

    // Puts a text and colour into a label and marks it for repainting, unless
    // both are what it shows already.
    void showText(UI_Text& label, std::string_view text, platform::Colour colour);
    // Recolours a label, keeping its text.
    void showColour(UI_Text& label, platform::Colour colour);
    void showNumber(UI_Text& label, ReadoutCache& cache, float value, Form form,
                    platform::Colour colour);
    void showNumber(UI_Text& label, ReadoutCache& cache, std::int32_t value,
                    platform::Colour colour);
    // Replaces a label's text as a command does: always repainted.
    void replaceText(UI_Text& label, const char* text, bool erase);
    // The state texts of the COM number, the modes, automatic calibration and the OSC output.
    void showSettingTexts(bool onlyChanged);

    ReadoutCache sensorLoadCache_[8];
    ReadoutCache sensorMaxCache_[8];
    ReadoutCache upperAverageCache_;
    ReadoutCache lowerAverageCache_;
    ReadoutCache leftAverageCache_;
    ReadoutCache rightAverageCache_;
    ReadoutCache lowerMovingAverageCache_;
    ReadoutCache directionXCache_;
    ReadoutCache directionYCache_;
    ReadoutCache angleCache_;
    ReadoutCache thresholdLCache_;
    ReadoutCache thresholdFLCache_;
    ReadoutCache thresholdFRCache_;
    ReadoutCache thresholdRCache_;
    ReadoutCache walkFThresholdCache_;
    ReadoutCache walkSpeedFBCache_;
    ReadoutCache walkSpeedLRCache_;
    ReadoutCache rotationSpeedCache_;
    ReadoutCache stepCountCache_;
    // Some label was marked for repainting since the last refresh painted.
    bool paintPending_ = false;
    // A command runs: one that opened a modal loop (a message box, a file dialog) is still open,
    // and what reaches the window through that loop must not start another command inside it.
    bool commandRunning_ = false;
    // The module the widgets were made with, for the graph window.
    platform::NativeInstance instance_ = 0;
    // watchTray: when the next check is due, and since when no tray has held the icon.
    GraphWindow::Clock::time_point nextTrayCheck_{};
    std::optional<GraphWindow::Clock::time_point> trayMissingSince_;
    // A tray holds the icon as of the last check, and the pause before the next offer.
    bool trayConfirmed_ = false;
    GraphWindow::Clock::duration trayRetry_ = std::chrono::milliseconds(50);
    // Asks the window system for the program font's scale that fits the fixed texts in
    // their boxes (for a font wider than the layout's own).
    void fitTextToBoxes();
};

struct WalkState;

// The start-up load of tarvel.ini in the working folder, named whole from here on (the exit
// save goes there whatever the working folder is by then). It first removes the temporary files
// that killed saves left beside it. A file that is there but unusable (unreadable, or text
// without a single setting) is left alone: the settings come from tarvel.ini.new beside it when
// that file gives any (the defaults otherwise), and the exit save goes there. What happened is
// said on stderr and returned, for a message box; empty when the file could be used or is absent.
std::string loadStartSettings(WalkState& state);
// The exit save of ./tarvel.ini. A failure is told on stderr in one line with
// the system's reason ("tarvel: cannot save ./tarvel.ini: Permission denied").
bool saveExitSettings(const WalkState& state);

// Text forms of the read-outs: "%f" of the value widened to double; the same
// of its absolute value; "+" for values >= 0 (-0.0 included), "-" below 0 and
// for NaN; a signed decimal integer.
std::string fixedText(float value);
std::string magnitudeText(float value);
const char* signText(float value);
std::string decimalText(std::int32_t value);

// The state texts: the connection, the application mode (0 VR, any other
// desktop), the move mode (0 side-step, any other turn), automatic
// calibration (on only at exactly 1).
const char* connectionCaption(bool connected);
const char* linkStatusCaption(bool connected, bool framesArriving, bool recentLoss = false);
const char* appModeCaption(std::int32_t appMode);
const char* moveModeCaption(std::int32_t moveMode);
const char* autoCalibrationCaption(std::int32_t autoCalibration);
// The OSC output's switch: on only at exactly 1, as the output itself reads it.
const char* oscCaption(std::int32_t oscEnabled);
// The OpenXR layer's switch, read the same way.
const char* xrCaption(std::int32_t xrEnabled);
// The SteamVR driver's registration.
const char* steamVrCaption(bool registered);
