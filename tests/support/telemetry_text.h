// The telemetry record of a WalkState formatted afresh, for the tests that compare a datagram
// with what its values must give.
#pragma once

#include <cstddef>
#include <cstring>

#include "output/telemetry.h"

// The record into `buffer`: the text, one NUL, then 0xFE up to the end. Returns the text length,
// or 0 when the text would not fit in 255 characters.
inline std::size_t formatTelemetry(const WalkState& state,
                                   unsigned char (&buffer)[kTelemetryRecordSize]) {
    TelemetryRecord record;
    const std::size_t n = record.update(state);
    std::memcpy(buffer, record.bytes(), kTelemetryRecordSize);
    return n;
}
