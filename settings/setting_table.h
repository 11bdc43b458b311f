// The settings in one table: file section and key, WalkState field, the default the load uses
// when the file lacks the key, the range of the values the load takes and the ＋/－ buttons
// clamp to, and the buttons' step. The file is written in the table's order: the 25 settings of
// [param] and [emulation] first, then those of the OSC output, of the OpenXR layer's block and of
// the speed from the step rate, so the first 27 lines of the file are the same whatever the
// outputs' settings are.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

#include "analysis/walk_state.h"

namespace settings {

// A value at or below `low` becomes `low`, one at or above `high` becomes `high`. The default
// range leaves every finite value as it is.
struct Range {
    float low = -std::numeric_limits<float>::infinity();
    float high = std::numeric_limits<float>::infinity();

    constexpr float clamp(float value) const {
        if (value <= low) return low;
        if (value >= high) return high;
        return value;
    }
    // The same for an integer setting, compared exactly (in double); the ends of a range for
    // integers are whole numbers.
    constexpr std::int32_t clamp(std::int32_t value) const {
        if (static_cast<double>(value) <= static_cast<double>(low)) {
            return static_cast<std::int32_t>(low);
        }
        if (static_cast<double>(value) >= static_cast<double>(high)) {
            return static_cast<std::int32_t>(high);
        }
        return value;
    }
    constexpr bool contains(double value) const { return value >= low && value <= high; }
};

// What the load does with a value outside a setting's range.
enum class OutOfRange {
    Clamp,    // the nearer end of the range
    Default,  // the default, with a line on stderr: a destination port pulled to 1 or 65535
              // would send to a port nobody listens on. So does text without a digit.
};

// A text setting's field: a NUL-terminated string of at most kHostTextSize - 1 characters.
using TextField = char (WalkState::*)[WalkState::kHostTextSize];

// Where a setting lives in WalkState: an integer field, a decimal field, one sensor's loadMax or
// a text field.
struct Field {
    std::int32_t WalkState::*integer = nullptr;
    float WalkState::*decimal = nullptr;
    int loadMaxIndex = -1;
    TextField text = nullptr;

    // The field in `s` (a WalkState, const or not), or null when the setting is of another
    // type.
    template <class State>
    constexpr auto* integerIn(State& s) const {
        return integer ? &(s.*integer) : nullptr;
    }
    template <class State>
    constexpr auto* decimalIn(State& s) const {
        return decimal ? &(s.*decimal) : loadMaxIndex >= 0 ? &s.loadMax[loadMaxIndex] : nullptr;
    }
    // The first character of the text field in `s`, or null.
    template <class State>
    constexpr auto* textIn(State& s) const {
        return text ? &(s.*text)[0] : nullptr;
    }
};

constexpr Field integer(std::int32_t WalkState::*field) {
    return {field, nullptr, -1, nullptr};
}
constexpr Field decimal(float WalkState::*field) {
    return {nullptr, field, -1, nullptr};
}
constexpr Field loadMax(int sensor) {
    return {nullptr, nullptr, sensor, nullptr};
}
constexpr Field text(TextField field) {
    return {nullptr, nullptr, -1, field};
}

// Whether a value is a dotted IPv4 address (no name is ever looked up).
bool isIPv4Text(std::string_view value);

struct Setting {
    const char* section;
    const char* key;
    Field field;
    const char* loadDefault;
    Range range = {};   // forced on load
    double step = 0.0;  // of the ＋/－ buttons; 0 for a setting without buttons
    // Text settings: the values the load takes; any other value (or one too long for the
    // field) gives the default, with a line on stderr. Null takes every value that fits.
    bool (*accepts)(std::string_view) = nullptr;
    OutOfRange outOfRange = OutOfRange::Clamp;
    // The ＋/－ buttons' range of an integer setting whose load forces none (comID): ＋ stops at
    // its top, － at its bottom, and a value loaded beyond either end is left to the buttons.
    Range buttons = {};
};

inline constexpr Setting kSettings[] = {
    {.section = "param",
     .key = "comID",
     .field = integer(&WalkState::comID),
     .loadDefault = "3",
     .step = 1.0,
     .buttons = {0.0f, 256.0f}},
    {"param", "autoCalibration", integer(&WalkState::autoCalibration), "0"},
    {"param", "loadMax0", loadMax(0), "10.0"},
    {"param", "loadMax1", loadMax(1), "10.0"},
    {"param", "loadMax2", loadMax(2), "10.0"},
    {"param", "loadMax3", loadMax(3), "10.0"},
    {"param", "loadMax4", loadMax(4), "10.0"},
    {"param", "loadMax5", loadMax(5), "10.0"},
    {"param", "loadMax6", loadMax(6), "10.0"},
    {"param", "loadMax7", loadMax(7), "10.0"},
    {"param", "walkFThreshold", decimal(&WalkState::walkFThreshold), "0.3", {0.0f, 1.0f}, 0.01},
    {"param", "thresholdFL", decimal(&WalkState::thresholdFL), "-12.5", {-20.0f, -10.0f}, 1.0},
    {"param", "thresholdFR", decimal(&WalkState::thresholdFR), "12.5", {10.0f, 20.0f}, 1.0},
    {"param", "thresholdL", decimal(&WalkState::thresholdL), "-20.0", {-45.0f, -20.0f}, 1.0},
    {"param", "thresholdR", decimal(&WalkState::thresholdR), "20.0", {20.0f, 45.0f}, 1.0},
    {"param", "walkSpeedFB", decimal(&WalkState::walkSpeedFB), "0.25", {0.0f, 1.0f}, 0.01},
    {"param", "walkSpeedLR", decimal(&WalkState::walkSpeedLR), "0.08", {0.0f, 1.0f}, 0.01},
    {"param", "rotationSpeed", decimal(&WalkState::rotationSpeed), "0.15", {0.0f, 1.0f}, 0.01},
    {"param", "numStep", integer(&WalkState::numStep), "0"},
    {"emulation", "appMode", integer(&WalkState::appMode), "0"},
    {"emulation", "moveMode", integer(&WalkState::moveMode), "0"},
    {"emulation", "moveFrontKeyCode", integer(&WalkState::moveFrontKeyCode), "87"},
    {"emulation", "moveLeftKeyCode", integer(&WalkState::moveLeftKeyCode), "65"},
    {"emulation", "moveRightKeyCode", integer(&WalkState::moveRightKeyCode), "68"},
    // Held with the front key at runCadence and above; 16 is Shift.
    {"emulation", "runKeyCode", integer(&WalkState::runKeyCode), "0"},
    {"osc", "enabled", integer(&WalkState::oscEnabled), "0", {0.0f, 1.0f}},
    {"osc", "host", text(&WalkState::oscHost), "127.0.0.1", {}, 0.0, isIPv4Text},
    // VRChat's own input port.
    {.section = "osc",
     .key = "port",
     .field = integer(&WalkState::oscPort),
     .loadDefault = "9000",
     .range = {1.0f, 65535.0f},
     .outOfRange = OutOfRange::Default},
    {"openxr", "enabled", integer(&WalkState::xrEnabled), "0", {0.0f, 1.0f}},
    // The speed curve over the cadence; 100 steps a minute is the simulator's walk.
    {.section = "walk",
     .key = "cadenceSpeed",
     .field = integer(&WalkState::cadenceSpeed),
     .loadDefault = "1",
     .range = {0.0f, 1.0f},
     .outOfRange = OutOfRange::Default},
    {.section = "walk",
     .key = "walkCadence",
     .field = decimal(&WalkState::walkCadence),
     .loadDefault = "100",
     .range = {20.0f, 300.0f},
     .outOfRange = OutOfRange::Default},
    {.section = "walk",
     .key = "runCadence",
     .field = decimal(&WalkState::runCadence),
     .loadDefault = "170",
     .range = {20.0f, 300.0f},
     .outOfRange = OutOfRange::Default},
    {.section = "walk",
     .key = "runSpeed",
     .field = decimal(&WalkState::runSpeed),
     .loadDefault = "1.0",
     .range = {0.0f, 1.0f},
     .outOfRange = OutOfRange::Default},
};

// The row of a field, found while compiling: a field without a row does not compile.
consteval const Setting& settingOf(float WalkState::*field) {
    for (const Setting& s : kSettings) {
        if (s.field.decimal == field) return s;
    }
    throw "no setting for this field";
}
consteval const Setting& settingOf(std::int32_t WalkState::*field) {
    for (const Setting& s : kSettings) {
        if (s.field.integer == field) return s;
    }
    throw "no setting for this field";
}
consteval const Setting& settingOf(TextField field) {
    for (const Setting& s : kSettings) {
        if (s.field.text == field) return s;
    }
    throw "no setting for this field";
}

// The default of an integer setting as a number ("-12" gives -12).
consteval std::int32_t integerDefault(const Setting& s) {
    const char* c = s.loadDefault;
    const bool negative = *c == '-';
    if (negative) ++c;
    std::int32_t value = 0;
    for (; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9') throw "an integer default holds only digits";
        value = value * 10 + (*c - '0');
    }
    return negative ? -value : value;
}

// A load tells a key the file holds from one it lacks by the default it gets back, so no
// default may be empty.
static_assert(std::ranges::none_of(kSettings,
                                   [](const Setting& s) { return *s.loadDefault == '\0'; }));

}  // namespace settings
