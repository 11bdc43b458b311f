// Load and save of the settings file over the table of its keys: the conversions of the values
// and the file's exact text.
#include "settings/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "platform/file_names.h"
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

// One line on stderr for a value the load did not take: "tarvel: ./tarvel.ini: [osc]
// port=70000 cannot be used, 9000 instead". Control characters of the value show as "?".
void reportRejected(const std::string& path, const Setting& s, const std::string& valueText) {
    std::string shown = valueText;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    std::fprintf(stderr, "tarvel: %s: [%s] %s=%s cannot be used, %s instead\n", path.c_str(),
                 s.section, s.key, shown.c_str(), s.loadDefault);
}

// Whether a setting that takes no value outside its range gets text without any digit: such a
// value is not a number at all.
bool lacksNumber(const Setting& s, const std::string& valueText) {
    return s.outOfRange == settings::OutOfRange::Default &&
           std::none_of(valueText.begin(), valueText.end(),
                        [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal setting: forced into its range, or for a setting that takes no value outside it, the
// default with a line on stderr.
float loadDecimal(const std::string& valueText, const Setting& s, const std::string& path) {
    float value = text::roundToFloat(text::textToDouble(valueText));
    if (s.outOfRange == settings::OutOfRange::Default &&
        (!std::isfinite(value) || !s.range.contains(value) || lacksNumber(s, valueText))) {
        reportRejected(path, s, valueText);
        return text::roundToFloat(text::textToDouble(s.loadDefault));
    }
    if (!std::isfinite(value)) value = 0.0f;
    return s.range.clamp(value);
}

// An integer setting: the value forced into the setting's range, or the default for a value
// outside a range that takes no other value.
std::int32_t loadInteger(const std::string& valueText, const Setting& s, const std::string& path) {
    const std::int32_t value = text::textToInt(valueText);
    if (s.outOfRange == settings::OutOfRange::Default &&
        (!s.range.contains(value) || lacksNumber(s, valueText))) {
        reportRejected(path, s, valueText);
        return text::textToInt(s.loadDefault);
    }
    return s.range.clamp(value);
}

// A text setting: the value when the setting takes it and it fits the field, else the default.
void loadText(const std::string& valueText, const Setting& s, char* field,
              const std::string& path) {
    constexpr std::size_t kCapacity = WalkState::kHostTextSize;
    const bool fits = valueText.size() < kCapacity && valueText.find('\0') == std::string::npos;
    const bool taken = fits && (s.accepts == nullptr || s.accepts(valueText));
    if (!taken) reportRejected(path, s, valueText);
    const std::string_view value = taken ? std::string_view(valueText) : s.loadDefault;
    std::memset(field, 0, kCapacity);
    std::memcpy(field, value.data(), std::min(value.size(), kCapacity - 1));
}

// For a file in which no key was found: whether it is there but unusable, and why. A missing,
// empty or irregular file (a folder, a pipe: never opened here) is simply one without settings.
SettingsLoad checkWithoutKeys(const std::string& path) {
    std::error_code error;
    const std::filesystem::path name = platform::fileSystemPath(path);
    if (!std::filesystem::exists(name, error)) return {false, false, "does not exist"};
    if (!std::filesystem::is_regular_file(name, error)) return {false, false, "is not a file"};
    std::FILE* file = platform::openFile(path, "rb");
    if (file == nullptr) {
        if (errno == ENOENT) return {false, false, "does not exist"};
        return {false, true, std::string("cannot be read (") + std::strerror(errno) + ")"};
    }
    const bool empty = std::fgetc(file) == EOF;
    std::fclose(file);
    if (empty) return {false, false, "is empty"};
    return {false, true,
            "holds no setting this program can read (lines ended by CR alone, or an encoding "
            "other than ASCII, UTF-8 or UTF-16 with its byte-order mark?)"};
}

}  // namespace

bool settings::isIPv4Text(std::string_view value) {
    return text::parseIPv4(value).has_value();
}

SettingsLoad loadSettings(const std::string& path, WalkState& state) {
    platform::IniFile file(path);
    bool anyKey = false;
    for (const Setting& s : kSettings) {
        const std::string valueText = file.value(s.section, s.key, s.loadDefault);
        // A key the file lacks gives its default, so another default tells which it is.
        anyKey = anyKey || file.value(s.section, s.key, "") == valueText;
        if (std::int32_t* integer = s.field.integerIn(state)) {
            *integer = loadInteger(valueText, s, path);
        } else if (char* field = s.field.textIn(state)) {
            loadText(valueText, s, field, path);
        } else {
            *s.field.decimalIn(state) = loadDecimal(valueText, s, path);
        }
    }
    return anyKey ? SettingsLoad{.found = true, .unusable = false, .problem = {}}
                  : checkWithoutKeys(path);
}

SettingsLoad loadChosenSettings(const std::string& path, WalkState& state) {
    WalkState loaded = state;
    const SettingsLoad result = loadSettings(path, loaded);
    if (!result.found) return result;
    for (const Setting& s : kSettings) {
        if (std::int32_t* integer = s.field.integerIn(state)) {
            *integer = *s.field.integerIn(loaded);
        } else if (char* field = s.field.textIn(state)) {
            std::memcpy(field, s.field.textIn(loaded), WalkState::kHostTextSize);
        } else {
            *s.field.decimalIn(state) = *s.field.decimalIn(loaded);
        }
    }
    return result;
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
