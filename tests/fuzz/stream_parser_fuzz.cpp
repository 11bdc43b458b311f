// Fuzz target for the stream parser: arbitrary bytes must never crash it, the
// field index of every stored value follows the reference, and every stored value equals the C
// library's conversion of the field text (a reference parse kept alongside).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/stream_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    StreamParser parser;
    StreamParser::Field field{};
    std::string text;  // the reference: the current field's bytes
    int index = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        const bool separator = b == '!' || b == ',' || b == '\r' || b == '\n';
        const bool stored = parser.feed(b, field);
        if (!separator) {
            if (stored) std::abort();
            text.push_back(static_cast<char>(b));
            continue;
        }
        if (b == '!') index = 0;
        if (text.empty()) {
            if (stored) std::abort();
        } else {
            const bool overlong = text.size() > StreamParser::kMaxFieldLength;
            if (stored == overlong) std::abort();
            if (stored) {
                const float want = static_cast<float>(std::strtod(text.c_str(), nullptr));
                if (field.index != index || std::memcmp(&want, &field.value, sizeof want) != 0)
                    std::abort();
            }
            text.clear();
            index = (b == '!' || index == 8) ? 0 : index + 1;
        }
    }
    return 0;
}
