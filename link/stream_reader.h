// StreamReader: the thread that reads the platform's serial port (all bytes
// waiting at each read), parses the stream and stores each value into
// SensorLink. It also rides out an unplugged device by reopening the same port.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/serial.h"

struct SensorLink;

class StreamReader {
  public:
    // Takes over an open port and starts reading at once. When no thread can be started,
    // nothing is read and the port stays open until destruction.
    StreamReader(std::unique_ptr<platform::SerialPort> port, SensorLink& link);
    // Stops the thread (waking a blocked read or a pause between reopenings) and closes the port.
    ~StreamReader();
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

  private:
    void run();
    // Waits for the device to come back; false when asked to stop meanwhile.
    bool reopen();

    std::unique_ptr<platform::SerialPort> port_;
    SensorLink& link_;
    // Guards stop_ for the pauses between reopenings, which wake on it.
    std::mutex stopMutex_;
    std::condition_variable stopped_;
    bool stop_ = false;
    // The pause before the next reopening (the reader thread's own).
    std::chrono::milliseconds retryPause_{10};
    std::thread thread_;
};
