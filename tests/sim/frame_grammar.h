// Checks a text against the frame grammar that the simulator writes:
// "!", eight decimal loads each followed by ",", the counter, CR LF.
#pragma once

#include <cctype>
#include <string>

namespace simtest {

// `decimals` is the exact number of decimals each load must have, or -1 for
// one or more.
inline bool isFrame(const std::string& t, int decimals = 3) {
    std::size_t i = 0;
    auto digits = [&](std::size_t minimum, std::size_t exact) {
        std::size_t n = 0;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, ++n;
        return exact ? n == exact : n >= minimum;
    };
    if (t.empty() || t[i++] != '!') return false;
    for (int field = 0; field < 8; ++field) {
        if (i < t.size() && t[i] == '-') ++i;
        if (!digits(1, 0)) return false;
        if (decimals != 0) {
            if (i >= t.size() || t[i++] != '.') return false;
            if (!digits(1, decimals < 0 ? 0 : static_cast<std::size_t>(decimals))) return false;
        }
        if (i >= t.size() || t[i++] != ',') return false;
    }
    if (!digits(1, 0)) return false;
    return t.compare(i, std::string::npos, "\r\n") == 0;
}

}  // namespace simtest
