// The telemetry record byte for byte, and its datagram on a real UDP socket.
#include "output/telemetry.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>

#include "analysis/walk_state.h"
#include "tests/support/default_settings.h"
#include "tests/support/support.h"
#include "tests/support/telemetry_text.h"

using namespace std::chrono_literals;

namespace {

std::string text(const WalkState& s) {
    unsigned char buf[kTelemetryRecordSize];
    std::size_t n = formatTelemetry(s, buf);
    return std::string(reinterpret_cast<char*>(buf), n);
}

TEST(TelemetryRecord, DefaultRecordByteForByte) {
    unsigned char buf[kTelemetryRecordSize];
    std::memset(buf, 0x55, sizeof buf);
    const std::string want =
        "0,0,0.000000,0.000000,0.000000,0.300000,0.000000,0.000000,0.000000,0.000000,"
        "-12.500000,12.500000,-20.000000,20.000000,0.250000,0.080000,0.150000\n";
    ASSERT_EQ(want.size(), 145u);
    ASSERT_EQ(formatTelemetry(testsupport::defaultSettings(), buf), 145u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 145), want);
    EXPECT_EQ(buf[145], 0);
    for (std::size_t i = 146; i < kTelemetryRecordSize; ++i) ASSERT_EQ(buf[i], 0xFE) << i;
}

TEST(TelemetryRecord, FieldOrderSignsAndSpecialValues) {
    WalkState s = testsupport::defaultSettings();
    s.appMode = 1;
    s.moveMode = -7;
    s.upperAverage = 1.0f;
    s.leftAverage = 2.0f;
    s.rightAverage = 3.0f;
    s.lowerMovingAverage = 4.0f;
    s.directionX = -0.0f;
    s.directionY = std::numeric_limits<float>::infinity();
    s.angle = -19.65f;
    EXPECT_EQ(text(s),
              "1,-7,1.000000,2.000000,3.000000,0.300000,4.000000,-0.000000,inf,-19.650000,"
              "-12.500000,12.500000,-20.000000,20.000000,0.250000,0.080000,0.150000\n");
    s.angle = std::nanf("");
    EXPECT_NE(text(s).find(",nan,"), std::string::npos);
}

TEST(TelemetryRecord, RecordThatWouldNotFitIsRefusedNotTruncated) {
    WalkState s = testsupport::defaultSettings();
    // Six fields of 47 characters each ("-340282346638528859811704183484516925440.000000").
    s.upperAverage = s.leftAverage = s.rightAverage = -3.4028235e38f;
    s.directionX = s.directionY = s.angle = -3.4028235e38f;
    unsigned char buf[kTelemetryRecordSize];
    EXPECT_EQ(formatTelemetry(s, buf), 0u);
    // Two such fields still fit (223 characters, 255 at most).
    s.rightAverage = s.directionX = s.directionY = s.angle = 0.0f;
    std::size_t n = formatTelemetry(s, buf);
    EXPECT_EQ(n, 223u);
    EXPECT_EQ(buf[n - 1], '\n');
    // Two 24-character fields ("10000000272564224.000000") more: 255 characters, the longest
    // text whose NUL still fits; one character more and the record is refused.
    s.rightAverage = s.directionX = 1e16f;
    ASSERT_EQ(formatTelemetry(s, buf), 255u);
    EXPECT_EQ(buf[254], '\n');
    EXPECT_EQ(buf[255], 0);
    s.angle = 10.0f;
    EXPECT_EQ(formatTelemetry(s, buf), 0u);
}

TEST(TelemetrySender, SendsWholeRecordsFromLoopbackAndSkipsOversizedOnes) {
    testsupport::UdpListener listener;
    TelemetrySender sender;
    sender.open(listener.port());
    WalkState s = testsupport::defaultSettings();
    s.angle = 12.0f;
    ASSERT_TRUE(sender.send(s));
    auto got = listener.receive(2s);
    ASSERT_TRUE(got);
    ASSERT_EQ(got->size(), 256u);
    EXPECT_EQ(got->substr(0, got->find('\n') + 1), text(s));

    // An oversized record goes nowhere; the next ordinary one goes out.
    WalkState huge = s;
    huge.upperAverage = huge.leftAverage = huge.rightAverage = -3.4028235e38f;
    huge.directionX = huge.directionY = huge.angle = -3.4028235e38f;
    EXPECT_FALSE(sender.send(huge));
    EXPECT_TRUE(sender.send(s));
    got = listener.receive(2s);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->substr(0, 2), "0,");
    EXPECT_FALSE(listener.receive(100ms));
    sender.close();
}

TEST(TelemetrySender, EveryDatagramCarriesTheValuesOfItsPass) {
    testsupport::UdpListener listener;
    TelemetrySender sender;
    sender.open(listener.port());
    WalkState s = testsupport::defaultSettings();
    // Passes that repeat the values of the one before, or change one value, the first
    // integer, the last float, or only the sign of a zero.
    const std::function<void(WalkState&)> passes[] = {
        [](WalkState& w) { w.angle = 12.0f; },        [](WalkState&) {},
        [](WalkState& w) { w.angle = -0.0f; },        [](WalkState& w) { w.angle = 0.0f; },
        [](WalkState& w) { w.appMode = 1; },          [](WalkState&) {},
        [](WalkState& w) { w.rotationSpeed = 0.5f; },
    };
    for (const auto& change : passes) {
        change(s);
        ASSERT_TRUE(sender.send(s));
        auto got = listener.receive(2s);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->substr(0, got->find('\n') + 1), text(s));
    }
}

TEST(TelemetrySender, SocketIsBoundToLoopback) {
    // Receive with recvfrom to see the sender's address.
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    TelemetrySender sender;
    sender.open(ntohs(a.sin_port));
    ASSERT_TRUE(sender.send(testsupport::defaultSettings()));
    char buf[300];
    sockaddr_in from{};
    len = sizeof from;
    ASSERT_EQ(recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len), 256);
    EXPECT_EQ(ntohl(from.sin_addr.s_addr), INADDR_LOOPBACK);
    EXPECT_NE(from.sin_port, 0);
    close(fd);
}

// Connected to its destination, so it takes no one else's datagram (the system's table shows the
// listener as its other end); a datagram nobody heard, reported through the next send, costs
// that one nothing.
TEST(TelemetrySender, IsConnectedAndADatagramNobodyHeardDoesNotCostTheNext) {
    std::uint16_t port = testsupport::UdpListener().port();
    TelemetrySender sender;
    sender.open(port);
    sender.send(testsupport::defaultSettings());
    testsupport::UdpListener listener(port);
    EXPECT_TRUE(sender.send(testsupport::defaultSettings()));
    EXPECT_TRUE(listener.receive(2s).has_value());
    char otherEnd[32];
    std::snprintf(otherEnd, sizeof otherEnd, " 0100007F:%04X 01 ", port);
    std::ifstream table("/proc/net/udp");
    const std::string rows{std::istreambuf_iterator<char>(table), {}};
    EXPECT_NE(rows.find(otherEnd), std::string::npos) << rows;
}

}  // namespace
