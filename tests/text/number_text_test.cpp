// Tests of the atoi and atof conversions: the C library's results (in the "C" locale, which the
// tests run in) on tricky and on random texts, and the conversion to float.
#include "text/number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

using text::roundToFloat;
using text::systemAtof;
using text::textToDouble;
using text::textToInt;

TEST(TextToInt, FollowsAtoi) {
    EXPECT_EQ(textToInt("12abc"), 12);
    EXPECT_EQ(textToInt("abc"), 0);
    EXPECT_EQ(textToInt("3.9"), 3);
    EXPECT_EQ(textToInt(" \t-7"), -7);
    EXPECT_EQ(textToInt("+5"), 5);
    EXPECT_EQ(textToInt("- 5"), 0);
    EXPECT_EQ(textToInt("--5"), 0);
    EXPECT_EQ(textToInt(""), 0);
    EXPECT_EQ(textToInt("0x10"), 0);
    EXPECT_EQ(textToInt("007"), 7);
    EXPECT_EQ(textToInt("2147483647"), INT_MAX);
    EXPECT_EQ(textToInt("-2147483648"), INT_MIN);
}

TEST(TextToInt, SaturatesBeyondTheRange) {
    EXPECT_EQ(textToInt("2147483648"), INT_MAX);
    EXPECT_EQ(textToInt("-2147483649"), INT_MIN);
    EXPECT_EQ(textToInt("99999999999999999999999999"), INT_MAX);
    EXPECT_EQ(textToInt("-99999999999999999999999999"), INT_MIN);
}

// Same value, same sign of zero, NaN for NaN.
void expectSameAsStrtod(const std::string& text) {
    double expected = std::strtod(text.c_str(), nullptr);
    double actual = textToDouble(text);
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << '"' << text << '"';
        EXPECT_EQ(std::signbit(actual), std::signbit(expected)) << '"' << text << '"';
    } else {
        EXPECT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0)
            << '"' << text << "\" gives " << actual << ", strtod " << expected;
    }
}

TEST(TextToDouble, AgreesWithStrtodOnTrickyTexts) {
    for (const char* text : {"0.3",
                             "-12.5",
                             " \t 20.0",
                             "+0.25",
                             "1.5abc",
                             "abc",
                             "",
                             "-",
                             "+",
                             ".",
                             "-.",
                             ".5",
                             "5.",
                             "-0",
                             "-0.0",
                             "-abc",
                             "--1",
                             "+-1",
                             "1e3",
                             "1E-3",
                             "1e",
                             "1e+",
                             "1e+x",
                             "2.5e-1x",
                             "1e400",
                             "-1e400",
                             "1e-400",
                             "-1e-400",
                             "4e-320",
                             "1e308",
                             "1.8e308",
                             "0.0e999999",
                             "123456789012345678901234567890",
                             "0.000000000000000000000000000001e-300",
                             "inf",
                             "-inf",
                             "INF",
                             "Infinity",
                             "infinit",
                             "infx",
                             "nan",
                             "-nan",
                             "NaN",
                             "nan(123)",
                             "nan(",
                             "nanx",
                             "0x10",
                             "0X1p4",
                             "-0x1.8p1",
                             "0x.8",
                             "0x",
                             "0xg",
                             "-0x",
                             "0x1p",
                             "0xp3",
                             "0x1p99999",
                             "0x1p-99999",
                             "0x1.fffffffffffff8p1023",
                             "0xinf",
                             "00012",
                             "1,5",
                             "1_000",
                             "\v\f\r\n7"}) {
        expectSameAsStrtod(text);
    }
}

TEST(TextToDouble, AgreesWithStrtodOnRandomTexts) {
    std::mt19937 rng(20240611);
    const std::string alphabet = "0123456789012345678901234567.eE+-xXpPafinINFNAty( ) \t";
    std::uniform_int_distribution<std::size_t> length(0, 24), pick(0, alphabet.size() - 1);
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        for (std::size_t n = length(rng); n > 0; --n) text += alphabet[pick(rng)];
        expectSameAsStrtod(text);
    }
}

// The stream's conversion agrees bit for bit with the system's C library, fast path included.
TEST(SystemAtof, MatchesStrtodOnRandomDecimalTexts) {
    std::mt19937 rng(12345);
    const char alphabet[] = "0123456789.-+ eE";
    for (int i = 0; i < 200000; ++i) {
        std::string s;
        const int len = 1 + static_cast<int>(rng() % 24);
        for (int k = 0; k < len; ++k) {
            // Mostly digits, with the occasional point, sign, blank or exponent.
            unsigned r = rng() % 100;
            s += r < 80 ? static_cast<char>('0' + rng() % 10) : alphabet[10 + rng() % 6];
        }
        const double want = std::strtod(s.c_str(), nullptr);
        const double got = systemAtof(s.c_str(), s.size());
        ASSERT_EQ(std::memcmp(&want, &got, sizeof want), 0) << '"' << s << '"';
    }
}

TEST(RoundToFloat, RoundsToNearestAndOverflowsToInfinity) {
    EXPECT_EQ(roundToFloat(0.1), 0.1f);
    EXPECT_EQ(roundToFloat(-12.5), -12.5f);
    EXPECT_EQ(roundToFloat(FLT_MAX), FLT_MAX);
    EXPECT_EQ(roundToFloat(0x1.fffffefffffffp127), FLT_MAX);
    EXPECT_EQ(roundToFloat(0x1.ffffffp127), INFINITY);
    EXPECT_EQ(roundToFloat(1e39), INFINITY);
    EXPECT_EQ(roundToFloat(-1e39), -INFINITY);
    EXPECT_EQ(roundToFloat(1e-50), 0.0f);
    EXPECT_TRUE(std::isnan(roundToFloat(NAN)));
}

}  // namespace
