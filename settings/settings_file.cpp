// Load and save of the settings file over the table of its keys: the conversions of the values
// and the file's exact text.
#include "settings/settings_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/file_replace.h"
#include "platform/ini.h"
#include "settings/setting_table.h"
#include "text/ipv4_text.h"
#include "text/number_text.h"

namespace {

using settings::kSettings;
using settings::Range;
using settings::Setting;

// "nan" and "inf", and numbers beyond the float range, count as text without a number: a NaN
// setting would silently stop the walk detection and the key emulation, an infinite maximum
// would make the outputs infinite, and either would be saved and loaded again forever.
float loadDecimal(const std::string& valueText, Range range) {
    float value = text::roundToFloat(text::textToDouble(valueText));
    if (!std::isfinite(value)) value = 0.0f;
    return range.clamp(value);
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

// A text setting: the value when the setting takes it and it fits the field, else the default.
void loadText(const std::string& valueText, const Setting& s, char* field) {
    constexpr std::size_t kCapacity = WalkState::kHostTextSize;
    const bool fits = valueText.size() < kCapacity && valueText.find('\0') == std::string::npos;
    const bool taken = fits && (s.accepts == nullptr || s.accepts(valueText));
    const std::string_view value = taken ? std::string_view(valueText) : s.loadDefault;
    std::memset(field, 0, kCapacity);
    std::memcpy(field, value.data(), std::min(value.size(), kCapacity - 1));
}

}  // namespace

bool settings::isIPv4Text(std::string_view value) {
    return text::parseIPv4(value).has_value();
}

void loadSettings(const std::string& path, WalkState& state) {
    platform::IniFile file(path);
    for (const Setting& s : kSettings) {
        const std::string valueText = file.value(s.section, s.key, s.loadDefault);
        if (std::int32_t* integer = s.field.integerIn(state)) {
            *integer = s.range.clamp(text::textToInt(valueText));
        } else if (char* field = s.field.textIn(state)) {
            loadText(valueText, s, field);
        } else {
            *s.field.decimalIn(state) = loadDecimal(valueText, s.range);
        }
    }
}

std::string formatSettings(const WalkState& state) {
    std::string text;
    std::string_view currentSection;
    for (const Setting& s : kSettings) {
        if (currentSection != s.section) {
            currentSection = s.section;
            text += '[';
            text += s.section;
            text += "]\r\n";
        }
        text += s.key;
        text += '=';
        if (const std::int32_t* integer = s.field.integerIn(state)) {
            appendNumber(text, *integer);
        } else if (const char* field = s.field.textIn(state)) {
            text.append(field, std::find(field, field + WalkState::kHostTextSize, '\0'));
        } else {
            appendNumber(text, *s.field.decimalIn(state));
        }
        text += "\r\n";
    }
    return text;
}

bool saveSettings(const std::string& path, const WalkState& state, std::string* failure) {
    return platform::replaceFileContents(path, formatSettings(state), failure);
}
