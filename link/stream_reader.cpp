// The serial reader thread: read what is waiting, hand it to the stream recorder,
// parse it byte by byte, store each value the moment its separator is parsed.
#include "link/stream_reader.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <system_error>

#include "link/sensor_link.h"
#include "link/stream_parser.h"
#include "link/stream_recorder.h"

namespace {
// Pauses between attempts to reopen a device that went away: the first soon, so that a
// replug is taken up at once, then ever longer up to a few attempts a second, so that a
// platform that stays away costs next to nothing.
constexpr std::chrono::milliseconds kFirstRetryPause{10};
constexpr std::chrono::milliseconds kLongestRetryPause{250};
// Bytes taken per read: far more than the line delivers between two reads.
constexpr std::size_t kReadSize = 4096;
}  // namespace

StreamReader::StreamReader(std::unique_ptr<platform::SerialPort> port, SensorLink& link)
    : port_(std::move(port)), link_(link) {
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had (out of threads or memory): the port stays open and the link
        // connected, but no reading arrives.
    }
}

StreamReader::~StreamReader() {
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        stop_ = true;
    }
    stopped_.notify_all();
    port_->interrupt();
    if (thread_.joinable()) thread_.join();
    port_->close();
}

void StreamReader::run() {
    StreamParser parser;
    StreamParser::Field field{};
    std::array<std::uint8_t, kReadSize> buffer;
    StreamRecorder& recorder = StreamRecorder::instance();
    for (;;) {
        std::size_t count = 0;
        switch (port_->read(buffer, count)) {
            case platform::SerialRead::Data: {
                const auto arrival = std::chrono::steady_clock::now();
                retryPause_ = kFirstRetryPause;
                // A copy for the recording, if one runs; the disk is never waited for.
                recorder.feed(std::span<const std::uint8_t>(buffer.data(), count));
                for (std::size_t i = 0; i < count; ++i) {
                    bool endedFrame = false;
                    if (parser.feed(buffer[i], field)) {
                        link_.store(field.index, field.value, field.wellFormed, arrival);
                        endedFrame = field.index == 8 && field.wellFormed;
                    }
                    link_.strayText.noteByte(buffer[i], endedFrame);
                }
                break;
            }
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
    // The pause grows until data arrives again, also over openings that succeed on a device
    // that fails at its first read.
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(stopMutex_);
            if (stopped_.wait_for(lock, retryPause_, [this] { return stop_; })) return false;
        }
        retryPause_ = std::min(retryPause_ * 2, kLongestRetryPause);
        if (port_->open()) return true;  // closes the old descriptor first
    }
}
