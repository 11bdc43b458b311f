// OSC 1.0 messages with one float argument, as games read them over UDP: the address pattern
// and the type tag string ",f", each NUL-terminated and padded with NULs to a multiple of four
// bytes, then the float as 32-bit IEEE big-endian.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// Room for an address of up to 55 characters, more than any address the program sends.
constexpr std::size_t kOscMessageCapacity = 64;

// Writes the message "address ,f value" into `out` and returns its size (a multiple of four),
// or 0 when `out` is too small or `address` is no OSC address (it must start with "/" and hold
// no NUL). Every byte of the returned size is written, padding included.
std::size_t encodeOscFloat(std::string_view address, float value, std::span<unsigned char> out);
