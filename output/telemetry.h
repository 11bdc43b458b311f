// TelemetrySender: one UDP datagram per analysis pass to the local listener,
// a 256-byte record holding 17 comma-separated values and a newline.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/udp.h"

struct WalkState;

constexpr std::size_t kTelemetryRecordSize = 256;
constexpr std::uint16_t kTelemetryPort = 12345;

// Formats the record into `buffer`: the text, one NUL, then 0xFE up to the
// end. Returns the text length, or 0 when the text would not fit in 255
// characters (the buffer is then not a valid record and must not be sent).
std::size_t formatTelemetry(const WalkState& state, unsigned char (&buffer)[kTelemetryRecordSize]);

// The 17 values of a record in their order: two integers, then 15 floats.
struct TelemetryValues {
    std::int32_t appMode;
    std::int32_t moveMode;
    float floats[15];
};

class TelemetrySender {
  public:
    // Opens the socket, bound to 127.0.0.1, sending to 127.0.0.1:port.
    void open(std::uint16_t port = kTelemetryPort);
    // Formats and sends the record of `state`. A record that does not fit is
    // skipped (never truncated); a failed send is dropped. Returns whether a
    // datagram went out.
    bool send(const WalkState& state);
    void close();

  private:
    platform::UdpSender socket_;
    unsigned char buffer_[kTelemetryRecordSize] = {};
    // The values buffer_ was formatted from, and its text length (0: not sendable).
    TelemetryValues formatted_{};
    std::size_t length_ = 0;
    bool haveFormatted_ = false;
};
