// StreamParser: splits the controller's ASCII stream into numbered fields,
// one byte at a time, with no I/O of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class StreamParser {
  public:
    // Longest field text kept: the controller's reader kept its field in a buffer of 32267
    // bytes with room for the terminating NUL, and a field that fitted there is read here
    // too. A longer run without a separator is dropped.
    static constexpr std::size_t kMaxFieldLength = 32266;

    struct Field {
        int index;    // 0..7 a load sensor, 8 the frame counter
        float value;  // the system's atof of the text, rounded to float
        // With the counter (index 8): the frame was the platform's own form, "!", nine
        // numeric fields separated by commas, and a line end right after the counter.
        bool wellFormed;
    };

    StreamParser();

    // Feeds one byte. Returns true and fills `out` when the byte completed a
    // field whose value is to be stored.
    bool feed(std::uint8_t byte, Field& out) {
        if (byte == '!' || byte == ',' || byte == '\r' || byte == '\n') return endField(byte, out);
        if (length_ < kMaxFieldLength) {
            text_[length_++] = static_cast<char>(byte);
        } else {
            overlong_ = true;
        }
        return false;
    }

  private:
    bool endField(std::uint8_t byte, Field& out);

    std::unique_ptr<char[]> text_;  // kMaxFieldLength + 1 bytes, allocated once
    std::size_t length_ = 0;
    int index_ = 0;
    bool overlong_ = false;
    // Everything since the last "!" has had the platform's form so far.
    bool inForm_ = false;
};
