// TelemetrySender: one UDP datagram per analysis pass to the local listener,
// a 256-byte record holding 17 comma-separated values and a newline.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/udp.h"

struct WalkState;

constexpr std::size_t kTelemetryRecordSize = 256;
constexpr std::uint16_t kTelemetryPort = 12345;

// The record kept between passes, field by field: a field is printed again only when its value
// changed, compared bit for bit (so -0.0 after 0.0, which prints differently, is printed anew).
// Most passes see the frame of the pass before, and reuse the whole record.
class TelemetryRecord {
  public:
    // Brings the record up to the values of `state`. Returns the text length, or 0 when the
    // text would not fit in 255 characters (the record must not be sent then).
    std::size_t update(const WalkState& state);
    const unsigned char* bytes() const { return bytes_; }

  private:
    static constexpr int kFields = 17;
    struct Field {
        std::uint32_t bits = 0;
        bool printed = false;
        std::uint8_t length = 0;
        char text[48];  // the longest "%f" of a float has 47 characters
    };
    Field fields_[kFields];
    unsigned char bytes_[kTelemetryRecordSize] = {};
    std::size_t length_ = 0;
    bool assembled_ = false;
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
    TelemetryRecord record_;
};
