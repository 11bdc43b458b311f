// Serial port seam: open a numbered port exclusively with the platform's line
// settings (115200 baud, 8N1, no flow control, DTR/RTS off) and read every
// byte already waiting with one call, blocking only while nothing waits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace platform {

enum class SerialRead {
    Data,         // one or more bytes were delivered
    Empty,        // the read completed without a byte (driver time-out); try again
    Gone,         // the read failed or the device went away; reopen it
    Interrupted,  // interrupt() was called
};

class SerialPort {
  public:
    explicit SerialPort(int portNumber);
    // A port named by its device path (e.g. /dev/ttyUSB0) instead of a number.
    explicit SerialPort(std::string devicePath);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens (or reopens) the device with the line settings. False when it
    // does not exist, is in use, or access is denied.
    bool open();
    // Why the last open() failed, in one line for the user: the device tried, the reason,
    // and the devices there are instead. Empty after a success, and where the platform
    // has nothing to say.
    std::string openFailure() const;
    // After a successful open(): why the device is no serial port and takes no line settings
    // (a plain file, /dev/null), in one line for the user; empty for a serial port. Such a port
    // delivers nothing: read() waits for interrupt(). Pipes and sockets are read as they are.
    std::string lineFailure() const;
    void close();
    bool isOpen() const;

    // Delivers the bytes already waiting, as many as `buffer` holds, into its
    // front and their number into `count` (Data); `buffer` must not be empty.
    // When none is waiting, blocks until one arrives, the device fails, or
    // interrupt() is called.
    SerialRead read(std::span<std::uint8_t> buffer, std::size_t& count);

    // Thread-safe: wakes a blocked read, which returns Interrupted; every
    // later read returns Interrupted as well.
    void interrupt();

    // An identifier of the open device (file descriptor or handle), -1 if none.
    std::intptr_t nativeHandle() const;

    // The device path the port number maps to (or the path given).
    std::string deviceName() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
