// Tests of the OSC 1.0 encoding of one-float messages: the exact bytes of the three addresses the
// output sends, the padding of every address length, big-endian floats, and refused input.
#include "output/osc_message.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes encode(const std::string& address, float value, std::size_t capacity = 64) {
    Bytes out(capacity, 0xAA);
    out.resize(encodeOscFloat(address, value, out));
    return out;
}

Bytes bytesOf(const std::string& text, std::initializer_list<unsigned char> tail) {
    Bytes b(text.begin(), text.end());
    b.insert(b.end(), tail);
    return b;
}

TEST(OscMessage, TheThreeAxesByteForByte) {
    // 15 characters: the NUL alone pads the address to 16.
    EXPECT_EQ(encode("/input/Vertical", 0.25f),
              bytesOf("/input/Vertical", {0, ',', 'f', 0, 0, 0x3E, 0x80, 0x00, 0x00}));
    // 17 characters: NUL and two more to 20. -0.08f is 0xBDA3D70A.
    EXPECT_EQ(encode("/input/Horizontal", -0.08f),
              bytesOf("/input/Horizontal", {0, 0, 0, ',', 'f', 0, 0, 0xBD, 0xA3, 0xD7, 0x0A}));
    // 21 characters: to 24. -1 is 0xBF800000.
    EXPECT_EQ(encode("/input/LookHorizontal", -1.0f),
              bytesOf("/input/LookHorizontal", {0, 0, 0, ',', 'f', 0, 0, 0xBF, 0x80, 0x00, 0x00}));
    EXPECT_EQ(encode("/input/Vertical", 0.0f).size(), 24u);
    const Bytes zero = encode("/input/Vertical", 0.0f);
    EXPECT_EQ(Bytes(zero.end() - 4, zero.end()), Bytes(4, 0));
}

TEST(OscMessage, EveryAddressLengthIsPaddedWithNulsToAMultipleOfFour) {
    for (std::size_t length = 1; length <= 12; ++length) {
        const std::string address = "/" + std::string(length - 1, 'a');
        const Bytes b = encode(address, 1.0f);
        const std::size_t padded = (length / 4 + 1) * 4;  // at least one NUL
        ASSERT_EQ(b.size(), padded + 4 + 4) << address;
        for (std::size_t i = length; i < padded; ++i) EXPECT_EQ(b[i], 0) << address << " " << i;
        EXPECT_EQ(Bytes(b.begin() + static_cast<long>(padded), b.end()),
                  (Bytes{',', 'f', 0, 0, 0x3F, 0x80, 0x00, 0x00}))
            << address;
    }
}

TEST(OscMessage, RefusesWhatIsNoAddressAndWhatDoesNotFit) {
    EXPECT_TRUE(encode("", 1.0f).empty());
    EXPECT_TRUE(encode("input/Vertical", 1.0f).empty());
    EXPECT_TRUE(encode(std::string("/in\0put", 7), 1.0f).empty());
    // 24 bytes needed.
    EXPECT_TRUE(encode("/input/Vertical", 1.0f, 23).empty());
    EXPECT_EQ(encode("/input/Vertical", 1.0f, 24).size(), 24u);
    // The largest address that fits the capacity, and one more character.
    EXPECT_EQ(encode("/" + std::string(54, 'x'), 1.0f, kOscMessageCapacity).size(), 64u);
    EXPECT_TRUE(encode("/" + std::string(55, 'x'), 1.0f, kOscMessageCapacity).empty());
}

}  // namespace
