// The stream recorder: a bounded double buffer between the reader thread and a writer thread
// that writes to the recording file.
#include "link/stream_recorder.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/file_names.h"
#include "platform/own_files.h"

namespace {

std::string reasonOf(int error) {
    return error != 0 ? std::strerror(error) : "unknown error";
}

}  // namespace

StreamRecorder& StreamRecorder::instance() {
    static StreamRecorder* recorder = new StreamRecorder();
    return *recorder;
}

StreamRecorder::~StreamRecorder() {
    stop();
}

bool StreamRecorder::start(const std::string& path, bool createFolders) {
    stop();
    std::string why;
    std::FILE* file = platform::createRecordingFile(path, createFolders, why);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = Status{};
        status_.path = path;
        if (file == nullptr) status_.failure = why;
    }
    changed();
    if (file == nullptr) {
        std::fprintf(stderr, "tarvel: cannot record to %s: %s\n", path.c_str(), why.c_str());
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    // The buffers are made once and kept: a recording allocates nothing while it runs.
    if (!fill_) fill_ = std::make_unique<std::uint8_t[]>(kBufferSize);
    if (!drain_) drain_ = std::make_unique<std::uint8_t[]>(kBufferSize);
    fillSize_ = 0;
    stopping_ = false;
    wakeRequested_ = false;
    file_ = file;
    status_.recording = true;
    try {
        writer_ = std::thread([this] { run(); });
    } catch (const std::system_error& e) {
        std::fclose(file_);
        file_ = nullptr;
        status_.recording = false;
        status_.failure = e.what();
        std::fprintf(stderr, "tarvel: cannot record to %s: %s\n", path.c_str(), e.what());
        return false;
    }
    accepting_.store(true, std::memory_order_relaxed);
    return true;
}

void StreamRecorder::feed(std::span<const std::uint8_t> bytes) {
    if (!accepting_.load(std::memory_order_relaxed) || bytes.empty()) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!accepting_.load(std::memory_order_relaxed)) return;
    const std::size_t taken = std::min(bytes.size(), kBufferSize - fillSize_);
    std::memcpy(fill_.get() + fillSize_, bytes.data(), taken);
    fillSize_ += taken;
    if (taken < bytes.size()) status_.dropped += bytes.size() - taken;
    // Far more than a write period brings at the platform's rate: the writer is asked to come
    // early, once, so that a burst does not have to wait for the period.
    if (fillSize_ >= kBufferSize / 2 && !wakeRequested_) {
        wakeRequested_ = true;
        wake_.notify_one();
    }
}

bool StreamRecorder::writeOut(const std::uint8_t* data, std::size_t size, std::string& why) {
    errno = 0;
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) {
        why = reasonOf(errno);
        return false;
    }
    // Handed to the system at every period, so that little is lost if the program dies.
    if (std::fflush(file_) != 0) {
        why = reasonOf(errno);
        return false;
    }
    return true;
}

void StreamRecorder::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    std::uint64_t droppedSeen = 0;
    // Taken once: the path does not change while this recording runs (start() ends it first).
    const std::string path = status_.path;
    for (;;) {
        wake_.wait_for(lock, kWritePeriod, [this] { return stopping_ || wakeRequested_; });
        wakeRequested_ = false;
        std::swap(fill_, drain_);
        const std::size_t size = fillSize_;
        fillSize_ = 0;
        const bool last = stopping_;
        const std::uint64_t dropped = status_.dropped;
        lock.unlock();

        std::string why;
        const bool ok = writeOut(drain_.get(), size, why);
        if (dropped > droppedSeen && droppedSeen == 0) {
            std::fprintf(stderr,
                         "tarvel: the recording to %s is losing bytes: the disk does not keep up\n",
                         path.c_str());
        }

        lock.lock();
        if (dropped != droppedSeen) {
            droppedSeen = dropped;
            changed();
        }
        if (!ok) {
            accepting_.store(false, std::memory_order_relaxed);
            std::fclose(file_);
            file_ = nullptr;
            // Part of the failed write may have gone in: the file says what was kept.
            std::error_code error;
            const std::uintmax_t kept =
                std::filesystem::file_size(platform::fileSystemPath(path), error);
            if (!error) status_.written = kept;
            status_.recording = false;
            status_.failure = why;
            changed();
            std::fprintf(stderr,
                         "tarvel: the recording to %s stopped: %s (%" PRIu64 " bytes kept)\n",
                         path.c_str(), why.c_str(), status_.written);
            return;
        }
        status_.written += size;
        if (last) return;
    }
}

void StreamRecorder::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!writer_.joinable()) return;
        accepting_.store(false, std::memory_order_relaxed);
        stopping_ = true;
        wake_.notify_one();
    }
    writer_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    if (file_ != nullptr) {
        errno = 0;
        if (std::fclose(file_) != 0 && status_.failure.empty()) {
            status_.failure = reasonOf(errno);
            std::fprintf(stderr, "tarvel: the recording to %s was not closed cleanly: %s\n",
                         status_.path.c_str(), status_.failure.c_str());
        }
        file_ = nullptr;
    }
    if (status_.dropped > 0) {
        std::fprintf(stderr, "tarvel: the recording to %s lost %" PRIu64 " bytes\n",
                     status_.path.c_str(), status_.dropped);
    }
    status_.recording = false;
    changed();
}

StreamRecorder::Status StreamRecorder::status() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

std::string timestampedRecordingPath(const std::string& folder, std::time_t when) {
    char stamp[32] = {};
    // Main thread only, so the shared result of localtime is safe here.
    const std::tm* local = std::localtime(&when);
    if (local == nullptr || std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local) == 0) {
        std::snprintf(stamp, sizeof stamp, "%lld", static_cast<long long>(when));
    }
    const std::string base = folder + "/tarvel-" + stamp;
    std::string path = base + ".txt";
    std::error_code error;
    // A link counts as taken, even one that leads nowhere.
    auto taken = [&error](const std::string& p) {
        return std::filesystem::exists(
            std::filesystem::symlink_status(platform::fileSystemPath(p), error));
    };
    for (int n = 2; taken(path) && n < 1000; ++n) {
        path = base + "-" + std::to_string(n) + ".txt";
    }
    return path;
}
