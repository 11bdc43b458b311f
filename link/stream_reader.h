// StreamReader: the thread that reads the platform's serial port (all bytes
// waiting at each read), parses the stream and stores each value into
// SensorLink. It also rides out an unplugged device by reopening the same port.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "platform/serial.h"

struct SensorLink;

class StreamReader {
  public:
    // Takes over an open port and starts reading at once. When no thread can be started,
    // nothing is read and the port stays open until destruction.
    StreamReader(std::unique_ptr<platform::SerialPort> port, SensorLink& link);
    // Stops the thread (waking a blocked read) and closes the port.
    ~StreamReader();
    StreamReader(const StreamReader&) = delete;
    StreamReader& operator=(const StreamReader&) = delete;

    std::thread::id threadId() const { return thread_.get_id(); }
    // How often the port was reopened after the device went away.
    std::uint32_t reopenCount() const { return reopens_.load(std::memory_order_relaxed); }

  private:
    void run();
    // Waits for the device to come back; false when asked to stop meanwhile.
    bool reopen();

    std::unique_ptr<platform::SerialPort> port_;
    SensorLink& link_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint32_t> reopens_{0};
    std::thread thread_;
};
