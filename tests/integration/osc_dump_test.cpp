// The built program's OSC output read by a real OSC decoder, liblo's oscdump, with the
// simulator walking, leaning, side-stepping and turning: the three addresses with one float
// each, the values of every angle band, zeros once the platform falls silent and at the end of
// the program (a termination signal, the display lost), and the forward value following the
// cadence.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/integration/program_run.h"

namespace {

// A UDP port on 127.0.0.1 nobody uses at the moment.
std::uint16_t freePort() {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}

// Whether something listens on UDP port `port` of every address (binding it fails).
bool portTaken(std::uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    const bool taken = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0;
    close(fd);
    return taken;
}

// oscdump's lines ("<time tag> /input/Vertical f 0.250000") taken three at a time, as the
// program sends them: Vertical, Horizontal, LookHorizontal. Each triple is written
// "V,H,L" with the values as oscdump prints them.
struct Dump {
    std::vector<std::string> triples;
    std::string problem;  // the first line out of place, if any
};

Dump parseDump(const std::string& text) {
    static const char* const kAddresses[] = {"/input/Vertical", "/input/Horizontal",
                                             "/input/LookHorizontal"};
    Dump dump;
    std::istringstream lines(text);
    std::string line;
    std::string triple;
    int index = 0;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string time, address, types, value, extra;
        fields >> time >> address >> types >> value;
        if (address != kAddresses[index] || types != "f" || value.empty() || (fields >> extra)) {
            if (dump.problem.empty()) dump.problem = line;
            continue;
        }
        triple += (index == 0 ? "" : ",") + value;
        if (++index == 3) {
            dump.triples.push_back(triple);
            triple.clear();
            index = 0;
        }
    }
    return dump;
}

constexpr const char* kZeros = "0.000000,0.000000,0.000000";

class OscDumpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session_ = std::make_unique<uitest::XSession>();
        ASSERT_TRUE(session_->ok()) << "no Xvfb";
        port_ = freePort();
        dump_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"oscdump", "-L", std::to_string(port_)}, dir_.path(),
            dir_.file("oscdump.txt"));
        ASSERT_TRUE(waitUntil([&] { return portTaken(port_) || !dump_->running(); }, 10s));
        ASSERT_TRUE(dump_->running())
            << "oscdump (liblo-tools) did not start: " << readFile(dir_.file("oscdump.txt"));
    }

    // The program with the OSC output on, sending to oscdump, in move mode `moveMode`, its
    // [walk] section `walk` (by default the speeds of the window whatever the cadence); the
    // simulator goes through `sequence`.
    void start(int moveMode, const std::string& sequence,
               const std::string& walk = "cadenceSpeed=0\r\n") {
        testsupport::writeFile(dir_.file("tarvel.ini"),
                               "[emulation]\r\nmoveMode=" + std::to_string(moveMode) +
                                   "\r\n[osc]\r\nenabled=1\r\nport=" + std::to_string(port_) +
                                   "\r\n[walk]\r\n" + walk);
        simulator_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{testsupport::simulatorBinary(), "--port", "3", "--quiet",
                                     "--sequence", sequence},
            dir_.path(), dir_.file("sim.log"));
        ASSERT_TRUE(waitUntil([&] { return testsupport::fileExists(dir_.file("COM3")); }, 10s));
        program_ =
            std::make_unique<ChildProcess>(std::vector<std::string>{testsupport::programBinary()},
                                           dir_.path(), dir_.file("tarvel.log"));
    }

    Dump dump() { return parseDump(readFile(dir_.file("oscdump.txt"))); }

    // Waits until oscdump has shown every triple of `wanted`; the dump then.
    Dump waitForTriples(const std::set<std::string>& wanted) {
        Dump d;
        waitUntil(
            [&] {
                d = dump();
                std::set<std::string> seen(d.triples.begin(), d.triples.end());
                return std::includes(seen.begin(), seen.end(), wanted.begin(), wanted.end());
            },
            40s);
        return d;
    }

    // Waits until no line has come for half a second; the number of triples then.
    std::size_t settledCount() {
        std::size_t count = dump().triples.size();
        for (int i = 0; i < 40; ++i) {
            testsupport::sleepMs(500);
            const std::size_t now = dump().triples.size();
            if (now == count) return count;
            count = now;
        }
        return count;
    }

    void expectOnly(const Dump& d, const std::set<std::string>& allowed) {
        EXPECT_EQ(d.problem, "") << "a line out of place";
        for (const std::string& t : std::set<std::string>(d.triples.begin(), d.triples.end())) {
            EXPECT_TRUE(allowed.count(t)) << "unexpected axes " << t;
        }
    }

    testsupport::TempDir dir_;
    std::unique_ptr<uitest::XSession> session_;
    std::uint16_t port_ = 0;
    std::unique_ptr<ChildProcess> dump_;
    std::unique_ptr<ChildProcess> simulator_;
    std::unique_ptr<ChildProcess> program_;
};

TEST_F(OscDumpTest, SideStepModeWalksLeansAndSideStepsThenZeroesAtTheStopAndAtTheExit) {
    start(0, "walk:2,lean-left:2,lean-right:2,sidestep-left:2,sidestep-right:2,diagonal-left:2");
    // The default speeds: forward 0.25, sideways 0.08.
    const std::set<std::string> rows = {
        "0.000000,-0.080000,0.000000",  // lean and side-step left
        "0.000000,0.080000,0.000000",   // lean and side-step right
        "0.250000,-0.080000,0.000000",  // front-left
        "0.250000,0.000000,0.000000",   // straight ahead
    };
    Dump d = waitForTriples(rows);
    std::set<std::string> allowed = rows;
    allowed.insert(kZeros);
    allowed.insert("0.250000,0.080000,0.000000");  // front-right, passed through on the way
    expectOnly(d, allowed);
    for (const std::string& row : rows) {
        ASSERT_NE(std::find(d.triples.begin(), d.triples.end(), row), d.triples.end()) << row;
    }

    // The platform stops: one set of zeros, then nothing while it is silent.
    simulator_->signal(SIGTERM);
    ASSERT_TRUE(simulator_->wait(10s).has_value());
    const std::size_t stopped = settledCount();
    d = dump();
    ASSERT_EQ(d.triples.size(), stopped);
    EXPECT_EQ(d.triples.back(), kZeros);
    EXPECT_NE(d.triples[stopped - 2], kZeros) << "the zeros did not come once";
    testsupport::sleepMs(1000);
    EXPECT_EQ(dump().triples.size(), stopped);

    // The end of the program: zeros once more.
    program_->signal(SIGTERM);
    ASSERT_EQ(program_->wait(10s), std::optional<int>(0)) << readFile(dir_.file("tarvel.log"));
    const std::size_t ended = settledCount();
    d = dump();
    EXPECT_EQ(ended, stopped + 1);
    EXPECT_EQ(d.triples.back(), kZeros);
    EXPECT_EQ(d.problem, "");
}

TEST_F(OscDumpTest, TurnModeTurnsBothWaysAndZeroesWhenTheDisplayIsLost) {
    start(1, "walk:2,turn-left:3,turn-right:3");
    const std::set<std::string> rows = {
        "0.000000,0.000000,-0.150000",  // turning left at the default turning speed
        "0.000000,0.000000,0.150000",   // turning right
        "0.250000,0.000000,0.000000",   // straight ahead
    };
    Dump d = waitForTriples(rows);
    std::set<std::string> allowed = rows;
    allowed.insert(kZeros);
    allowed.insert("0.250000,-0.080000,0.000000");  // on the way into a turn
    allowed.insert("0.250000,0.080000,0.000000");
    expectOnly(d, allowed);
    for (const std::string& row : rows) {
        EXPECT_NE(std::find(d.triples.begin(), d.triples.end(), row), d.triples.end()) << row;
    }

    // The X server goes away under the walking program, which ends at once; the zeros come
    // on the way out, after the values of the last frame.
    session_.reset();
    const auto code = program_->wait(10s);
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 1);
    settledCount();
    d = dump();
    ASSERT_FALSE(d.triples.empty());
    EXPECT_EQ(d.triples.back(), kZeros);
    EXPECT_EQ(d.problem, "");
}

TEST_F(OscDumpTest, TheForwardValueFollowsTheCadenceFromWalkSpeedFBToRunSpeed) {
    // The [walk] defaults: 100 steps a minute reads walkSpeedFB (0.25), 170 runSpeed (1.0).
    start(0, "walk:8,walk@170:8", "");
    std::vector<double> forward;
    auto read = [&] {
        forward.clear();
        for (const std::string& t : dump().triples) forward.push_back(std::stod(t));
        return std::find_if(forward.begin(), forward.end(), [](double v) { return v >= 0.95; });
    };
    ASSERT_TRUE(waitUntil([&] { return forward.end() - read() >= 200; }, 40s))
        << "the forward value never reached runSpeed";
    const auto run = read();
    // Walking at 100: walkSpeedFB, give or take 8 %, for most of the 8 seconds.
    const auto rise =
        std::find_if(forward.begin(), forward.end(), [](double v) { return v > 0.27; });
    EXPECT_GE(std::count_if(forward.begin(), rise, [](double v) { return v >= 0.25; }), 500);
    // At 170: runSpeed within 5 %, without a dropout.
    for (auto v = run; v != run + 200; ++v) {
        ASSERT_TRUE(*v >= 0.95 && *v <= 1.0) << *v << " at " << (v - run);
    }
}

}  // namespace
