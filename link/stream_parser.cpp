// The controller stream's field splitter and the classic-locale decimal
// conversion it stores each field with (values beyond float become infinite).
#include "link/stream_parser.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "settings/number_text.h"

StreamParser::StreamParser() : text_(std::make_unique<char[]>(kMaxFieldLength + 1)) {}

bool StreamParser::endField(std::uint8_t byte, Field& out) {
    // "!" starts a frame: whatever text is pending is stored as field 0.
    const bool frameStart = byte == '!';
    if (frameStart) index_ = 0;
    // An empty field is not counted: runs of separators act as one.
    if (length_ == 0) return false;
    // A field longer than the buffer is dropped whole, but it still takes its
    // place in the frame so the fields after it land where they belong.
    const bool store = !overlong_;
    if (store) {
        text_[length_] = '\0';
        out.index = index_;
        out.value = settings::roundToFloat(parseDecimal(text_.get(), length_));
    }
    length_ = 0;
    overlong_ = false;
    index_ = (frameStart || index_ == 8) ? 0 : index_ + 1;
    return store;
}

namespace {

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

bool isCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

double parseDecimal(const char* text, std::size_t length) {
    // Fast path for the plain form the controller sends: [blanks][sign]digits
    // [.digits]. With at most 2^53 as the digit value and at most 22 decimals
    // one correctly rounded division gives exactly what strtod gives. Anything
    // else (exponents, hex, inf/nan, long mantissas) goes to the C library,
    // which runs in the classic locale because the program never changes
    // LC_NUMERIC.
    const char* p = text;
    const char* end = text + length;
    while (p < end && isCSpace(*p)) ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    std::uint64_t mantissa = 0;
    int significant = 0;
    int decimals = 0;
    bool anyDigit = false;
    while (p < end && isDigit(*p)) {
        anyDigit = true;
        if (mantissa != 0 || *p != '0') ++significant;
        mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
        ++p;
        if (significant > 16) return std::strtod(text, nullptr);
    }
    if (p < end && *p == '.') {
        ++p;
        while (p < end && isDigit(*p)) {
            anyDigit = true;
            if (mantissa != 0 || *p != '0') ++significant;
            mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
            ++decimals;
            ++p;
            if (significant > 16 || decimals > 22) return std::strtod(text, nullptr);
        }
    }
    if (!anyDigit) {
        // No number here at all ("", "-", "abc"), unless the C library reads
        // "inf", "nan" or the like.
        return std::strtod(text, nullptr);
    }
    if (p < end) {
        // Only an exponent or a hex prefix ("0x") can continue the number.
        const char c = *p;
        if (c == 'e' || c == 'E' || c == 'x' || c == 'X') return std::strtod(text, nullptr);
    }
    if (mantissa > (std::uint64_t{1} << 53)) return std::strtod(text, nullptr);
    double value = static_cast<double>(mantissa) / kPow10[decimals];
    return negative ? -value : value;
}
