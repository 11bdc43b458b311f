// The stream grammar of the field parser and the values it stores.
#include "link/stream_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Stored {
    int index;
    float value;
    bool operator==(const Stored&) const = default;
};

std::vector<Stored> feed(StreamParser& p, const std::string& bytes) {
    std::vector<Stored> out;
    StreamParser::Field f{};
    for (unsigned char b : bytes)
        if (p.feed(b, f)) out.push_back({f.index, f.value});
    return out;
}

std::vector<Stored> parse(const std::string& bytes) {
    StreamParser p;
    return feed(p, bytes);
}

TEST(StreamParser, FullFrameFillsAllNineFieldsAndEndsAtIndexZero) {
    StreamParser p;
    auto got = feed(p, "!1.5,2,3,4,5,6,7,8,42\r\n");
    std::vector<Stored> want = {{0, 1.5f}, {1, 2}, {2, 3}, {3, 4}, {4, 5},
                                {5, 6},    {6, 7}, {7, 8}, {8, 42}};
    EXPECT_EQ(got, want);
    // The CR LF after the counter store nothing and leave the index alone.
    EXPECT_TRUE(feed(p, "\r\n\r\n").empty());
    EXPECT_EQ(feed(p, "7,"), (std::vector<Stored>{{0, 7}}));
}

TEST(StreamParser, OnlyTheCounterOfAFrameInThePlatformsFormMarksItWellFormed) {
    auto counterForm = [](const std::string& bytes) {
        StreamParser p;
        StreamParser::Field f{};
        std::string marks;
        for (unsigned char b : bytes)
            if (p.feed(b, f) && f.index == 8) marks += f.wellFormed ? 'y' : 'n';
        return marks;
    };
    EXPECT_EQ(counterForm("!1.5,2,-3,4e2,5,6,7,8,42\r\n!1,2,3,4,5,6,7,8,9\n"), "yy");
    // No "!", an empty field, a line end inside, text, a counter without a line end, a frame
    // cut short by the next "!".
    EXPECT_EQ(counterForm("1,2,3,4,5,6,7,8,9\r\n"), "n");
    EXPECT_EQ(counterForm("!1,,2,3,4,5,6,7,8,9\r\n"), "n");
    EXPECT_EQ(counterForm("!1,2,3,4\r\n5,6,7,8,9\r\n"), "n");
    EXPECT_EQ(counterForm("!1,2,3,4,5,6,7,8kg,9\r\n"), "n");
    EXPECT_EQ(counterForm("!1,2,3,4,5,6,7,8,9,"), "n");
    EXPECT_EQ(counterForm("!1,2,3!1,2,3,4,5,6,7,8,9\r\n"), "y");
}

TEST(StreamParser, EmptyFieldsAreNotCounted) {
    EXPECT_EQ(parse("!1,,2,"), (std::vector<Stored>{{0, 1}, {1, 2}}));
    EXPECT_EQ(parse(",,\r\n,1\n"), (std::vector<Stored>{{0, 1}}));
}

TEST(StreamParser, BangResynchronisesAndStoresPendingTextAsFieldZero) {
    // "3" is cut short by the next "!", lands in field 0, then 9 overwrites it.
    EXPECT_EQ(parse("!1,2,3!9,"), (std::vector<Stored>{{0, 1}, {1, 2}, {0, 3}, {0, 9}}));
}

TEST(StreamParser, FramesWithoutBangParseWhenAligned) {
    auto got = parse("1,2,3,4,5,6,7,8,9\n10,11,12,13,14,15,16,17,18\n");
    ASSERT_EQ(got.size(), 18u);
    for (int i = 0; i < 18; ++i) {
        EXPECT_EQ(got[i].index, i % 9);
        EXPECT_EQ(got[i].value, static_cast<float>(i + 1));
    }
}

TEST(StreamParser, ShortAndLongFramesShiftTheCount) {
    // Eight fields, then a frame without "!": its first value lands in field 8.
    StreamParser p;
    feed(p, "!1,2,3,4,5,6,7,8\n");
    EXPECT_EQ(feed(p, "100,"), (std::vector<Stored>{{8, 100}}));
    // Ten fields: the tenth wraps into field 0.
    auto got = parse("!1,2,3,4,5,6,7,8,9,10\n");
    ASSERT_EQ(got.size(), 10u);
    EXPECT_EQ(got.back(), (Stored{0, 10}));
}

TEST(StreamParser, ConversionFollowsAtof) {
    auto one = [](const std::string& text) {
        auto got = parse("!" + text + ",");
        EXPECT_EQ(got.size(), 1u) << text;
        return got.empty() ? NAN : got[0].value;
    };
    EXPECT_EQ(one(" 12"), 12.0f);
    EXPECT_EQ(one("abc"), 0.0f);
    EXPECT_EQ(one("-3e2"), -300.0f);
    EXPECT_EQ(one("0.1"), 0.1f);
    EXPECT_EQ(one("12.5kg"), 12.5f);
    EXPECT_EQ(one("+7."), 7.0f);
    EXPECT_EQ(one(".25"), 0.25f);
    EXPECT_EQ(one("0x10"), 16.0f);
    EXPECT_TRUE(std::signbit(one("-0")));
    EXPECT_FALSE(std::signbit(one("-")));
    EXPECT_TRUE(std::isinf(one("inf")));
    EXPECT_TRUE(std::isnan(one("nan")));
    EXPECT_TRUE(std::isinf(one("1e400")));
    // Beyond the float range but within double's: infinite, with its sign.
    EXPECT_EQ(one("1e39"), INFINITY);
    EXPECT_EQ(one("-1e39"), -INFINITY);
    EXPECT_EQ(one("3.4028235e38"), 3.4028235e38f);
    // Junk is read as the system's C library reads it, which differs between systems ("-."
    // gives -0 with msvcrt, +0 with glibc).
    for (const char* junk : {"-.", "-", "+.", "-e5", "-x", ".e1"}) {
        EXPECT_EQ(std::signbit(one(junk)), std::signbit(std::strtod(junk, nullptr))) << junk;
    }
    // A zero byte ends the text the conversion sees.
    EXPECT_EQ(one(std::string("5\0"
                              "7",
                              3)),
              5.0f);
}

TEST(StreamParser, OverlongFieldIsDroppedButKeepsItsPlace) {
    StreamParser p;
    std::string longField(StreamParser::kMaxFieldLength + 1, '7');
    auto got = feed(p, "!1," + longField + ",3\n");
    EXPECT_EQ(got, (std::vector<Stored>{{0, 1}, {2, 3}}));
    // A field of exactly the maximum length is still stored.
    std::string maxField(StreamParser::kMaxFieldLength, ' ');
    maxField.back() = '4';
    EXPECT_EQ(feed(p, "!" + maxField + ","), (std::vector<Stored>{{0, 4}}));
    // After an over-long run cut by "!", parsing resumes normally.
    EXPECT_EQ(feed(p, longField + "!5,"), (std::vector<Stored>{{0, 5}}));
}

}  // namespace
