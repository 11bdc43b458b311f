// Text-to-number conversions with the C library's atoi and atof rules, "." always the decimal
// point: one decimal reader for the controller's stream and the settings file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace text {

// Leading blanks skipped, an optional sign, then decimal digits up to the first other
// character; no digits give 0 ("3.9" gives 3, "12abc" 12, "abc" 0). A number beyond the
// 32-bit range gives the nearest end of the range.
std::int32_t textToInt(std::string_view text);

// strtod in the classic "C" locale, with the same result on every system: leading blanks
// skipped, an optional sign, then a decimal number with optional fraction and exponent, a
// hexadecimal number ("0x1.8p3"), "inf", "infinity" or "nan"; text without a number gives 0.0.
// Too large a number gives an infinity, too small a one zero.
double textToDouble(std::string_view text);

// The system C library's atof of `text`, which ends with a NUL at `length`, bit for bit (the
// program never changes LC_NUMERIC, so "." is the decimal point). Plain decimals, the form the
// controller sends, are converted here without the C library, quickly and with the same
// result; any other text is left to it, since the libraries disagree on some (msvcrt reads
// "-." as -0, glibc as +0).
double systemAtof(const char* text, std::size_t length);

// The double rounded to the nearest float, with infinities for values beyond the float range.
float roundToFloat(double value);

}  // namespace text
