// Tests of the OSC output: the axes of every angle band in both move modes, and what reaches a
// real UDP listener: three messages per new frame and none for a frame already sent, zeros once
// when frames stop, when the output is switched off or moved, and at the end; a LAN destination.
#include "output/osc_output.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysis/walk_state.h"
#include "tests/support/default_settings.h"
#include "tests/support/support.h"

using namespace std::chrono_literals;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// ---- The axes of each band ----------------------------------------------------------------

struct AxesCase {
    std::int32_t moveMode;
    float angle;
    WalkAxes expected;
};

TEST(WalkAxes, FollowTheBandsOfTheKeyEmulationWithTheWindowsSpeeds) {
    WalkState s = testsupport::defaultSettings();  // FB 0.25, LR 0.08, rotation 0.15
    s.walking = 1;
    const AxesCase cases[] = {
        // Side-step mode: thresholds -20, -12.5, 12.5, 20.
        {0, -30.0f, {0.0f, -0.08f, 0.0f}},   // sideways left
        {0, 30.0f, {0.0f, 0.08f, 0.0f}},     // sideways right
        {0, -15.0f, {0.25f, -0.08f, 0.0f}},  // front-left
        {0, 15.0f, {0.25f, 0.08f, 0.0f}},    // front-right
        {0, 0.0f, {0.25f, 0.0f, 0.0f}},      // straight ahead
        {0, -20.0f, {0.25f, -0.08f, 0.0f}},  // on thresholdL: not below it
        {0, 12.5f, {0.25f, 0.0f, 0.0f}},     // on thresholdFR: not above it
        {0, kNaN, {0.25f, 0.0f, 0.0f}},      // fails every comparison
        // Turning mode: sideways turns, the rest walks as in side-step mode.
        {1, -30.0f, {0.0f, 0.0f, -0.15f}},
        {1, 45.0f, {0.0f, 0.0f, 0.15f}},
        {1, -15.0f, {0.25f, -0.08f, 0.0f}},
        {1, 15.0f, {0.25f, 0.08f, 0.0f}},
        {1, 3.0f, {0.25f, 0.0f, 0.0f}},
        // Any other move mode sends nothing but zeros.
        {2, -30.0f, {}},
        {-1, 0.0f, {}},
    };
    for (const AxesCase& c : cases) {
        s.moveMode = c.moveMode;
        s.angle = c.angle;
        for (std::int32_t appMode : {0, 1}) {  // VR and desktop alike
            s.appMode = appMode;
            EXPECT_EQ(walkAxesOf(s), c.expected) << "mode " << c.moveMode << " angle " << c.angle;
        }
    }
    // Not walking: zeros whatever the angle.
    s.moveMode = 0;
    s.angle = -30.0f;
    s.walking = 0;
    EXPECT_EQ(walkAxesOf(s), WalkAxes{});
}

// ---- What reaches a listener ----------------------------------------------------------------

struct Message {
    std::string address;
    float value;
    bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Message& m) {
    return out << m.address << " " << m.value;
}

// Reads one datagram as an OSC message with one float; fails the test on any other layout.
Message decode(const std::string& bytes) {
    const std::size_t end = bytes.find('\0');
    EXPECT_NE(end, std::string::npos);
    const std::size_t tags = (end + 4) & ~std::size_t{3};
    EXPECT_EQ(bytes.size(), tags + 8) << "bytes: " << bytes.size();
    if (bytes.size() != tags + 8) return {};
    EXPECT_EQ(bytes.substr(end, tags - end), std::string(tags - end, '\0'));
    EXPECT_EQ(bytes.substr(tags, 4), std::string(",f\0\0", 4));
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i)
        bits = (bits << 8) | static_cast<unsigned char>(bytes[tags + 4 + i]);
    return {bytes.substr(0, end), std::bit_cast<float>(bits)};
}

std::vector<Message> axesMessages(const WalkAxes& a) {
    return {{kOscVertical, a.vertical},
            {kOscHorizontal, a.horizontal},
            {kOscLookHorizontal, a.lookHorizontal}};
}

class OscOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state = testsupport::defaultSettings();
        state.oscEnabled = 1;
        state.oscPort = listener.port();
        state.walking = 1;
        state.angle = -15.0f;  // front-left: every axis but the turn moves
    }

    // Every message that arrives within a short while.
    std::vector<Message> received(testsupport::UdpListener& from) {
        std::vector<Message> got;
        while (auto d = from.receive(got.empty() ? 1000ms : 100ms)) got.push_back(decode(*d));
        return got;
    }
    std::vector<Message> received() { return received(listener); }

    const WalkAxes walking{0.25f, -0.08f, 0.0f};
    const std::vector<Message> zeros = axesMessages(WalkAxes{});
    testsupport::UdpListener listener;
    WalkState state;
    OscOutput osc;
};

TEST_F(OscOutputTest, SendsTheThreeAxesOncePerNewFrame) {
    osc.update(state, 1, true);
    EXPECT_EQ(received(), axesMessages(walking));
    // More passes on the same frame send nothing.
    osc.update(state, 1, true);
    osc.update(state, 1, true);
    EXPECT_FALSE(listener.receive(100ms));
    // The next frame, walking straight ahead now.
    state.angle = 0.0f;
    osc.update(state, 2, true);
    EXPECT_EQ(received(), axesMessages({0.25f, 0.0f, 0.0f}));
    osc.stop();
}

TEST_F(OscOutputTest, SwitchedOffItSendsNothingAndSwitchingOffSendsZerosOnce) {
    state.oscEnabled = 0;
    osc.update(state, 1, true);
    osc.update(state, 2, true);
    EXPECT_FALSE(listener.receive(100ms));

    state.oscEnabled = 1;
    osc.update(state, 3, true);
    EXPECT_EQ(received(), axesMessages(walking));
    state.oscEnabled = 0;
    osc.update(state, 4, true);
    EXPECT_EQ(received(), zeros);
    osc.update(state, 5, true);
    EXPECT_FALSE(listener.receive(100ms));
    // Switched on again, the next pass sends at once.
    state.oscEnabled = 1;
    osc.update(state, 5, true);
    EXPECT_EQ(received(), axesMessages(walking));
    osc.stop();
    EXPECT_EQ(received(), zeros);
    // Switched off at the end, nothing goes out.
    OscOutput off;
    state.oscEnabled = 0;
    off.update(state, 1, true);
    off.stop();
    EXPECT_FALSE(listener.receive(100ms));
}

TEST_F(OscOutputTest, FramesThatStopArrivingGiveZerosOnceAndFramesThatComeBackWalkAgain) {
    osc.update(state, 7, true);
    EXPECT_EQ(received(), axesMessages(walking));
    for (int pass = 0; pass < 5; ++pass) osc.update(state, 7, false);
    EXPECT_EQ(received(), zeros);
    osc.update(state, 8, true);
    EXPECT_EQ(received(), axesMessages(walking));
    // The end of the program zeroes again, however the output stood. After it nothing goes
    // out: not a second stop, not a pass that still runs.
    osc.stop();
    EXPECT_EQ(received(), zeros);
    osc.stop();
    osc.update(state, 9, true);
    EXPECT_FALSE(listener.receive(100ms));
}

TEST_F(OscOutputTest, ANewDestinationGetsTheAxesAndTheOldOneItsZeros) {
    osc.update(state, 1, true);
    EXPECT_EQ(received(), axesMessages(walking));
    testsupport::UdpListener other;
    state.oscPort = other.port();
    osc.update(state, 2, true);
    EXPECT_EQ(received(listener), zeros);
    EXPECT_EQ(received(other), axesMessages(walking));
    osc.stop();
    EXPECT_EQ(received(other), zeros);
}

// A non-loopback IPv4 address of this machine, if it has one.
std::optional<std::string> lanAddress() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return std::nullopt;
    std::optional<std::string> found;
    for (ifaddrs* i = list; i != nullptr && !found; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        if ((ntohl(in->sin_addr.s_addr) >> 24) == 127) continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        found = text;
    }
    freeifaddrs(list);
    return found;
}

// Receives one datagram on `address`:port and returns the sender's address.
class Receiver {
  public:
    explicit Receiver(const std::string& address) {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, address.c_str(), &a.sin_addr);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t length = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        timeval wait{2, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~Receiver() { close(fd_); }
    std::uint16_t port() const { return port_; }
    std::string sender() {
        char buffer[64];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        if (recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length) <
            0) {
            return "nothing";
        }
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        return text;
    }

  private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

TEST_F(OscOutputTest, ALanHostIsReachedFromTheLanAddressAndALoopbackOneFromLoopback) {
    // Another loopback address still goes out of the loopback-bound socket.
    Receiver loopback("127.0.0.2");
    std::strcpy(state.oscHost, "127.0.0.2");
    state.oscPort = loopback.port();
    osc.update(state, 1, true);
    EXPECT_EQ(loopback.sender(), "127.0.0.1");
    osc.stop();

    const std::optional<std::string> lan = lanAddress();
    if (!lan) GTEST_SKIP() << "no network interface but loopback";
    // This machine's own LAN address stands in for a headset on the LAN: a socket bound to
    // 127.0.0.1 could not send there with its LAN address as the source.
    Receiver headset(*lan);
    std::strcpy(state.oscHost, lan->c_str());
    state.oscPort = headset.port();
    OscOutput toLan;
    toLan.update(state, 1, true);
    EXPECT_EQ(headset.sender(), *lan);
}

}  // namespace
