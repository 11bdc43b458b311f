// The program icon for the window and the tray: the PNGs that
// resources/make_icon.py draws (the same picture as the Windows icon), built
// into the program and decoded here, scaled to the size asked for.
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/linux/x11_icon_data.h"
#include "platform/linux/x11_internal.h"

namespace platform::x11 {

namespace {

std::uint32_t bigEndian(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

}  // namespace

std::vector<std::uint32_t> decodeIconPng(const unsigned char* png, std::size_t length, int& side) {
    // 8-bit RGBA, not interlaced: the form the icon script writes.
    side = 0;
    if (length < 33 || bigEndian(png + 12) != 0x49484452u) return {};  // "IHDR"
    const std::uint32_t width = bigEndian(png + 16), height = bigEndian(png + 20);
    if (width != height || width == 0 || width > 1024 || png[24] != 8 || png[25] != 6 ||
        png[28] != 0) {
        return {};
    }
    std::vector<unsigned char> compressed;
    for (std::size_t at = 8; at + 12 <= length;) {
        const std::uint32_t size = bigEndian(png + at);
        if (size > length - at - 12) return {};
        if (bigEndian(png + at + 4) == 0x49444154u) {  // "IDAT"
            compressed.insert(compressed.end(), png + at + 8, png + at + 8 + size);
        }
        at += 12 + size;
    }
    const std::size_t stride = 4 * width;
    std::vector<unsigned char> raw((stride + 1) * height);
    uLongf rawLength = raw.size();
    if (uncompress(raw.data(), &rawLength, compressed.data(), compressed.size()) != Z_OK ||
        rawLength != raw.size()) {
        return {};
    }
    // Undo the per-row filters in place.
    std::vector<std::uint32_t> argb(static_cast<std::size_t>(width) * height);
    for (std::size_t y = 0; y < height; ++y) {
        unsigned char* row = &raw[y * (stride + 1) + 1];
        const unsigned char* up = y > 0 ? &raw[(y - 1) * (stride + 1) + 1] : nullptr;
        const int filter = row[-1];
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= 4 ? row[i - 4] : 0;
            const int b = up ? up[i] : 0;
            const int c = up && i >= 4 ? up[i - 4] : 0;
            int predicted = 0;
            switch (filter) {
                case 0:
                    predicted = 0;
                    break;
                case 1:
                    predicted = a;
                    break;
                case 2:
                    predicted = b;
                    break;
                case 3:
                    predicted = (a + b) / 2;
                    break;
                case 4:
                    predicted = paeth(a, b, c);
                    break;
                default:
                    return {};
            }
            row[i] = static_cast<unsigned char>(row[i] + predicted);
        }
        for (std::size_t x = 0; x < width; ++x) {
            const unsigned char* p = row + 4 * x;
            argb[y * width + x] = (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[0]} << 16) |
                                  (std::uint32_t{p[1]} << 8) | p[2];
        }
    }
    side = static_cast<int>(width);
    return argb;
}

std::vector<std::uint32_t> programIcon(int size) {
    // The drawn image of that size, else the smallest larger one averaged
    // down (or the largest one, sampled up).
    const IconPng* best = nullptr;
    for (std::size_t i = 0; i < kIconPngCount; ++i) {
        const IconPng& png = kIconPngs[i];
        if (png.size >= size && (best == nullptr || png.size < best->size)) best = &png;
    }
    if (best == nullptr) best = &kIconPngs[kIconPngCount - 1];
    int side = 0;
    const std::vector<std::uint32_t> source = decodeIconPng(best->bytes, best->length, side);
    std::vector<std::uint32_t> out(static_cast<std::size_t>(size) * size, 0);
    if (side == 0) return out;
    if (side == size) return source;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            // The source pixels this pixel covers, averaged (alpha-weighted).
            const int x0 = x * side / size, x1 = std::max(x0 + 1, (x + 1) * side / size);
            const int y0 = y * side / size, y1 = std::max(y0 + 1, (y + 1) * side / size);
            std::uint64_t sum[4] = {};
            int count = 0;
            for (int sy = y0; sy < y1; ++sy) {
                for (int sx = x0; sx < x1; ++sx) {
                    const std::uint32_t p = source[static_cast<std::size_t>(sy) * side + sx];
                    const std::uint32_t alpha = p >> 24;
                    sum[0] += alpha;
                    sum[1] += ((p >> 16) & 0xFF) * alpha;
                    sum[2] += ((p >> 8) & 0xFF) * alpha;
                    sum[3] += (p & 0xFF) * alpha;
                    ++count;
                }
            }
            if (sum[0] == 0) continue;
            const auto channel = [&](int k) { return static_cast<std::uint32_t>(sum[k] / sum[0]); };
            out[static_cast<std::size_t>(y) * size + x] =
                (static_cast<std::uint32_t>(sum[0] / count) << 24) | (channel(1) << 16) |
                (channel(2) << 8) | channel(3);
        }
    }
    return out;
}

}  // namespace platform::x11
