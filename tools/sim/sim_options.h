// Command line of tarvel-sim: the options, their defaults and checks, and the
// help text. Kept apart from main() so that it can be tested.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/frame_generator.h"

namespace sim {

struct SimOptions {
    GeneratorOptions generator;
    int port = 3;  // the link is <dir>/COM<port>
    std::string dir = ".";
    bool rateGiven = false;  // --rate was on the command line
    double settleSeconds = 1.0;
    std::uint64_t frames = 0;  // stop after this many frame periods; 0: run until stopped
    bool toStdout = false;
    std::string replayFile;
    bool loop = false;
    std::optional<double> unplugAfterSeconds;
    int unplugForMs = 500;
    bool quiet = false;

    // Empty-platform frames sent each time a reader attaches.
    std::uint64_t settleFrames() const;
    // Path of the link, e.g. "./COM3".
    std::string linkPath() const;
};

struct ParseResult {
    enum class Status { Run, Help, Version, Error } status = Status::Run;
    SimOptions options;
    std::string error;  // for Error: what was wrong, in one line
};

// Parses argv[1..]; accepts "--name value" and "--name=value".
ParseResult parseOptions(const std::vector<std::string>& args);

// The --help text.
std::string usageText();

}  // namespace sim
