// StrayText: what the port sends that is not platform frames (a GPS receiver's sentences, lines
// of numbers without "!", line noise), kept by the reader thread a line at a time and handed to
// the main thread through one slot, so that the user can be told what arrives instead.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

class StrayText {
  public:
    // The part of a line that is kept to name it.
    static constexpr std::size_t kShownLength = 40;
    // Bytes without a line end that count as a line of their own.
    static constexpr std::size_t kLongestLine = 4096;

    // Reader thread: notes one byte of the stream; `endedFrame` says that this byte ended a
    // platform frame. A line that ends without one is offered to the main thread, if the
    // slot is free.
    void noteByte(std::uint8_t byte, bool endedFrame) {
        if (byte == '\r' || byte == '\n') {
            if (lineLength_ > 0 && !endedFrame) offer();
            lineLength_ = 0;
            return;
        }
        if (lineLength_ < kShownLength) {
            line_[lineLength_] = byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
        }
        if (++lineLength_ == kLongestLine) {
            offer();
            lineLength_ = 0;
        }
    }

    // Main thread: the line offered last, if one waits; the slot is free again afterwards.
    bool take(std::string& text) {
        if (!full_.load(std::memory_order_acquire)) return false;
        text.assign(shown_, shownLength_);
        full_.store(false, std::memory_order_release);
        return true;
    }

    // Forgets everything; only while the reader does not run.
    void clear() {
        lineLength_ = 0;
        full_.store(false, std::memory_order_relaxed);
    }

  private:
    void offer() {
        if (full_.load(std::memory_order_acquire)) return;
        shownLength_ = lineLength_ < kShownLength ? lineLength_ : kShownLength;
        for (std::size_t i = 0; i < shownLength_; ++i) shown_[i] = line_[i];
        full_.store(true, std::memory_order_release);
    }

    // The reader's own.
    char line_[kShownLength] = {};
    std::size_t lineLength_ = 0;
    // The slot: written by the reader while empty, read by the main thread while full.
    char shown_[kShownLength] = {};
    std::size_t shownLength_ = 0;
    std::atomic<bool> full_{false};
};
