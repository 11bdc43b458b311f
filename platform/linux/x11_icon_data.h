// The program icon's PNG images, built into the program from resources/png
// (the generated icon_pngs.cpp holds them), their decoder and the icon at any
// size for the window and the trays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform::x11 {

struct IconPng {
    int size;
    const unsigned char* bytes;
    std::size_t length;
};
// Ordered by size, smallest first.
extern const IconPng kIconPngs[];
extern const std::size_t kIconPngCount;

// ARGB pixels (alpha not premultiplied) of an 8-bit RGBA square PNG; empty,
// with side 0, for anything else.
std::vector<std::uint32_t> decodeIconPng(const unsigned char* png, std::size_t length, int& side);

// The program icon, size by size pixels, as 0xAARRGGBB values row by row.
std::vector<std::uint32_t> programIcon(int size);

}  // namespace platform::x11
