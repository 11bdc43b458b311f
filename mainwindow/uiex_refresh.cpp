// The live refresh: copies the results and settings of WalkState into the
// read-outs of the main window, with the colours that show walking, pending
// steps and which speeds apply in the current modes.
//
// The main loop calls it before every message and every pass, so it only
// touches what changed: a read-out whose value is unchanged is not formatted
// again, and a label whose text and colour are both what it shows already is
// not repainted (its repaint would draw the same pixels).
#include <bit>
#include <cmath>
#include <cstdio>

#include "analysis/walk_state.h"
#include "mainwindow/uiex.h"

std::string fixedText(float value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
    return buffer;
}

std::string magnitudeText(float value) {
    return fixedText(std::fabs(value));
}

const char* signText(float value) {
    return value >= 0.0f ? "+" : "-";
}

std::string decimalText(std::int32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
    return buffer;
}

void UIEx::showText(UI_Text& label, std::string_view text, platform::Colour colour) {
    const bool sameText = label.text == text;
    if (sameText && label.textColour == colour) return;
    if (!sameText) label.text.assign(text);
    label.textColour = colour;
    platform::windowSystem().invalidate(label.hwnd, false);
    paintPending_ = true;
}

void UIEx::showColour(UI_Text& label, platform::Colour colour) {
    showText(label, label.text, colour);
}

void UIEx::showNumber(UI_Text& label, ReadoutCache& cache, float value, Form form,
                      platform::Colour colour) {
    if (cache.changes(std::bit_cast<std::uint32_t>(value))) {
        cache.text = form == Form::Fixed ? fixedText(value) : magnitudeText(value);
    }
    showText(label, cache.text, colour);
}

void UIEx::showNumber(UI_Text& label, ReadoutCache& cache, std::int32_t value,
                      platform::Colour colour) {
    if (cache.changes(static_cast<std::uint32_t>(value))) cache.text = decimalText(value);
    showText(label, cache.text, colour);
}

void UIEx::refreshDisplay() {
    if (!shown) return;
    const WalkState& state = WalkState::instance();

    const bool walking = state.walking == 1;
    const platform::Colour sensorColour = walking ? kCyan : kWhite;
    const platform::Colour leftColour = walking && state.leftStepArmed != 0 ? kCyan : kWhite;
    const platform::Colour rightColour = walking && state.rightStepArmed != 0 ? kCyan : kWhite;
    for (int i = 0; i < 8; ++i) {
        showNumber(sensorLoadText[i], sensorLoadCache_[i], state.taredLoad[i], Form::Fixed,
                   sensorColour);
        showColour(sensorSlashText[i], sensorColour);
        showNumber(sensorMaxText[i], sensorMaxCache_[i], state.loadMax[i], Form::Fixed,
                   sensorColour);
    }

    showNumber(upperAverageText, upperAverageCache_, state.upperAverage, Form::Fixed,
               upperAverageText.textColour);
    showNumber(lowerAverageText, lowerAverageCache_, state.lowerAverage, Form::Fixed,
               lowerAverageText.textColour);
    showNumber(leftAverageText, leftAverageCache_, state.leftAverage, Form::Fixed, leftColour);
    showNumber(rightAverageText, rightAverageCache_, state.rightAverage, Form::Fixed, rightColour);
    showNumber(lowerMovingAverageText, lowerMovingAverageCache_, state.lowerMovingAverage,
               Form::Fixed, lowerMovingAverageText.textColour);
    showText(directionXSignText, signText(state.directionX), directionXSignText.textColour);
    showNumber(directionXText, directionXCache_, state.directionX, Form::Magnitude,
               directionXText.textColour);
    showText(directionYSignText, signText(state.directionY), directionYSignText.textColour);
    showNumber(directionYText, directionYCache_, state.directionY, Form::Magnitude,
               directionYText.textColour);
    showText(angleSignText, signText(state.angle), angleSignText.textColour);
    showNumber(angleText, angleCache_, state.angle, Form::Magnitude, angleText.textColour);
    showNumber(thresholdLText, thresholdLCache_, state.thresholdL, Form::Magnitude,
               thresholdLText.textColour);
    showNumber(thresholdFLText, thresholdFLCache_, state.thresholdFL, Form::Magnitude,
               thresholdFLText.textColour);
    showNumber(thresholdFRText, thresholdFRCache_, state.thresholdFR, Form::Magnitude,
               thresholdFRText.textColour);
    showNumber(thresholdRText, thresholdRCache_, state.thresholdR, Form::Magnitude,
               thresholdRText.textColour);
    showNumber(walkFThresholdText, walkFThresholdCache_, state.walkFThreshold, Form::Magnitude,
               walkFThresholdText.textColour);

    // A speed shows grey while the modes leave it without effect.
    const platform::Colour forwardColour = state.appMode != 0 ? kGrey : kWhite;
    const platform::Colour sideColour = state.appMode != 0 || state.moveMode != 0 ? kGrey : kWhite;
    const platform::Colour turnColour = state.moveMode != 0 ? kWhite : kGrey;
    showColour(walkSpeedFBLabel, forwardColour);
    showNumber(walkSpeedFBText, walkSpeedFBCache_, state.walkSpeedFB, Form::Magnitude,
               forwardColour);
    showColour(walkSpeedLRLabel, sideColour);
    showNumber(walkSpeedLRText, walkSpeedLRCache_, state.walkSpeedLR, Form::Magnitude, sideColour);
    showColour(rotationSpeedLabel, turnColour);
    showNumber(rotationSpeedText, rotationSpeedCache_, state.rotationSpeed, Form::Magnitude,
               turnColour);

    showNumber(stepCountText, stepCountCache_, state.numStep, stepCountText.textColour);

    if (paintPending_) {
        paintPending_ = false;
        platform::windowSystem().update(hwnd);
    }
}
