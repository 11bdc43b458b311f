// StreamRecorder: writes the platform's serial stream to a file exactly as the reader thread
// receives it, for tuning and for problem reports; the simulator's replay plays it back.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>

// The reader thread hands its bytes over without ever waiting for the disk: they are copied
// into one of two fixed buffers, which a writer thread of the recorder's own swaps and writes
// out every kWritePeriod. Bytes that find the buffer full (a disk that does not keep up) are
// dropped and counted, never waited for. A write that fails (a full disk) ends the recording
// with a message and changes nothing else.
class StreamRecorder {
  public:
    // Each of the two buffers; at the platform's ~5 KB a second it holds over ten seconds.
    static constexpr std::size_t kBufferSize = 64 * 1024;
    static constexpr std::chrono::milliseconds kWritePeriod{100};

    // The recorder of the program's serial stream, created on first use and never freed: the
    // reader thread may still feed it while static objects are torn down.
    static StreamRecorder& instance();

    StreamRecorder() = default;
    ~StreamRecorder();
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    // Starts recording into `path`, ending a recording in progress first: a regular file,
    // created or emptied (platform::createRecordingFile); with createFolders a new file that
    // nothing has the name of yet, its missing folders made. False when the file cannot be
    // made or is refused (a pipe, another user's folder or link): the reason is in
    // status().failure and on standard error in one line.
    bool start(const std::string& path, bool createFolders = false);
    // Writes out what is buffered, closes the file and ends the writer thread. Does nothing
    // when not recording; may be called again.
    void stop();
    // From the reader thread: the bytes just read. Returns at once.
    void feed(std::span<const std::uint8_t> bytes);

    struct Status {
        bool recording = false;
        std::string path;           // of the recording in progress or the last one
        std::uint64_t written = 0;  // bytes in the file
        std::uint64_t dropped = 0;  // bytes lost because the writer fell behind
        std::string failure;        // why the last recording ended by itself or never began
    };
    Status status() const;
    // Changes whenever status() does, apart from `written`: a display compares it to know
    // when to show the status again.
    std::uint32_t generation() const { return generation_.load(std::memory_order_relaxed); }

  private:
    void run();
    // Writes the buffer that run() took; false with errno's reason in `why` on failure.
    bool writeOut(const std::uint8_t* data, std::size_t size, std::string& why);
    void changed() { generation_.fetch_add(1, std::memory_order_relaxed); }

    // Guards everything below it but `file_`, which the writer thread owns while it runs.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<std::uint8_t[]> fill_;   // the reader's side
    std::unique_ptr<std::uint8_t[]> drain_;  // the writer's side
    std::size_t fillSize_ = 0;
    bool stopping_ = false;
    bool wakeRequested_ = false;
    Status status_;
    std::atomic<bool> accepting_{false};  // read by feed() before it takes the lock
    std::atomic<std::uint32_t> generation_{0};
    std::thread writer_;
    std::FILE* file_ = nullptr;
};

// Where the graph window's 記録 puts a recording begun at `when`:
// "<folder>/tarvel-YYYYMMDD-HHMMSS.txt" in local time, with "-2", "-3", ... before ".txt"
// when that name is taken already.
std::string timestampedRecordingPath(const std::string& folder, std::time_t when);
