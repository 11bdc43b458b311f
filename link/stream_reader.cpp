// The serial reader thread: read what is waiting, hand it to the stream recorder,
// parse it byte by byte, store each value the moment its separator is parsed.
#include "link/stream_reader.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <system_error>

#include "link/sensor_link.h"
#include "link/stream_parser.h"
#include "link/stream_recorder.h"

namespace {
// Pause between attempts after a failed read, so an unplugged device does not
// turn the reader into a busy loop.
constexpr auto kRetryPause = std::chrono::milliseconds(10);
// Bytes taken per read: far more than the line delivers between two reads.
constexpr std::size_t kReadSize = 4096;
}  // namespace

StreamReader::StreamReader(std::unique_ptr<platform::SerialPort> port, SensorLink& link)
    : port_(std::move(port)), link_(link) {
    link_.portHandle.store(port_->nativeHandle(), std::memory_order_relaxed);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had (out of threads or memory): the port stays open and the link
        // connected, but no reading arrives.
    }
}

StreamReader::~StreamReader() {
    stop_.store(true);
    port_->interrupt();
    if (thread_.joinable()) thread_.join();
    port_->close();
    link_.portHandle.store(-1, std::memory_order_relaxed);
}

void StreamReader::run() {
    StreamParser parser;
    StreamParser::Field field{};
    std::array<std::uint8_t, kReadSize> buffer;
    StreamRecorder& recorder = StreamRecorder::instance();
    while (!stop_.load(std::memory_order_relaxed)) {
        std::size_t count = 0;
        switch (port_->read(buffer, count)) {
            case platform::SerialRead::Data:
                // A copy for the recording, if one runs; the disk is never waited for.
                recorder.feed(std::span<const std::uint8_t>(buffer.data(), count));
                for (std::size_t i = 0; i < count; ++i) {
                    if (parser.feed(buffer[i], field)) link_.store(field.index, field.value);
                }
                break;
            case platform::SerialRead::Empty:
                // A driver time-out with the device still there: read again
                // at once so live data gets no added latency.
                break;
            case platform::SerialRead::Gone:
                if (!reopen()) return;
                break;
            case platform::SerialRead::Interrupted:
                return;
        }
    }
}

bool StreamReader::reopen() {
    // The last values stay in SensorLink until new ones arrive; the parser
    // keeps its state too, and the next "!" resynchronises it.
    for (;;) {
        std::this_thread::sleep_for(kRetryPause);
        if (stop_.load(std::memory_order_relaxed)) return false;
        if (port_->open()) {  // closes the old descriptor first
            link_.portHandle.store(port_->nativeHandle(), std::memory_order_relaxed);
            reopens_.fetch_add(1, std::memory_order_relaxed);
            return true;
        }
    }
}
