// The program icon for the window and the tray: the PNGs that
// resources/make_icon.py draws (the same picture as the Windows icon), built
// into the program and decoded here, scaled to the size asked for.
#include <png.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/linux/x11_icon_data.h"
#include "platform/linux/x11_internal.h"

namespace platform::x11 {

std::vector<std::uint32_t> decodeIconPng(const unsigned char* png, std::size_t length, int& side) {
    // libpng's simplified reader, as 8-bit straight (not premultiplied) RGBA.
    side = 0;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png, length)) return {};
    if (image.width != image.height || image.width == 0 || image.width > 1024) {
        png_image_free(&image);
        return {};
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return {};
    std::vector<std::uint32_t> argb(static_cast<std::size_t>(image.width) * image.height);
    for (std::size_t i = 0; i < argb.size(); ++i) {
        const unsigned char* p = &rgba[4 * i];
        argb[i] = (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[0]} << 16) |
                  (std::uint32_t{p[1]} << 8) | p[2];
    }
    side = static_cast<int>(image.width);
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
