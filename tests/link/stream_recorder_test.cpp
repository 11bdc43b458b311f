// The stream recorder against the real file system: the bytes fed from another thread arrive
// in the file whole and in order; a burst beyond its buffer is dropped and counted; a full
// disk (a file size limit) and a folder that cannot be made end the recording with the
// system's reason.
#include "link/stream_recorder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/support.h"

using namespace std::chrono_literals;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::waitUntil;

namespace {

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(StreamRecorder, KeepsEveryByteInOrderAsTheReaderHandsThemOver) {
    TempDir dir;
    StreamRecorder recorder;
    ASSERT_TRUE(recorder.start(dir.file("walk.txt")));
    EXPECT_TRUE(recorder.status().recording);

    // Reads of every size, at about the pace of a busy line, from a thread of their own.
    std::string sent;
    std::thread reader([&] {
        std::mt19937 random(7);
        for (int read = 0; read < 400; ++read) {
            std::string chunk(std::uniform_int_distribution<int>(1, 700)(random), '\0');
            for (char& c : chunk) c = static_cast<char>(random());
            sent += chunk;
            recorder.feed(bytesOf(chunk));
            if (read % 20 == 0) std::this_thread::sleep_for(5ms);
        }
    });
    reader.join();
    recorder.stop();

    EXPECT_EQ(readFile(dir.file("walk.txt")), sent);
    const StreamRecorder::Status status = recorder.status();
    EXPECT_FALSE(status.recording);
    EXPECT_EQ(status.written, sent.size());
    EXPECT_EQ(status.dropped, 0u);
    EXPECT_EQ(status.failure, "");
    // Fed after the end: nothing more reaches the file.
    recorder.feed(bytesOf("!1,2,3"));
    EXPECT_EQ(readFile(dir.file("walk.txt")).size(), sent.size());
}

TEST(StreamRecorder, ABurstBeyondItsBufferIsDroppedAndCountedInsteadOfWaitedFor) {
    TempDir dir;
    StreamRecorder recorder;
    ASSERT_TRUE(recorder.start(dir.file("burst.txt")));
    std::string sent;
    const std::string chunk(4096, 'x');
    for (int i = 0; i < 256; ++i) {  // 1 MiB at once, far beyond two buffers
        std::string numbered = chunk;
        numbered[0] = static_cast<char>(i);
        sent += numbered;
        recorder.feed(bytesOf(numbered));
    }
    recorder.stop();
    const StreamRecorder::Status status = recorder.status();
    const std::string kept = readFile(dir.file("burst.txt"));
    EXPECT_GT(status.dropped, 0u);
    EXPECT_EQ(status.written + status.dropped, sent.size());
    EXPECT_EQ(kept.size(), status.written);
    // What was taken before the buffer filled is there unchanged.
    EXPECT_EQ(kept.substr(0, StreamRecorder::kBufferSize / 2),
              sent.substr(0, StreamRecorder::kBufferSize / 2));
}

TEST(StreamRecorder, AFullDiskEndsTheRecordingWithItsReasonAndKeepsWhatFitted) {
    TempDir dir;
    const std::string path = dir.file("full.txt");
    // A file size limit stands in for a full disk: writes stop after 1000 bytes.
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        StreamRecorder recorder;
        if (!recorder.start(path)) ::_exit(10);
        const std::string chunk(300, 'a');
        for (int i = 0; i < 10; ++i) {
            recorder.feed(bytesOf(chunk));
            std::this_thread::sleep_for(30ms);
        }
        const bool ended = waitUntil([&] { return !recorder.status().recording; }, 10s);
        const StreamRecorder::Status status = recorder.status();
        recorder.feed(bytesOf(chunk));  // harmless now
        recorder.stop();
        if (!ended) ::_exit(11);
        if (status.failure != "File too large") ::_exit(12);
        ::_exit(0);
    }
    int code = 0;
    ASSERT_EQ(::waitpid(pid, &code, 0), pid);
    ASSERT_TRUE(WIFEXITED(code));
    EXPECT_EQ(WEXITSTATUS(code), 0);
    EXPECT_EQ(readFile(path), std::string(1000, 'a'));
}

TEST(StreamRecorder, AFolderThatCannotBeMadeIsToldAndNothingIsRecorded) {
    TempDir dir;
    testsupport::writeFile(dir.file("recordings"), "a file, not a folder");
    StreamRecorder recorder;
    EXPECT_FALSE(recorder.start(dir.file("recordings/tarvel-1.txt"), /*createFolders=*/true));
    const StreamRecorder::Status status = recorder.status();
    EXPECT_FALSE(status.recording);
    EXPECT_EQ(status.path, dir.file("recordings/tarvel-1.txt"));
    EXPECT_NE(status.failure, "");
    recorder.feed(bytesOf("!1,2"));
    recorder.stop();
    EXPECT_EQ(readFile(dir.file("recordings")), "a file, not a folder");
}

TEST(StreamRecorder, RecordingNamesCarryTheLocalTimeAndNeverReuseAName) {
    TempDir dir;
    std::tm moment{};
    moment.tm_year = 2024 - 1900;
    moment.tm_mon = 2;
    moment.tm_mday = 9;
    moment.tm_hour = 7;
    moment.tm_min = 5;
    moment.tm_sec = 3;
    moment.tm_isdst = -1;
    const std::time_t when = std::mktime(&moment);
    const std::string first = timestampedRecordingPath(dir.path(), when);
    EXPECT_EQ(first, dir.file("tarvel-20240309-070503.txt"));
    testsupport::writeFile(first, "");
    EXPECT_EQ(timestampedRecordingPath(dir.path(), when), dir.file("tarvel-20240309-070503-2.txt"));
}

}  // namespace
