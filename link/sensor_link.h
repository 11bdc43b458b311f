// SensorLink: the serial connection to the platform's controller, the latest
// readings the reader thread parses out of its stream, and the tare values.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "link/sensor_frame.h"
#include "link/stray_text.h"

class StreamReader;

struct SensorLink {
    bool connected = false;
    // Written by the reader thread, read by the main thread: each value is
    // read and written whole, with no ordering between them (the tare takes latestFrame()).
    std::atomic<float> rawLoad[8];
    std::atomic<float> tick{0.0f};
    float tare[8] = {};
    // The reader thread, started by the first successful opening.
    std::unique_ptr<StreamReader> readerThread;
    // Every frame as its counter was stored, from the reader thread to the passes.
    FrameRing frames;
    // What the port sends that is not platform frames.
    StrayText strayText;
    // The device of the last successful opening, for the messages that name it.
    std::string deviceName;

    SensorLink();
    ~SensorLink();

    static SensorLink& instance();

    // Back to the initial values; a running reader is stopped first, which
    // closes its port.
    void reset();

    // Stores a parsed stream field: 0..7 a sensor load, 8 the frame counter. The counter also
    // completes a frame, which is handed to the passes with the values as they now stand.
    void store(int index, float value, bool wellFormed = false,
               std::chrono::steady_clock::time_point arrival = {}) {
        (index < 8 ? rawLoad[index] : tick).store(value, std::memory_order_relaxed);
        if (index == 8) {
            SensorFrame frame;
            for (int i = 0; i < 8; ++i) frame.rawLoad[i] = load(i);
            frame.tick = value;
            frame.wellFormed = wellFormed;
            frame.arrival = arrival;
            frames.push(frame);
            const std::lock_guard<std::mutex> lock(latestMutex_);
            latest_ = frame;
        }
    }

    // The loads of the latest frame, all eight from that one frame (-1 each before the first).
    void latestLoads(float (&loads)[8]) const {
        const std::lock_guard<std::mutex> lock(latestMutex_);
        for (int i = 0; i < 8; ++i) loads[i] = latest_.rawLoad[i];
    }

    // Relaxed accessors for the values shared with the reader thread.
    float load(int i) const { return rawLoad[i].load(std::memory_order_relaxed); }
    float currentTick() const { return tick.load(std::memory_order_relaxed); }

  private:
    // The frame the counter completed last, whole: the reader writes it once a frame, the
    // main thread reads it for the tare.
    mutable std::mutex latestMutex_;
    SensorFrame latest_{{-1, -1, -1, -1, -1, -1, -1, -1}, 0.0f, false, {}};
};

// Opens the serial port numbered `portNumber` (or the device set below), starts the reader
// thread, waits for the first frame and captures the tare. Does nothing when already connected;
// reports its outcome through SensorLink::connected, and a failure also on standard error in
// one line (where the platform says why), as well as a device that is no serial port.
void openSensorPort(int portNumber);

// A device path that the openings use instead of the numbered port (empty: the number again).
void setSensorPortDevice(std::string devicePath);

// Copies the loads of the latest whole frame into the tare when connected.
void captureTare();

// Stops the reader thread and closes the port (orderly shutdown and tests).
// Leaves `connected` as it is.
void stopSensorReader();
