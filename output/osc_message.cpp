// The OSC 1.0 encoding of a one-float message.
#include "output/osc_message.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace {

// A string and its NUL, padded with NULs to a multiple of four bytes.
constexpr std::size_t paddedSize(std::size_t length) {
    return (length + 4) & ~std::size_t{3};
}

std::size_t putPadded(std::string_view text, unsigned char* out) {
    const std::size_t size = paddedSize(text.size());
    std::fill(std::copy(text.begin(), text.end(), out), out + size, 0);
    return size;
}

}  // namespace

std::size_t encodeOscFloat(std::string_view address, float value, std::span<unsigned char> out) {
    constexpr std::string_view kTypeTags = ",f";
    if (address.empty() || address.front() != '/' || address.find('\0') != address.npos) {
        return 0;
    }
    const std::size_t size = paddedSize(address.size()) + paddedSize(kTypeTags.size()) + 4;
    if (size > out.size()) return 0;
    unsigned char* p = out.data();
    p += putPadded(address, p);
    p += putPadded(kTypeTags, p);
    const auto bits = std::bit_cast<std::uint32_t>(value);
    for (int shift = 24; shift >= 0; shift -= 8) *p++ = static_cast<unsigned char>(bits >> shift);
    return size;
}
