// The program icon drawn in code at any size: a red disc with a white "T" on
// the window's dark background, edges smoothed by 4x4 supersampling.
#include <algorithm>
#include <cmath>

#include "platform/linux/x11_internal.h"

namespace platform::x11 {

std::vector<std::uint32_t> programIcon(int size) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * size);
    const double n = size;
    constexpr int kSamples = 4;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double red = 0;
            double green = 0;
            double blue = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    // Unit coordinates of the sample, centre at (0.5, 0.5).
                    const double u = (x + (sx + 0.5) / kSamples) / n;
                    const double v = (y + (sy + 0.5) / kSamples) / n;
                    const double du = u - 0.5;
                    const double dv = v - 0.5;
                    const bool disc = du * du + dv * dv <= 0.46 * 0.46;
                    const bool bar = v >= 0.24 && v <= 0.38 && u >= 0.24 && u <= 0.76;
                    const bool stem = u >= 0.43 && u <= 0.57 && v >= 0.24 && v <= 0.78;
                    if (disc && (bar || stem)) {
                        red += 255;
                        green += 255;
                        blue += 255;
                    } else if (disc) {
                        red += 150;
                    } else {
                        red += 25;
                        green += 25;
                        blue += 25;
                    }
                }
            }
            const double count = kSamples * kSamples;
            auto channel = [&](double sum) {
                return static_cast<std::uint32_t>(std::clamp(std::lround(sum / count), 0L, 255L));
            };
            pixels[static_cast<std::size_t>(y) * size + x] =
                0xFF000000u | (channel(red) << 16) | (channel(green) << 8) | channel(blue);
        }
    }
    return pixels;
}

}  // namespace platform::x11
