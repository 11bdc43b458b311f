// Serial port on Windows: CreateFileA on \\.\COM<n>, opened exclusively for overlapped I/O,
// the line set from a zeroed DCB, and overlapped reads of all that is queued; only an empty
// queue waits, in a one-byte read that a stop event can end.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/serial.h"

namespace platform {

static_assert(sizeof(DCB) == 28, "the DCB record is 28 bytes on every Windows target");

struct SerialPort::Impl {
    int portNumber = 0;
    std::string givenPath;  // the device named instead of a number, if any
    HANDLE port = INVALID_HANDLE_VALUE;
    // Manual-reset, unnamed, initially clear: the completion event of the overlapped read.
    HANDLE readEvent = nullptr;
    // Manual-reset: set by interrupt() and never cleared again; ends a read that waits.
    HANDLE stopEvent = nullptr;
    // Set by interrupt() before the stop event; checked before each read without a system call.
    std::atomic<bool> interrupted{false};
    // The open device refused the line settings: no serial port, nothing is read from it.
    bool notSerial = false;
};

SerialPort::SerialPort(int portNumber) : impl_(std::make_unique<Impl>()) {
    impl_->portNumber = portNumber;
    impl_->readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    impl_->stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

SerialPort::SerialPort(std::string devicePath) : SerialPort(0) {
    impl_->givenPath = std::move(devicePath);
}

SerialPort::~SerialPort() {
    close();
    if (impl_->readEvent) CloseHandle(impl_->readEvent);
    if (impl_->stopEvent) CloseHandle(impl_->stopEvent);
}

std::string SerialPort::deviceName() const {
    if (!impl_->givenPath.empty()) return impl_->givenPath;
    // Every port number in the device namespace form, the single-digit ones too (COM10 and
    // above have no other name).
    char name[100];
    std::snprintf(name, sizeof name, "\\\\.\\COM%d", impl_->portNumber);
    return name;
}

bool SerialPort::open() {
    close();
    const std::string name = deviceName();
    // Read and write, share mode 0 (nobody else may open the port meanwhile), overlapped.
    HANDLE port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;

    // 115200 baud, 8 data bits, no parity, one stop bit; every flag zero, so no flow control,
    // DTR and RTS held off, no character replaced. A device that refuses them is no serial port
    // (a plain file, NUL): it counts as open, but nothing is read from it.
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    const bool lineSet = SetCommState(port, &dcb) != 0;
    const DWORD type = GetFileType(port);
    impl_->notSerial = type == FILE_TYPE_DISK || (type == FILE_TYPE_CHAR && !lineSet);

    // Reads wait for their byte. Time-outs left behind by another program (an interval of
    // MAXDWORD answers every read at once with nothing) would spin the reader without pause.
    COMMTIMEOUTS timeouts;
    std::memset(&timeouts, 0, sizeof timeouts);
    SetCommTimeouts(port, &timeouts);

    impl_->port = port;
    return true;
}

// A GUI program without a console: a failed opening shows only in the status text.
std::string SerialPort::openFailure() const {
    return {};
}

std::string SerialPort::lineFailure() const {
    if (!isOpen() || !impl_->notSerial) return {};
    return deviceName() + " is not a serial port: nothing is read from it";
}

void SerialPort::close() {
    if (impl_->port != INVALID_HANDLE_VALUE) {
        CloseHandle(impl_->port);
        impl_->port = INVALID_HANDLE_VALUE;
    }
}

bool SerialPort::isOpen() const {
    return impl_->port != INVALID_HANDLE_VALUE;
}

std::intptr_t SerialPort::nativeHandle() const {
    return impl_->port == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(impl_->port);
}

SerialRead SerialPort::read(std::span<std::uint8_t> buffer, std::size_t& count) {
    count = 0;
    if (impl_->interrupted.load(std::memory_order_relaxed)) return SerialRead::Interrupted;
    if (impl_->port == INVALID_HANDLE_VALUE) return SerialRead::Gone;
    if (impl_->notSerial) {
        WaitForSingleObject(impl_->stopEvent, INFINITE);
        return SerialRead::Interrupted;
    }

    // Ask for exactly what the driver has queued, so the read completes at once; with an
    // empty queue (or a device that cannot tell) ask for one byte and wait for it.
    COMSTAT status;
    std::memset(&status, 0, sizeof status);
    DWORD errors = 0;
    DWORD wanted = 1;
    if (ClearCommError(impl_->port, &errors, &status) && status.cbInQue > 0) {
        wanted = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, buffer.size()));
    }

    // ReadFile clears the completion event itself when it starts the read.
    OVERLAPPED read;
    std::memset(&read, 0, sizeof read);
    read.hEvent = impl_->readEvent;
    DWORD received = 0;
    // The buffer is the caller's and stays valid until this call returns, which is after the
    // system has let go of the read, cancelled or not.
    if (!ReadFile(impl_->port, buffer.data(), wanted, &received, &read)) {
        if (GetLastError() != ERROR_IO_PENDING) return SerialRead::Gone;
        HANDLE events[2] = {impl_->readEvent, impl_->stopEvent};
        const DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (woken != WAIT_OBJECT_0) {
            // Stopping: take the read back and wait until the system has let go of it.
            CancelIoEx(impl_->port, &read);
            GetOverlappedResult(impl_->port, &read, &received, TRUE);
            return SerialRead::Interrupted;
        }
        if (!GetOverlappedResult(impl_->port, &read, &received, TRUE)) return SerialRead::Gone;
    }
    if (received == 0) return SerialRead::Empty;
    count = received;
    return SerialRead::Data;
}

void SerialPort::interrupt() {
    impl_->interrupted.store(true, std::memory_order_relaxed);
    if (impl_->stopEvent) SetEvent(impl_->stopEvent);
}

}  // namespace platform
