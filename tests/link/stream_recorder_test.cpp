// The stream recorder against the real file system: a burst beyond its buffer is dropped and
// counted instead of waited for, and recordings are named by their local time without ever
// reusing a name. (The bytes of a whole run, a full disk and a folder that cannot be made are
// tested with the program: tests/integration/record_replay_test.cpp and the graph window's.)
#include "link/stream_recorder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/support/as_user.h"
#include "tests/support/support.h"

using testsupport::readFile;
using testsupport::TempDir;

namespace {

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(StreamRecorder, ABurstBeyondItsBufferIsDroppedAndCountedInsteadOfWaitedFor) {
    TempDir dir;
    StreamRecorder recorder;
    ASSERT_TRUE(recorder.start(dir.file("burst.txt")));
    // More at once than the buffer holds, whatever the disk does meanwhile.
    std::string sent = "!1,2,3\r\n";
    recorder.feed(bytesOf(sent));
    std::string burst(3 * StreamRecorder::kBufferSize, 'x');
    for (std::size_t i = 0; i < burst.size(); i += 977) burst[i] = static_cast<char>(i / 977);
    recorder.feed(bytesOf(burst));
    sent += burst;
    recorder.stop();
    const StreamRecorder::Status status = recorder.status();
    const std::string kept = readFile(dir.file("burst.txt"));
    EXPECT_GE(status.dropped, 2 * StreamRecorder::kBufferSize);
    EXPECT_EQ(status.written + status.dropped, sent.size());
    EXPECT_EQ(kept, sent.substr(0, kept.size()));
    EXPECT_EQ(kept.size(), status.written);
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

// What another user may put where recordings go is never written through: their recordings
// folder, a link named for a coming recording (even in the user's own folder), and a pipe given
// as the recording, which would otherwise wait for a reader for ever.
TEST(StreamRecorder, RecordsOnlyIntoNewRegularFilesOfTheUsersOwn) {
    TempDir dir;
    StreamRecorder recorder;
    const std::string victim = dir.file("profile");
    std::filesystem::create_directory(dir.file("recordings"));
    ASSERT_EQ(::symlink(victim.c_str(), dir.file("recordings/next.txt").c_str()), 0);
    EXPECT_FALSE(recorder.start(dir.file("recordings/next.txt"), true));
    EXPECT_EQ(recorder.status().failure, "File exists");
    EXPECT_FALSE(testsupport::fileExists(victim));

    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(recorder.start(dir.file("fifo")));
    EXPECT_EQ(recorder.status().failure, "it is not a regular file");

    if (const auto other = settingstest::otherUser()) {
        ASSERT_EQ(::chown(dir.file("recordings").c_str(), other->pw_uid, other->pw_gid), 0);
        EXPECT_FALSE(recorder.start(dir.file("recordings/new.txt"), true));
        EXPECT_EQ(recorder.status().failure, "the folder recordings belongs to another user (uid " +
                                                 std::to_string(other->pw_uid) + ")");
    }
    // The user's own new recording is made, its folder too.
    EXPECT_TRUE(recorder.start(dir.file("made/new.txt"), true));
    recorder.stop();
    EXPECT_TRUE(testsupport::fileExists(dir.file("made/new.txt")));
}

}  // namespace
