// The frame grammar that the simulator writes ("!", eight decimal loads each
// followed by ",", the counter, CR LF): a checker and a field reader, and the
// generator options of a plain scenario.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>

#include "tools/sim/frame_generator.h"

namespace simtest {

// The generator's default options with scenario `s`.
inline sim::GeneratorOptions optionsFor(sim::Scenario s) {
    sim::GeneratorOptions o;
    o.scenario = s;
    return o;
}

struct ParsedFrame {
    double load[8] = {};
    std::string counterText;  // everything after the eighth comma, line end included
    std::uint64_t counter = 0;
};

// The fields of a frame that follows the grammar.
inline ParsedFrame parseFrame(const std::string& frame) {
    ParsedFrame p;
    std::size_t pos = 1;
    for (double& load : p.load) {
        const std::size_t comma = frame.find(',', pos);
        load = std::stod(frame.substr(pos, comma - pos));
        pos = comma + 1;
    }
    p.counterText = frame.substr(pos);
    p.counter = std::stoull(p.counterText);
    return p;
}

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
