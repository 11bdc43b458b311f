// The telemetry record's text and its datagram.
#include "output/telemetry.h"

#include <cstdio>
#include <cstring>

#include "analysis/walk_state.h"

std::size_t TelemetryRecord::update(const WalkState& s) {
    // Integers in plain decimal, floats widened to double and printed "%f".
    const std::int32_t integers[2] = {s.appMode, s.moveMode};
    const float floats[kFields - 2] = {
        s.upperAverage, s.leftAverage, s.rightAverage, s.walkFThreshold, s.lowerMovingAverage,
        s.directionX,   s.directionY,  s.angle,        s.thresholdFL,    s.thresholdFR,
        s.thresholdL,   s.thresholdR,  s.walkSpeedFB,  s.walkSpeedLR,    s.rotationSpeed};
    bool changed = !assembled_;
    for (int i = 0; i < kFields; ++i) {
        Field& field = fields_[i];
        std::uint32_t bits;
        std::memcpy(&bits, i < 2 ? static_cast<const void*>(&integers[i]) : &floats[i - 2],
                    sizeof bits);
        if (field.printed && field.bits == bits) continue;
        const int n = i < 2 ? std::snprintf(field.text, sizeof field.text, "%d", integers[i])
                            : std::snprintf(field.text, sizeof field.text, "%f",
                                            static_cast<double>(floats[i - 2]));
        field.length = static_cast<std::uint8_t>(n);
        field.bits = bits;
        field.printed = true;
        changed = true;
    }
    if (!changed) return length_;

    // The fields with a comma between each two and a newline after the last. The text and its
    // NUL must fit; a cut-off line would mislead the listener.
    assembled_ = true;
    length_ = 0;
    std::size_t n = 0;
    for (int i = 0; i < kFields; ++i) {
        const Field& field = fields_[i];
        if (n + field.length + 1 >= kTelemetryRecordSize) return 0;
        std::memcpy(bytes_ + n, field.text, field.length);
        n += field.length;
        bytes_[n++] = i + 1 < kFields ? ',' : '\n';
    }
    bytes_[n] = 0;
    std::memset(bytes_ + n + 1, 0xFE, kTelemetryRecordSize - n - 1);
    length_ = n;
    return n;
}

void TelemetrySender::open(std::uint16_t port) {
    socket_.open(port);
}

bool TelemetrySender::send(const WalkState& state) {
    if (record_.update(state) == 0) return false;
    return socket_.send(record_.bytes(), kTelemetryRecordSize);
}

void TelemetrySender::close() {
    socket_.close();
}
