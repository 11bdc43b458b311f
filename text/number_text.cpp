// The number conversions: a fast exact reader of plain decimals shared by both atof forms, and
// behind it std::from_chars (the same everywhere) or the system's strtod.
#include "text/number_text.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <optional>

#include "text/ascii.h"

namespace text {

namespace {

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// atof of `text` up to `end`: the plain form [blanks][sign]digits[.digits], the one the
// controller sends, is converted here; any other text (exponents, hex, inf/nan, no digits,
// long mantissas) is left to `other`, called with no argument. With at most 2^53 as the digit
// value and at most 22 decimals, one correctly rounded division gives exactly what strtod
// gives.
template <class Other>
double plainDecimalOr(const char* p, const char* end, Other other) {
    while (p < end && isBlank(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    std::uint64_t mantissa = 0;
    int significant = 0;
    int decimals = 0;
    bool anyDigit = false;
    while (p < end && isDigit(*p)) {
        anyDigit = true;
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        if (mantissa != 0) ++significant;  // leading zeros are not significant
        ++p;
        if (significant > 16) return other();
    }
    if (p < end && *p == '.') {
        ++p;
        while (p < end && isDigit(*p)) {
            anyDigit = true;
            mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
            if (mantissa != 0) ++significant;
            ++decimals;
            ++p;
            if (significant > 16 || decimals > 22) return other();
        }
    }
    if (!anyDigit) return other();
    // Only an exponent or a hex prefix ("0x") can continue the number.
    if (p < end && (*p == 'e' || *p == 'E' || *p == 'x' || *p == 'X')) return other();
    if (mantissa > (std::uint64_t{1} << 53)) return other();
    const double value = static_cast<double>(mantissa) / kPow10[decimals];
    return negative ? -value : value;
}

bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// For a number that from_chars found out of range: whether it is too large (rather than too
// small), judged from the position of its leading digit and its exponent.
bool tooLarge(std::string_view number, bool hex) {
    std::size_t mark = number.find_first_of(hex ? "pP" : "eE");
    std::string_view mantissa = number.substr(0, mark);
    long long exponent = 0;
    if (mark != std::string_view::npos) {
        std::string_view e = number.substr(mark + 1);
        bool negative = !e.empty() && e.front() == '-';
        if (!e.empty() && (e.front() == '-' || e.front() == '+')) e.remove_prefix(1);
        for (char c : e) exponent = std::min(exponent * 10 + (c - '0'), 1'000'000'000LL);
        if (negative) exponent = -exponent;
    }
    std::size_t point = mantissa.find('.');
    std::size_t integerDigits = point == std::string_view::npos ? mantissa.size() : point;
    long long lead = 0;  // power of the base at the leading non-zero digit
    for (std::size_t i = 0; i < mantissa.size(); ++i) {
        if (mantissa[i] == '.' || mantissa[i] == '0') continue;
        lead = i < integerDigits ? static_cast<long long>(integerDigits - i - 1)
                                 : -static_cast<long long>(i - integerDigits);
        break;
    }
    return (hex ? lead * 4 : lead) + exponent > 0;
}

// The magnitude of the number at the start of `s` (no sign), or nothing when none is there.
std::optional<double> parseMagnitude(std::string_view s) {
    bool hex = s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    if (hex) {
        std::string_view digits = s.substr(2);
        bool hasDigits =
            !digits.empty() && (isHexDigit(digits[0]) ||
                                (digits[0] == '.' && digits.size() > 1 && isHexDigit(digits[1])));
        if (!hasDigits) return 0.0;  // just the "0" before the "x"
        s = digits;
    } else if (s.empty() || s.front() == '-' || s.front() == '+') {
        return std::nullopt;
    }
    double value = 0.0;
    auto format = hex ? std::chars_format::hex : std::chars_format::general;
    auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value, format);
    if (error == std::errc::invalid_argument) return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        return tooLarge(s.substr(0, static_cast<std::size_t>(end - s.data())), hex)
                   ? std::numeric_limits<double>::infinity()
                   : 0.0;
    }
    return value;
}

}  // namespace

std::int32_t textToInt(std::string_view text) {
    std::string_view s = trimLeadingBlanks(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    constexpr long long kLimit = 1LL << 31;  // saturate beyond the 32-bit range
    long long magnitude = 0;
    for (char c : s) {
        if (!isDigit(c)) break;
        magnitude = std::min(magnitude * 10 + (c - '0'), kLimit);
    }
    long long value = negative ? -magnitude : magnitude;
    value = std::clamp<long long>(value, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(value);
}

double textToDouble(std::string_view text) {
    return plainDecimalOr(text.data(), text.data() + text.size(), [text] {
        std::string_view s = trimLeadingBlanks(text);
        bool negative = false;
        if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
            negative = s.front() == '-';
            s.remove_prefix(1);
        }
        std::optional<double> magnitude = parseMagnitude(s);
        if (!magnitude) return 0.0;
        return negative ? -*magnitude : *magnitude;
    });
}

double systemAtof(const char* text, std::size_t length) {
    return plainDecimalOr(text, text + length, [text] { return std::strtod(text, nullptr); });
}

float roundToFloat(double value) {
    // Halfway between the largest float and the next power of two, and beyond, rounds to
    // infinity; the plain conversion of such values is not defined by the language.
    constexpr double kOverflow = 0x1.ffffffp127;
    if (value >= kOverflow) return std::numeric_limits<float>::infinity();
    if (value <= -kOverflow) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

}  // namespace text
