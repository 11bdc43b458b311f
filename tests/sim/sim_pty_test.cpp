// The built tarvel-sim as a child process: the ./COM3 link to a raw pty, the
// frames and their counter, the settle frames on every attach, unplugging and
// replugging, bursts of line noise, replay, standard output, and a clean exit on
// the stop signals.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/walk_state.h"
#include "app/frame_pass.h"
#include "link/sensor_link.h"
#include "link/stream_reader.h"
#include "tests/sim/frame_grammar.h"
#include "tests/support/default_settings.h"
#include "tests/support/support.h"
#include "tools/sim/frame_source.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::TempDir;

std::string linkTarget(const std::string& path) {
    char buf[256];
    ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, static_cast<std::size_t>(n));
}

// The reading end, as the program opens it: raw, no controlling terminal.
class PortReader {
  public:
    explicit PortReader(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;
        termios tio{};
        tcgetattr(fd_, &tio);
        initial_ = tio;
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
    }
    ~PortReader() { close(); }
    PortReader(const PortReader&) = delete;
    PortReader& operator=(const PortReader&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    const termios& initialSettings() const { return initial_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    // The next complete frame ("!" up to LF), or nullopt on time-out or when
    // the line went away.
    std::optional<std::string> frame(std::chrono::milliseconds timeout = 5000ms) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            std::size_t start = pending_.find('!');
            if (start != std::string::npos) {
                std::size_t lf = pending_.find('\n', start);
                if (lf != std::string::npos) {
                    std::string f = pending_.substr(start, lf + 1 - start);
                    pending_.erase(0, lf + 1);
                    return f;
                }
            }
            if (!fill(end)) return std::nullopt;
        }
    }

    // Everything that arrives until `count` bytes are in or the time is up.
    std::string bytes(std::size_t count, std::chrono::milliseconds timeout = 5000ms) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (pending_.size() < count && fill(end)) {
        }
        return std::exchange(pending_, {});
    }

    // Reads until the far end goes away (a hang-up or EIO); false on time-out.
    bool waitGone(std::chrono::milliseconds timeout = 5000ms) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (fill(end)) {
        }
        return gone_;
    }

  private:
    // One poll-and-read step; false when the time is up or the line is gone.
    bool fill(std::chrono::steady_clock::time_point end) {
        if (fd_ < 0 || gone_) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
        char buf[4096];
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) {
            pending_.append(buf, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && errno == EAGAIN) return true;
        gone_ = true;  // EIO or end of file: the master was closed
        return false;
    }

    int fd_ = -1;
    bool gone_ = false;
    termios initial_{};
    std::string pending_;
};

class SimPty : public ::testing::Test {
  protected:
    std::string link() const { return dir_.file("COM3"); }

    std::unique_ptr<ChildProcess> start(std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::simulatorBinary());
        auto child = std::make_unique<ChildProcess>(args, dir_.path(), dir_.file("sim.log"));
        return child;
    }
    bool waitForLink(std::chrono::milliseconds timeout = 10000ms) {
        return testsupport::waitUntil([&] { return linkTarget(link()).rfind("/dev/pts/", 0) == 0; },
                                      timeout);
    }
    std::string log() const { return testsupport::readFile(dir_.file("sim.log")); }

    TempDir dir_;
};

TEST_F(SimPty, LinksARawPtyAndStreamsConsecutiveFrames) {
    auto sim = start({"--scenario", "walk", "--settle", "0.2"});
    ASSERT_TRUE(waitForLink()) << log();
    struct stat st;
    ASSERT_EQ(lstat(link().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    PortReader port(link());
    ASSERT_TRUE(port.isOpen());
    // The slave is raw before the reader changes anything: no line editing,
    // no CR translation, no echo.
    const termios& t = port.initialSettings();
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR), 0u);

    // The counter goes up by one from frame to frame, except over frame
    // periods that the simulator slept through (held up here for 300 ms, as a
    // busy machine may do), which its log names.
    std::optional<std::uint64_t> last;
    int gaps = 0;
    for (int i = 0; i < 150; ++i) {
        if (i == 50) {
            sim->signal(SIGSTOP);
            testsupport::sleepMs(300);
            sim->signal(SIGCONT);
        }
        auto f = port.frame();
        ASSERT_TRUE(f) << "frame " << i << "\n" << log();
        ASSERT_TRUE(simtest::isFrame(*f)) << *f;
        const std::uint64_t c = simtest::parseFrame(*f).counter;
        if (last && c != *last + 1) {
            ++gaps;
            ASSERT_GT(c, *last + 1) << "frame " << i;
            const std::string skipped =
                "counters " + std::to_string(*last + 1) + " to " + std::to_string(c - 1);
            ASSERT_NE(log().find(skipped + " skipped"), std::string::npos)
                << "frame " << i << ": " << *last << " then " << c << "\n"
                << log();
        }
        last = c;
    }
    EXPECT_GE(gaps, 1);
    EXPECT_TRUE(sim->running());
}

TEST_F(SimPty, EveryAttachStartsWithEmptyPlatformFrames) {
    auto sim = start({"--scenario", "stand", "--settle", "1", "--noise", "0"});
    ASSERT_TRUE(waitForLink()) << log();
    // Nobody reads for a while: the simulator must neither block nor stop
    // counting.
    testsupport::sleepMs(300);

    std::uint64_t lastCounter = 0;
    for (int session = 0; session < 2; ++session) {
        SCOPED_TRACE(session);
        PortReader port(link());
        ASSERT_TRUE(port.isOpen());
        std::vector<simtest::ParsedFrame> frames;
        for (int i = 0; i < 160; ++i) {
            auto f = port.frame();
            ASSERT_TRUE(f) << log();
            frames.push_back(simtest::parseFrame(*f));
        }
        EXPECT_GT(frames.front().counter, lastCounter + 10) << "the counter runs on with time";
        // The first 40 frames (0.4 s of the 1 s settle) show the empty
        // platform: every sensor at its baseline.
        for (int i = 0; i < 40; ++i) {
            for (double v : frames[i].load) ASSERT_NEAR(v, 2.0, 0.16) << "frame " << i;
        }
        // Then someone stands on it: the upper sensors carry about 4 more.
        const simtest::ParsedFrame& late = frames.back();
        for (int s : {0, 2, 4, 6}) EXPECT_GT(late.load[s], 5.0) << "sensor " << s;
        lastCounter = frames.back().counter;
        port.close();
        // Wait until the simulator has seen the reader go (it links a fresh
        // pty for the next one), and leave the line unread for a while.
        ASSERT_TRUE(testsupport::waitUntil(
            [&] {
                const std::string l = log();
                std::size_t n = 0;
                for (auto p = l.find("detached"); p != std::string::npos;
                     p = l.find("detached", p + 1))
                    ++n;
                return n == static_cast<std::size_t>(session) + 1;
            },
            5000ms))
            << log();
        ASSERT_TRUE(waitForLink()) << log();
        testsupport::sleepMs(200);
    }
    EXPECT_TRUE(sim->running());
}

// After an unplug: the open port reports the line gone, the link comes back
// and a new opening gets frames whose counter went on from `before`.
void expectReplugged(PortReader& port, std::uint64_t before, const std::string& link,
                     const std::function<std::string()>& log) {
    ASSERT_TRUE(port.waitGone(5000ms)) << "the reader must see the line go away\n" << log();
    port.close();
    ASSERT_TRUE(testsupport::waitUntil([&] { return !linkTarget(link).empty(); }, 10000ms))
        << log();
    PortReader again(link);
    ASSERT_TRUE(again.isOpen());
    auto after = again.frame();
    ASSERT_TRUE(after) << log();
    EXPECT_TRUE(simtest::isFrame(*after));
    EXPECT_GT(simtest::parseFrame(*after).counter, before);
}

TEST_F(SimPty, Sigusr1UnplugsAndTheLinkComesBack) {
    auto sim = start({"--scenario", "walk", "--unplug-for", "300"});
    ASSERT_TRUE(waitForLink()) << log();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        PortReader port(link());
        auto before = port.frame();
        ASSERT_TRUE(before) << log();
        sim->signal(SIGUSR1);
        // While unplugged the link is gone; it returns after 300 ms.
        ASSERT_TRUE(testsupport::waitUntil([&] { return linkTarget(link()).empty(); }, 5000ms))
            << log();
        expectReplugged(port, simtest::parseFrame(*before).counter, link(), [&] { return log(); });
    }
    EXPECT_TRUE(sim->running());
    EXPECT_NE(log().find("plugged in again"), std::string::npos);
}

TEST_F(SimPty, UnplugAfterOptionUnplugsOnceByItself) {
    auto sim = start({"--scenario", "idle", "--unplug-after", "0.5", "--unplug-for", "200"});
    ASSERT_TRUE(waitForLink()) << log();
    PortReader port(link());
    auto before = port.frame();
    ASSERT_TRUE(before) << log();
    expectReplugged(port, simtest::parseFrame(*before).counter, link(), [&] { return log(); });
    EXPECT_TRUE(sim->running());
}

TEST_F(SimPty, Sigusr2SendsABurstOfNoiseAndTheFramesGoOn) {
    auto sim = start({"--scenario", "walk", "--settle", "0"});
    ASSERT_TRUE(waitForLink()) << log();
    PortReader port(link());
    ASSERT_TRUE(port.frame()) << log();
    sim->signal(SIGUSR2);
    const std::string line = port.bytes(1 << 20, 1000ms);
    // Take every whole frame out of what came; the rest is the noise (and a frame cut short
    // by the end of the second).
    std::string rest;
    int frames = 0;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t lf = line.find('\n', i);
        if (line[i] == '!' && lf != std::string::npos &&
            simtest::isFrame(line.substr(i, lf + 1 - i))) {
            ++frames;
            i = lf + 1;
        } else {
            rest += line[i++];
        }
    }
    EXPECT_GE(rest.size(), 256u);
    EXPECT_LT(rest.size(), 256u + 80u);
    EXPECT_GT(std::count_if(rest.begin(), rest.end(),
                            [](char c) { return static_cast<unsigned char>(c) >= 0x80; }),
              64);
    EXPECT_GE(frames, 80) << log();
    EXPECT_TRUE(sim->running());
}

TEST_F(SimPty, TheProgramsLinkTaresTheEmptyPlatformAndRidesOutAnUnplug) {
    auto sim = start({"--scenario", "walk", "--unplug-for", "300"});
    ASSERT_TRUE(waitForLink()) << log();
    SensorLink& link = SensorLink::instance();
    WalkState& state = WalkState::instance();
    link.reset();
    state = testsupport::defaultSettings();  // ./COM3
    {
        testsupport::ScopedCwd cwd(dir_.path());
        // The program's own opening: ./COM3, a 500 ms wait, then the tare.
        openSensorPort(state.comID);
        ASSERT_TRUE(link.connected) << log();
        const sim::GeneratorOptions defaults;
        for (int i = 0; i < 8; ++i) {
            EXPECT_NEAR(link.tare[i], sim::sensorBaseline(defaults, i), 0.05) << "sensor " << i;
        }
        // Each frame analysed as the passes do, until the walk shows.
        SensorFrame frame;
        EXPECT_TRUE(testsupport::waitUntil(
            [&] {
                while (link.frames.pop(frame)) state.analyze(readingsOf(frame), link.tare, true);
                return state.walking == 1;
            },
            10000ms))
            << log();
        // Unplugged for 300 ms: frames stop, then come again from the same reader.
        sim->signal(SIGUSR1);
        auto last = frame.arrival;
        int afterGap = 0;
        EXPECT_TRUE(testsupport::waitUntil(
            [&] {
                while (link.frames.pop(frame)) {
                    if (afterGap > 0 || frame.arrival - last >= 250ms) ++afterGap;
                    last = frame.arrival;
                }
                return afterGap > 10;
            },
            10000ms))
            << log();
        stopSensorReader();
    }
    link.reset();
}

TEST_F(SimPty, StopSignalsRemoveTheLinkAndExitWithZero) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        auto sim = start({"--scenario", "walk"});
        ASSERT_TRUE(waitForLink()) << log();
        PortReader port(link());
        ASSERT_TRUE(port.frame());
        sim->signal(sig);
        EXPECT_EQ(sim->wait(10000ms), 0) << log();
        EXPECT_FALSE(testsupport::fileExists(link()));
    }
}

TEST_F(SimPty, FramesOptionEndsTheRunAndCleansUp) {
    auto sim = start({"--frames", "20", "--rate", "200"});
    EXPECT_EQ(sim->wait(10000ms), 0) << log();
    EXPECT_FALSE(testsupport::fileExists(link()));
}

TEST_F(SimPty, ReplacesAStaleLinkButNeverAFile) {
    // A link left behind by a simulator that was killed.
    ASSERT_EQ(symlink("/nonexistent/pts/7", link().c_str()), 0);
    {
        auto sim = start({"--frames", "400"});
        ASSERT_TRUE(waitForLink()) << log();
        // The note follows the new link into the log.
        EXPECT_TRUE(testsupport::waitUntil([&] { return log().find("stale") != std::string::npos; },
                                           10000ms))
            << log();
        sim->signal(SIGTERM);
        EXPECT_EQ(sim->wait(10000ms), 0);
    }
    testsupport::writeFile(link(), "mine");
    auto sim = start({"--frames", "400"});
    EXPECT_EQ(sim->wait(10000ms), 1) << log();
    EXPECT_EQ(testsupport::readFile(link()), "mine");
}

TEST_F(SimPty, DirOptionAndPortNumberNameTheLink) {
    TempDir other;
    auto sim = start({"--dir", other.path(), "--port", "12"});
    const std::string path = other.file("COM12");
    ASSERT_TRUE(testsupport::waitUntil([&] { return !linkTarget(path).empty(); }, 10000ms))
        << log();
    PortReader port(path);
    EXPECT_TRUE(port.frame());
    sim->signal(SIGTERM);
    EXPECT_EQ(sim->wait(10000ms), 0);
    EXPECT_FALSE(testsupport::fileExists(path));
}

TEST_F(SimPty, ReplaySendsTheFileUnchangedThenWaitsForTheReader) {
    // Frames with odd separators and a preamble: replay passes every byte on.
    std::string recording = "preamble\r\n";
    std::size_t firstFrames = 0;
    for (int i = 0; i < 400; ++i) {
        recording +=
            "!" + std::to_string(i) + ",1,2,3\n4,5,6,7," + std::to_string(1000 + i) + "\r\n";
        if (i == 9) firstFrames = recording.size();
    }
    testsupport::writeFile(dir_.file("rec.txt"), recording);
    auto sim = start({"--scenario", "replay", "--file", "rec.txt", "--rate", "200"});
    ASSERT_TRUE(waitForLink()) << log();
    PortReader port(link());
    ASSERT_TRUE(port.isOpen());
    // Held up for 300 ms early in its 2 s of frames (as a busy machine may
    // do), the replay goes on where it was.
    std::string received = port.bytes(firstFrames, 10000ms);
    sim->signal(SIGSTOP);
    testsupport::sleepMs(300);
    sim->signal(SIGCONT);
    received += port.bytes(recording.size() - std::min(received.size(), recording.size()), 10000ms);
    EXPECT_EQ(received, recording);
    EXPECT_NE(log().find("the replay waited"), std::string::npos) << log();
    // Nothing follows the end of the file; the simulator ends once the
    // reader lets go.
    EXPECT_EQ(port.bytes(1, 300ms), "");
    port.close();
    EXPECT_EQ(sim->wait(10000ms), 0) << log();
}

TEST_F(SimPty, StdoutWritesTheGeneratorsFrames) {
    auto sim = start({"--stdout", "--quiet", "--scenario", "lean-left", "--frames", "300", "--seed",
                      "7", "--settle", "0.3", "--start", "50"});
    ASSERT_EQ(sim->wait(20000ms), 0);
    sim::GeneratorOptions o;
    o.scenario = sim::Scenario::LeanLeft;
    o.seed = 7;
    o.counterStart = 50;
    sim::FrameSource source(o, 30);
    std::string expected;
    for (std::uint64_t k = 0; k < 300; ++k) source.bytes(k, 0, expected);
    EXPECT_EQ(log(), expected);
}

TEST_F(SimPty, HelpAndBadOptions) {
    auto help = start({"--help"});
    EXPECT_EQ(help->wait(10000ms), 0);
    EXPECT_NE(log().find("Usage: tarvel-sim"), std::string::npos);
    auto bad = start({"--scenario", "moonwalk"});
    EXPECT_EQ(bad->wait(10000ms), 2);
    EXPECT_NE(log().find("unknown scenario"), std::string::npos);
    auto missing = start({"--file", "nothing-here.txt"});
    EXPECT_EQ(missing->wait(10000ms), 1);
    EXPECT_FALSE(testsupport::fileExists(link()));
}

}  // namespace
