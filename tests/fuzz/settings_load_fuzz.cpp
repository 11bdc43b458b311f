// Fuzz target of the settings-file load: any bytes as the file must give settings within
// their ranges and finite maxima, and saving and loading again must settle on one text after
// a round.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/settings_file.h"
#include "text/ipv4_text.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// One scratch file per process, removed at exit; in memory (/dev/shm) where there is such a
// folder, since rewriting a file on a disk file system may wait for the disk each time.
const std::string& scratchPath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                             : tmp && *tmp                   ? tmp
                                                             : "/tmp";
        std::string pattern = folder + "/settings-fuzz-XXXXXX";
        int fd = ::mkstemp(pattern.data());
        require(fd >= 0);
        ::close(fd);
        return pattern;
    }();
    static const bool removedAtExit = [] {
        std::atexit([] { ::unlink(scratchPath().c_str()); });
        return true;
    }();
    (void)removedAtExit;
    return path;
}

void writeScratch(const void* data, std::size_t size) {
    std::FILE* f = std::fopen(scratchPath().c_str(), "wb");
    require(f != nullptr);
    require(size == 0 || std::fwrite(data, 1, size, f) == size);
    require(std::fclose(f) == 0);
}

WalkState loadScratch() {
    WalkState s{};
    loadSettings(scratchPath(), s);
    return s;
}

bool within(float value, float low, float high) {
    return value >= low && value <= high;
}

void requireRanges(const WalkState& s) {
    require(within(s.walkFThreshold, 0.0f, 1.0f));
    require(within(s.thresholdFL, -20.0f, -10.0f));
    require(within(s.thresholdFR, 10.0f, 20.0f));
    require(within(s.thresholdL, -45.0f, -20.0f));
    require(within(s.thresholdR, 20.0f, 45.0f));
    require(within(s.walkSpeedFB, 0.0f, 1.0f));
    require(within(s.walkSpeedLR, 0.0f, 1.0f));
    require(within(s.rotationSpeed, 0.0f, 1.0f));
    for (float m : s.loadMax) require(std::isfinite(m));
    require(s.oscEnabled == 0 || s.oscEnabled == 1);
    require(s.xrEnabled == 0 || s.xrEnabled == 1);
    require(s.oscPort >= 1 && s.oscPort <= 65535);
    require(text::parseIPv4(s.oscHost).has_value());
    require(s.cadenceSpeed == 0 || s.cadenceSpeed == 1);
    require(within(s.walkCadence, 20.0f, 300.0f) && within(s.runCadence, 20.0f, 300.0f));
    require(within(s.runSpeed, 0.0f, 1.0f));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    writeScratch(data, size);
    const WalkState first = loadScratch();
    requireRanges(first);

    // The saved text loads back with the same integers and within the ranges...
    const std::string text1 = formatSettings(first);
    writeScratch(text1.data(), text1.size());
    const WalkState second = loadScratch();
    requireRanges(second);
    require(second.comID == first.comID && second.autoCalibration == first.autoCalibration &&
            second.numStep == first.numStep && second.appMode == first.appMode &&
            second.moveMode == first.moveMode &&
            second.moveFrontKeyCode == first.moveFrontKeyCode &&
            second.moveLeftKeyCode == first.moveLeftKeyCode &&
            second.moveRightKeyCode == first.moveRightKeyCode);

    // ...and once rounded to two places, saving and loading changes nothing more.
    const std::string text2 = formatSettings(second);
    writeScratch(text2.data(), text2.size());
    require(formatSettings(loadScratch()) == text2);
    return 0;
}
