// SensorFrame: one frame of the platform's stream as the reader hands it to the passes, and the
// lock-free ring that carries the frames from the reader thread to the main thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

struct SensorFrame {
    // The latest stored field values at the moment the frame counter (field 8) was stored: what
    // a pass run right then would have read, the fields of a frame cut short included.
    float rawLoad[8];
    float tick;
    // "!", nine numeric fields separated by commas and a line end: the platform's own form.
    // Anything else that ends in a counter store is stored all the same, but does not count as
    // the platform sending.
    bool wellFormed;
    // When the read that completed the frame returned.
    std::chrono::steady_clock::time_point arrival;
};

// Single producer (the reader thread), single consumer (the main thread). Neither side waits or
// locks: a frame that finds the ring full is dropped and counted.
class FrameRing {
  public:
    // Ten seconds of frames at the platform's 100 a second.
    static constexpr std::size_t kCapacity = 1024;

    // Producer only.
    void push(const SensorFrame& frame) {
        const std::size_t head = head_.load(std::memory_order_relaxed);
        if (head - tail_.load(std::memory_order_acquire) == kCapacity) {
            dropped_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        slots_[head % kCapacity] = frame;
        head_.store(head + 1, std::memory_order_release);
    }

    // Consumer only: the oldest waiting frame into `frame`; false when none waits.
    bool pop(SensorFrame& frame) {
        const std::size_t tail = tail_.load(std::memory_order_relaxed);
        if (tail == head_.load(std::memory_order_acquire)) return false;
        frame = slots_[tail % kCapacity];
        tail_.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Frames that found the ring full.
    std::uint32_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

    // Empties the ring; only while no producer runs.
    void clear() {
        tail_.store(head_.load(std::memory_order_relaxed), std::memory_order_relaxed);
        dropped_.store(0, std::memory_order_relaxed);
    }

  private:
    std::array<SensorFrame, kCapacity> slots_{};
    std::atomic<std::size_t> head_{0};  // written by the producer
    std::atomic<std::size_t> tail_{0};  // written by the consumer
    std::atomic<std::uint32_t> dropped_{0};
};
