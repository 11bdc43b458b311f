// The Linux window and tray icon: the picture of resources/png, decoded from
// the copies built into the program and scaled to any size.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/linux/x11_icon_data.h"

namespace platform::x11 {
std::vector<std::uint32_t> programIcon(int size);
}

namespace {

using platform::x11::programIcon;

std::uint32_t at(const std::vector<std::uint32_t>& image, int side, int x, int y) {
    return image[static_cast<std::size_t>(y) * side + x];
}

TEST(ProgramIcon, EveryBuiltInImageDecodesToItsSize) {
    ASSERT_EQ(platform::x11::kIconPngCount, 8u);
    for (std::size_t i = 0; i < platform::x11::kIconPngCount; ++i) {
        const auto& png = platform::x11::kIconPngs[i];
        int side = 0;
        const auto pixels = platform::x11::decodeIconPng(png.bytes, png.length, side);
        EXPECT_EQ(side, png.size);
        EXPECT_EQ(pixels.size(), static_cast<std::size_t>(png.size) * png.size);
    }
}

TEST(ProgramIcon, ShowsThePlatformWithItsArrowAtEverySize) {
    // 32 px is drawn as it is: transparent corners, the dark background, the
    // cyan arrow in the middle.
    const auto icon = programIcon(32);
    ASSERT_EQ(icon.size(), 32u * 32u);
    EXPECT_EQ(at(icon, 32, 0, 0) >> 24, 0u);
    EXPECT_EQ(at(icon, 32, 16, 6), 0xFF191919u);
    EXPECT_EQ(at(icon, 32, 16, 16), 0xFF00FFFFu);
    // Sizes in between are averaged down from the next larger image.
    for (int size : {20, 30, 40, 100}) {
        const auto scaled = programIcon(size);
        ASSERT_EQ(scaled.size(), static_cast<std::size_t>(size) * size);
        EXPECT_EQ(at(scaled, size, 0, 0) >> 24, 0u) << size;
        const std::uint32_t centre = at(scaled, size, size / 2, size / 2);
        EXPECT_EQ(centre >> 24, 0xFFu) << size;
        EXPECT_GT(centre & 0xFF, 0x80u) << size;          // cyan: strong blue and green,
        EXPECT_LT((centre >> 16) & 0xFF, 0x80u) << size;  // little red
    }
}

TEST(ProgramIcon, RefusesWhatIsNotASquareRgbaPng) {
    int side = -1;
    const unsigned char junk[40] = {0x89, 'P', 'N', 'G'};
    EXPECT_TRUE(platform::x11::decodeIconPng(junk, sizeof junk, side).empty());
    EXPECT_EQ(side, 0);
}

}  // namespace
