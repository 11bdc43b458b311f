// The built program's --record on a private Xvfb: a walk from the simulator, recorded by the
// program and played back by the simulator's replay, gives the program the same datagram
// sequence, the same step count and the same recording again, whole also when the program
// ends by a signal or the display going away; a disk that fills up ends the recording with a
// message while the program runs on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/support.h"
#include "tests/support/x_session.h"

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::fileExists;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::waitUntil;

namespace {

// What the simulator writes to its standard output with these options, as fast as it can.
std::string simulatorOutput(const TempDir& dir, const std::string& name,
                            const std::vector<std::string>& options) {
    std::vector<std::string> command = {testsupport::simulatorBinary(), "--stdout", "--quiet"};
    command.insert(command.end(), options.begin(), options.end());
    ChildProcess simulator(command, dir.path(), dir.file(name));
    EXPECT_EQ(simulator.wait(30s), 0);
    return readFile(dir.file(name));
}

// The fields of a datagram that come from its frame alone: the upper, left and right averages,
// the direction and the angle.
std::string ofThisFrame(const std::string& datagram) {
    const std::vector<std::string> fields = testsupport::datagramFields(datagram);
    if (fields.size() < 10) return {};
    return fields[2] + fields[3] + fields[4] + fields[7] + fields[8] + fields[9];
}

// The frames of a stream, each from its "!" up to the next.
std::vector<std::string> framesOf(const std::string& bytes) {
    std::vector<std::string> frames;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t next = bytes.find('!', at + 1);
        frames.push_back(bytes.substr(at, next - at));
        at = next == std::string::npos ? bytes.size() : next;
    }
    return frames;
}

// Runs the program with --record on the named pipe ./stream as its port and hands it the
// frames one at a time, each once the program has read the one before and run passes on it:
// a frame that shares a read with the next is seen by no pass, and that changes the results
// after it (the windows advance only on a counter step of one), so a line that delivers in
// bursts, as a pseudo-terminal on a busy machine does, would make two runs differ. Returns,
// for each frame, the datagram of a pass after the one that took the frame (the first pass on
// a frame advances the windows, the later ones show it). Right after the last frame `end`
// ends the program, which must end with `exitCode`.
template <class End>
std::vector<std::string> runOn(const TempDir& dir, const std::vector<std::string>& frames,
                               testsupport::UdpListener& listener, End end, int exitCode) {
    const std::string pipe = dir.file("stream");
    EXPECT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Read and write, so that opening waits for nobody; only the program reads.
    const int line = ::open(pipe.c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_GE(line, 0);
    listener.drain();
    ChildProcess tarvel({testsupport::programBinary(), "--port", pipe, "--record", "walk.txt"},
                        dir.path(), dir.file("tarvel.log"));
    std::vector<std::string> results;
    std::string latest;
    auto receive = [&](std::chrono::milliseconds timeout) {
        if (auto d = listener.receive(timeout)) {
            latest = std::move(*d);
            return true;
        }
        return false;
    };
    for (const std::string& frame : frames) {
        const std::string before = ofThisFrame(latest);
        EXPECT_EQ(::write(line, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        int waiting = 1;
        while (waiting > 0 && std::chrono::steady_clock::now() < deadline) {
            ioctl(line, FIONREAD, &waiting);
            std::this_thread::sleep_for(100us);
        }
        // Read: what the passes sent before is of no interest. Then passes until the first one
        // that shows the new frame, and two more, which show it after the windows moved on;
        // a frame that reads like the one before (the empty platform) gets 30 passes.
        listener.drain();
        int passes = 0;
        int sinceNew = -1;
        while (std::chrono::steady_clock::now() < deadline) {
            if (!receive(100ms)) continue;
            ++passes;
            if (sinceNew >= 0) {
                ++sinceNew;
            } else if (ofThisFrame(latest) != before) {
                sinceNew = 0;
            }
            if (sinceNew >= 2 || (sinceNew < 0 && passes >= 30)) break;
        }
        results.push_back(latest);
    }
    end(tarvel);
    EXPECT_EQ(tarvel.wait(10s), exitCode) << readFile(dir.file("tarvel.log"));
    ::close(line);
    return results;
}

std::string savedSteps(const TempDir& dir) {
    const std::string ini = readFile(dir.file("tarvel.ini"));
    const auto at = ini.find("numStep=");
    return at == std::string::npos ? "" : ini.substr(at, ini.find('\r', at) - at);
}

class RecordReplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session_ = std::make_unique<uitest::XSession>();
        ASSERT_TRUE(session_->ok()) << "no Xvfb";
    }
    std::unique_ptr<uitest::XSession> session_;
};

TEST_F(RecordReplayTest, AReplayedRecordingGivesTheSameDatagramsAsTheWalkItRecorded) {
    testsupport::UdpListener listener(12345);
    // One second of the empty platform, then five of walking, at 100 frames a second. Each
    // run ends at once after its last frame, so that what the recording still holds in memory
    // must be written out by the end itself: a termination signal, then the display lost.
    TempDir live;
    const std::string walk =
        simulatorOutput(live, "walk.frames", {"--scenario", "walk", "--frames", "600"});
    const std::vector<std::string> recorded = runOn(
        live, framesOf(walk), listener, [](ChildProcess& p) { p.signal(SIGTERM); }, 0);
    const std::string recording = readFile(live.file("walk.txt"));
    EXPECT_EQ(recording, walk) << "the recording is not the bytes the program read";

    TempDir replay;
    const std::string played = simulatorOutput(
        replay, "replay.frames", {"--scenario", "replay", "--file", live.file("walk.txt")});
    EXPECT_EQ(played, recording) << "the replay does not send the recording's bytes";
    const std::vector<std::string> replayed = runOn(
        replay, framesOf(played), listener, [&](ChildProcess&) { session_.reset(); }, 1);
    EXPECT_EQ(readFile(replay.file("walk.txt")), recording);

    // Frame by frame the same results, and they are the walk's: they change all the time.
    ASSERT_EQ(recorded.size(), replayed.size());
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        ASSERT_EQ(recorded[i], replayed[i]) << "frame " << i << " of " << recorded.size();
    }
    EXPECT_GT(std::set<std::string>(recorded.begin(), recorded.end()).size(), 400u);
    EXPECT_NE(savedSteps(live), "numStep=0");
    EXPECT_EQ(savedSteps(replay), savedSteps(live));
}

TEST_F(RecordReplayTest, AFullDiskEndsTheRecordingWithAMessageAndNothingElse) {
    testsupport::UdpListener listener(12345);
    TempDir dir;
    ChildProcess simulator(
        {testsupport::simulatorBinary(), "--port", "3", "--quiet", "--scenario", "walk"},
        dir.path(), dir.file("sim.log"));
    ASSERT_TRUE(waitUntil([&] { return fileExists(dir.file("COM3")); }, 10s));
    // A file size limit of 4 KiB stands in for a disk that fills up a second in.
    ChildProcess tarvel(
        {"bash", "-c", "ulimit -f 4 && trap '' XFSZ && exec \"$0\" --record walk.txt",
         testsupport::programBinary()},
        dir.path(), dir.file("tarvel.log"));
    ASSERT_TRUE(waitUntil(
        [&] {
            return readFile(dir.file("tarvel.log")).find("stopped: File too large") !=
                   std::string::npos;
        },
        20s))
        << readFile(dir.file("tarvel.log"));
    EXPECT_EQ(readFile(dir.file("walk.txt")).size(), 4096u);

    // The walk goes on being analysed and sent.
    listener.drain();
    std::set<std::string> distinct;
    for (int i = 0; i < 500; ++i) {
        if (auto d = listener.receive(2s)) distinct.insert(*d);
    }
    EXPECT_GT(distinct.size(), 20u);
    tarvel.signal(SIGTERM);
    EXPECT_EQ(tarvel.wait(10s), 0) << readFile(dir.file("tarvel.log"));
    EXPECT_NE(readFile(dir.file("tarvel.ini")).find("[param]"), std::string::npos);
    const std::string log = readFile(dir.file("tarvel.log"));
    EXPECT_EQ(log.find("tarvel: the recording to "), log.rfind("tarvel: the recording to "))
        << "one line about the recording: " << log;
}

}  // namespace
