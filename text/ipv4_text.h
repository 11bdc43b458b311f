// IPv4 addresses in dotted-decimal text ("192.168.1.20"), read strictly and without any name
// lookup: the OSC output's destination comes from the settings file in this form.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace text {

// The address of `text` in host byte order (127.0.0.1 is 0x7F000001). Exactly four decimal
// parts of 0 to 255 separated by "."; no blanks, signs or other characters, and no leading
// zeros (other readers take "010" for octal 8, so it is refused rather than read either way).
// "0.0.0.0", which names no destination, is refused too.
std::optional<std::uint32_t> parseIPv4(std::string_view text);

// Whether `address` (host byte order) lies in 127.0.0.0/8, this machine's loopback network.
constexpr bool isLoopbackIPv4(std::uint32_t address) {
    return (address >> 24) == 127;
}

}  // namespace text
