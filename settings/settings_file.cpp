// Load and save of the settings file: the table of the 24 keys with their defaults and forced
// ranges, the conversions of their values, and the file's exact text.
#include "settings/settings_file.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <type_traits>

#include "platform/file_replace.h"
#include "platform/ini.h"
#include "settings/number_text.h"

namespace {

// The range a loaded value is forced into; `limited` false for settings taken as they are.
struct Range {
    bool limited = false;
    float low = 0.0f;
    float high = 0.0f;
};

constexpr Range between(float low, float high) {
    return {true, low, high};
}

// Calls `visit(section, key, loadDefault, field, range)` for every setting in the file's order
// (the save writes them in this order; the load reads them in it).
template <class State, class Visit>
void forEachSetting(State& s, Visit&& visit) {
    static constexpr const char* kLoadMaxKeys[8] = {"loadMax0", "loadMax1", "loadMax2", "loadMax3",
                                                    "loadMax4", "loadMax5", "loadMax6", "loadMax7"};
    visit("param", "comID", "3", s.comID, Range{});
    visit("param", "autoCalibration", "0", s.autoCalibration, Range{});
    for (int i = 0; i < 8; ++i) visit("param", kLoadMaxKeys[i], "10.0", s.loadMax[i], Range{});
    visit("param", "walkFThreshold", "0.3", s.walkFThreshold, between(0.0f, 1.0f));
    visit("param", "thresholdFL", "-12.5", s.thresholdFL, between(-20.0f, -10.0f));
    visit("param", "thresholdFR", "12.5", s.thresholdFR, between(10.0f, 20.0f));
    visit("param", "thresholdL", "-20.0", s.thresholdL, between(-45.0f, -20.0f));
    visit("param", "thresholdR", "20.0", s.thresholdR, between(20.0f, 45.0f));
    visit("param", "walkSpeedFB", "0.25", s.walkSpeedFB, between(0.0f, 1.0f));
    visit("param", "walkSpeedLR", "0.08", s.walkSpeedLR, between(0.0f, 1.0f));
    visit("param", "rotationSpeed", "0.15", s.rotationSpeed, between(0.0f, 1.0f));
    visit("param", "numStep", "0", s.numStep, Range{});
    visit("emulation", "appMode", "0", s.appMode, Range{});
    visit("emulation", "moveMode", "0", s.moveMode, Range{});
    visit("emulation", "moveFrontKeyCode", "87", s.moveFrontKeyCode, Range{});
    visit("emulation", "moveLeftKeyCode", "65", s.moveLeftKeyCode, Range{});
    visit("emulation", "moveRightKeyCode", "68", s.moveRightKeyCode, Range{});
}

float loadDecimal(const std::string& text, Range range) {
    double parsed = settings::textToDouble(text);
    // "nan" counts as text without a number: a NaN setting would silently stop the walk
    // detection and the key emulation, and be saved and loaded again forever.
    if (std::isnan(parsed)) parsed = 0.0;
    float value = settings::roundToFloat(parsed);
    if (range.limited) {
        if (value <= range.low) {
            value = range.low;
        } else if (value >= range.high) {
            value = range.high;
        }
    }
    return value;
}

// "%d" and "%.2f" (of the float widened to double) in the classic locale.
void appendNumber(std::string& out, std::int32_t value) {
    char buffer[16];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendNumber(std::string& out, float value) {
    char buffer[64];  // the largest float has 39 digits before the point
    auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                std::chars_format::fixed, 2);
    out.append(buffer, result.ptr);
}

}  // namespace

void loadSettings(const std::string& path, WalkState& state) {
    platform::IniFile file(path);
    forEachSetting(state, [&](const char* section, const char* key, const char* loadDefault,
                              auto& field, Range range) {
        std::string text = file.value(section, key, loadDefault);
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(field)>, float>) {
            field = loadDecimal(text, range);
        } else {
            field = settings::textToInt(text);
        }
    });
}

std::string formatSettings(const WalkState& state) {
    std::string text;
    std::string_view currentSection;
    forEachSetting(
        state, [&](const char* section, const char* key, const char*, const auto& field, Range) {
            if (currentSection != section) {
                currentSection = section;
                text += '[';
                text += section;
                text += "]\r\n";
            }
            text += key;
            text += '=';
            appendNumber(text, field);
            text += "\r\n";
        });
    return text;
}

bool saveSettings(const std::string& path, const WalkState& state, std::string* failure) {
    return platform::replaceFileContents(path, formatSettings(state), failure);
}
