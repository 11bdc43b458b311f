// The built program's --record on a private Xvfb: a walk from the simulator, recorded by the
// program and played back by the simulator's replay, gives the program the same datagram
// sequence, the same step count and the same recording again, whole also when the program
// ends by a signal or the display going away, which leave the last datagram at rest; a disk that
// fills up ends the recording with a message while the program runs on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "analysis/walk_state.h"
#include "tests/support/default_settings.h"
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

// What a datagram shows of an empty platform: the results all zero.
bool atRest(const std::string& datagram) {
    const std::vector<std::string> f = testsupport::datagramFields(datagram);
    if (f.size() < 10) return false;
    for (int i : {2, 3, 4, 6, 7, 8, 9}) {
        if (f[static_cast<std::size_t>(i)] != "0.000000") return false;
    }
    return true;
}

// ofThisFrame() of the datagram that the frame `text` gives, against the tare of a program that
// opened its port before any frame came (-1.0 each) and the default maxima.
std::string ofFrame(const std::string& text) {
    FrameReadings frame{};
    const char* at = text.c_str() + 1;
    for (int i = 0; i < 9; ++i) {
        char* end = nullptr;
        const float v = std::strtof(at, &end);
        (i < 8 ? frame.rawLoad[i] : frame.tick) = v;
        at = end + 1;
    }
    float tare[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    WalkState s = testsupport::defaultSettings();
    s.analyze(frame, tare, true);
    std::string shown;
    for (float v :
         {s.upperAverage, s.leftAverage, s.rightAverage, s.directionX, s.directionY, s.angle}) {
        char number[64];
        std::snprintf(number, sizeof number, "%f", static_cast<double>(v));
        shown += number;
    }
    return shown;
}

// Runs the program with --record on the named pipe ./stream as its port and writes it the frames
// at the platform's 100 a second (on a schedule that catches up after a delay), once it sends:
// its tare is then that of no frame at all. Every frame is analysed in turn however the reads
// and passes fall, so the first datagram that shows each frame is defined whatever the
// scheduling (passes that find no new frame, or that rest for want of frames in time, come and
// go with it): those datagrams up to the last frame's are returned. Once the last frame is shown
// `end` ends the program, which must end with `exitCode` and with a last datagram at rest.
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
    std::vector<std::string> datagrams;
    auto take = [&](std::chrono::steady_clock::duration timeout) {
        auto d = listener.receive(std::chrono::duration_cast<std::chrono::milliseconds>(timeout));
        if (d) datagrams.push_back(std::move(*d));
        return d.has_value();
    };
    EXPECT_TRUE(waitUntil([&] { return take(0s); }, 20s)) << readFile(dir.file("tarvel.log"));
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const auto due = start + k * 10ms;
        for (auto now = start; (now = std::chrono::steady_clock::now()) < due;) take(due - now);
        EXPECT_EQ(::write(line, frames[k].data(), frames[k].size()),
                  static_cast<ssize_t>(frames[k].size()));
    }
    const std::string last = ofFrame(frames.back());
    EXPECT_TRUE(waitUntil([&] { return take(0s) && ofThisFrame(datagrams.back()) == last; }, 20s));
    end(tarvel);
    EXPECT_EQ(tarvel.wait(10s), exitCode) << readFile(dir.file("tarvel.log"));
    ::close(line);
    while (take(0s)) {
    }
    EXPECT_TRUE(atRest(datagrams.back())) << "the last datagram says somebody walks";
    std::vector<std::string> results;
    std::string shown;
    for (const std::string& d : datagrams) {
        if (atRest(d) || ofThisFrame(d) == shown) continue;
        shown = ofThisFrame(d);
        results.push_back(d);
        if (shown == last) break;
    }
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
