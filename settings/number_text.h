// Text-to-number conversions of the settings file, with the C library's atoi and atof rules
// but independent of the process's locale (a "." is always the decimal point).
#pragma once

#include <cstdint>
#include <string_view>

namespace settings {

// Leading blanks skipped, an optional sign, then decimal digits up to the first other
// character; no digits give 0 ("3.9" gives 3, "12abc" 12, "abc" 0). A number beyond the
// 32-bit range gives the nearest end of the range.
std::int32_t textToInt(std::string_view text);

// strtod in the classic "C" locale: leading blanks skipped, an optional sign, then a decimal
// number with optional fraction and exponent, a hexadecimal number ("0x1.8p3"), "inf",
// "infinity" or "nan"; text without a number gives 0.0. Too large a number gives an infinity,
// too small a one zero.
double textToDouble(std::string_view text);

// The double rounded to the nearest float, with infinities for values beyond the float range.
float roundToFloat(double value);

}  // namespace settings
