// SensorLink: the serial connection to the platform's controller, the latest
// readings the reader thread parses out of its stream, and the tare values.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class StreamReader;

struct SensorLink {
    bool connected = false;
    std::int32_t portNumber = -1;
    // Handle of the open port as the reader thread holds it; -1 when none.
    // The reader replaces it after reopening an unplugged device.
    std::atomic<std::intptr_t> portHandle{-1};
    // Written by the reader thread, read by the main thread: each value is
    // read and written whole, with no ordering between them.
    std::atomic<float> rawLoad[8];
    std::atomic<float> tick{0.0f};
    // How many frames have arrived: counts the stores of the frame counter,
    // the last field of a frame. Only its changes matter (link_watch.h).
    std::atomic<std::uint32_t> frames{0};
    float tare[8] = {};
    // The reader thread, started by the first successful opening.
    std::unique_ptr<StreamReader> readerThread;
    std::uint32_t readerThreadId = 0xFFFFFFFFu;

    SensorLink();
    ~SensorLink();

    static SensorLink& instance();

    // Back to the initial values; a running reader is stopped first, which
    // closes its port.
    void reset();

    // Stores a parsed stream field: 0..7 a sensor load, 8 the frame counter.
    void store(int index, float value) {
        (index < 8 ? rawLoad[index] : tick).store(value, std::memory_order_relaxed);
        if (index == 8) frames.fetch_add(1, std::memory_order_relaxed);
    }

    // Relaxed accessors for the values shared with the reader thread.
    float load(int i) const { return rawLoad[i].load(std::memory_order_relaxed); }
    float currentTick() const { return tick.load(std::memory_order_relaxed); }
    std::uint32_t frameCount() const { return frames.load(std::memory_order_relaxed); }
};

// Opens the port numbered comID of WalkState (or the device set below), starts the reader
// thread, waits 500 ms for the first frame and captures the tare. Does nothing when already
// connected; reports its outcome through SensorLink::connected, and a failure also on
// standard error in one line (where the platform says why).
void openSensorPort();

// A device path that the openings use instead of comID's port (empty: comID's port again).
void setSensorPortDevice(std::string devicePath);

// Copies the latest raw loads into the tare when connected.
void captureTare();

// Stops the reader thread and closes the port (orderly shutdown and tests).
// Leaves `connected` as it is.
void stopSensorReader();
