// The telemetry record's text and its datagram.
#include "output/telemetry.h"

#include <cstdio>
#include <cstring>

#include "analysis/walk_state.h"

namespace {

TelemetryValues valuesOf(const WalkState& s) {
    return {s.appMode,
            s.moveMode,
            {s.upperAverage, s.leftAverage, s.rightAverage, s.walkFThreshold, s.lowerMovingAverage,
             s.directionX, s.directionY, s.angle, s.thresholdFL, s.thresholdFR, s.thresholdL,
             s.thresholdR, s.walkSpeedFB, s.walkSpeedLR, s.rotationSpeed}};
}

std::size_t formatValues(const TelemetryValues& v, unsigned char (&buffer)[kTelemetryRecordSize]) {
    // Integers in plain decimal, floats widened to double and printed "%f".
    const auto d = [&v](int i) { return static_cast<double>(v.floats[i]); };
    char* text = reinterpret_cast<char*>(buffer);
    const int n = std::snprintf(text, kTelemetryRecordSize,
                                "%d,%d,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f\n", v.appMode,
                                v.moveMode, d(0), d(1), d(2), d(3), d(4), d(5), d(6), d(7), d(8),
                                d(9), d(10), d(11), d(12), d(13), d(14));
    // The text and its NUL must fit; a cut-off line would mislead the listener.
    if (n < 0 || static_cast<std::size_t>(n) >= kTelemetryRecordSize) return 0;
    std::memset(buffer + n + 1, 0xFE, kTelemetryRecordSize - static_cast<std::size_t>(n) - 1);
    return static_cast<std::size_t>(n);
}

}  // namespace

std::size_t formatTelemetry(const WalkState& s, unsigned char (&buffer)[kTelemetryRecordSize]) {
    return formatValues(valuesOf(s), buffer);
}

void TelemetrySender::open(std::uint16_t port) {
    socket_.open(port);
}

bool TelemetrySender::send(const WalkState& state) {
    // Most passes see the frame of the pass before and would print the same text again: the
    // record is formatted only when a value differs from those of the last one, bit for bit
    // (so -0.0 after 0.0, which prints differently, is formatted anew).
    const TelemetryValues values = valuesOf(state);
    if (!haveFormatted_ || std::memcmp(&values, &formatted_, sizeof values) != 0) {
        length_ = formatValues(values, buffer_);
        formatted_ = values;
        haveFormatted_ = true;
    }
    if (length_ == 0) return false;
    return socket_.send(buffer_, kTelemetryRecordSize);
}

void TelemetrySender::close() {
    socket_.close();
}
