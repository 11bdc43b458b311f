// Serial port seam: open a numbered port exclusively with the platform's line
// settings (115200 baud, 8N1, no flow control, DTR/RTS off) and read it one
// byte at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

enum class SerialRead {
    Byte,         // one byte was delivered
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
    void close();
    bool isOpen() const;

    // Blocks until a byte arrives, the device fails, or interrupt() is called.
    SerialRead readByte(std::uint8_t& byte);

    // Thread-safe: wakes a blocked readByte, which returns Interrupted; every
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
