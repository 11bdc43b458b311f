// The telemetry record's text and its datagram.
#include "output/telemetry.h"

#include <cstdio>
#include <cstring>

#include "analysis/walk_state.h"

std::size_t formatTelemetry(const WalkState& s, unsigned char (&buffer)[kTelemetryRecordSize]) {
    // Integers in plain decimal, floats widened to double and printed "%f".
    char* text = reinterpret_cast<char*>(buffer);
    const int n = std::snprintf(
        text, kTelemetryRecordSize, "%d,%d,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f,%f\n",
        s.appMode, s.moveMode, static_cast<double>(s.upperAverage),
        static_cast<double>(s.leftAverage), static_cast<double>(s.rightAverage),
        static_cast<double>(s.walkFThreshold), static_cast<double>(s.lowerMovingAverage),
        static_cast<double>(s.directionX), static_cast<double>(s.directionY),
        static_cast<double>(s.angle), static_cast<double>(s.thresholdFL),
        static_cast<double>(s.thresholdFR), static_cast<double>(s.thresholdL),
        static_cast<double>(s.thresholdR), static_cast<double>(s.walkSpeedFB),
        static_cast<double>(s.walkSpeedLR), static_cast<double>(s.rotationSpeed));
    // The text and its NUL must fit; a cut-off line would mislead the listener.
    if (n < 0 || static_cast<std::size_t>(n) >= kTelemetryRecordSize) return 0;
    std::memset(buffer + n + 1, 0xFE, kTelemetryRecordSize - static_cast<std::size_t>(n) - 1);
    return static_cast<std::size_t>(n);
}

void TelemetrySender::open(std::uint16_t port) { socket_.open(port); }

bool TelemetrySender::send(const WalkState& state) {
    if (formatTelemetry(state, buffer_) == 0) return false;
    return socket_.send(buffer_, kTelemetryRecordSize);
}

void TelemetrySender::close() { socket_.close(); }
