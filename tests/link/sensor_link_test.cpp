// Port opening, the reader thread and tare capture over a real
// pseudo-terminal linked as ./COM<n>, including an unplug and replug.
#include "link/sensor_link.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "link/stream_reader.h"
#include "platform/serial.h"
#include "tests/support/pty_pair.h"
#include "tests/support/support.h"

using namespace std::chrono_literals;
using testsupport::PtyPair;
using testsupport::TempDir;
using testsupport::waitUntil;

namespace {

// While set, starting a thread fails as it does when the system is out of threads or memory.
std::atomic<bool> failThreadCreation{false};

}  // namespace

// Stands in for the C library's thread creation in this test program; std::thread reaches it.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                              void* (*start)(void*), void* argument) {
    if (failThreadCreation.load()) return EAGAIN;
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const auto next = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    return next(thread, attributes, start, argument);
}

namespace {

class SensorLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        cwd_ = std::make_unique<testsupport::ScopedCwd>(dir_.path());
        SensorLink::instance().reset();
    }
    void TearDown() override {
        SensorLink::instance().reset();
        cwd_.reset();
    }
    SensorLink& link() { return SensorLink::instance(); }
    void open() { openSensorPort(comID_); }

    int comID_ = 7;

    TempDir dir_;
    std::unique_ptr<testsupport::ScopedCwd> cwd_;
};

std::string frame(float base, int tick) {
    std::string s = "!";
    for (int i = 0; i < 8; ++i) s += std::to_string(base + i) + ",";
    return s + std::to_string(tick) + "\r\n";
}

TEST_F(SensorLinkTest, FailedOpeningResetsAndStaysDisconnected) {
    // Port numbers of no device, down to the lowest one a settings file can give.
    for (int n : {-1, 0, std::numeric_limits<int>::min()}) {
        link().tare[2] = 5.0f;
        link().rawLoad[3].store(9.0f);
        comID_ = n;
        open();
        EXPECT_FALSE(link().connected);
        EXPECT_EQ(link().tare[2], 0.0f);
        EXPECT_EQ(link().load(3), -1.0f);
        EXPECT_EQ(link().readerThread, nullptr);
    }
    EXPECT_EQ(platform::SerialPort(std::numeric_limits<int>::min()).deviceName(),
              "/dev/ttyS-2147483649");
    // Calibration while not connected changes nothing.
    link().rawLoad[0].store(4.0f);
    captureTare();
    EXPECT_EQ(link().tare[0], 0.0f);
}

TEST_F(SensorLinkTest, OpeningStartsOneReaderAndTaresOnTheFirstFrame) {
    PtyPair pty;
    pty.linkAs("./COM7");
    std::thread writer([&] {
        std::this_thread::sleep_for(100ms);
        pty.write(frame(10.0f, 1));
    });
    open();
    writer.join();
    ASSERT_TRUE(link().connected);
    ASSERT_NE(link().readerThread, nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(link().tare[i], 10.0f + i);
    EXPECT_EQ(link().currentTick(), 1.0f);

    // A second attempt while connected changes nothing, even with a new comID.
    StreamReader* reader = link().readerThread.get();
    comID_ = 8;
    open();
    EXPECT_EQ(link().readerThread.get(), reader);

    // Values flow as each separator arrives, but the tare takes one whole frame: never the
    // first load of a frame half read beside the others of the frame before.
    pty.write("!3.25,");
    EXPECT_TRUE(waitUntil([&] { return link().load(0) == 3.25f; }, 2s));
    EXPECT_EQ(link().load(1), 11.0f);
    captureTare();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(link().tare[i], 10.0f + i);
}

TEST_F(SensorLinkTest, NoDataInTheFirstHalfSecondTaresToMinusOne) {
    PtyPair pty;
    pty.linkAs("./COM7");
    open();
    ASSERT_TRUE(link().connected);
    for (float t : link().tare) EXPECT_EQ(t, -1.0f);
}

TEST_F(SensorLinkTest, AReaderThatCannotStartLeavesTheLinkConnectedWithoutReadings) {
    PtyPair pty;
    pty.linkAs("./COM7");
    pty.write(frame(10.0f, 1));
    {
        struct Failing {
            Failing() { failThreadCreation = true; }
            ~Failing() { failThreadCreation = false; }
        } failing;
        open();
    }
    ASSERT_TRUE(link().connected);
    for (float t : link().tare) EXPECT_EQ(t, -1.0f);
    EXPECT_EQ(link().currentTick(), 0.0f);
    // Still connected: a second attempt starts nothing.
    StreamReader* reader = link().readerThread.get();
    open();
    EXPECT_EQ(link().readerThread.get(), reader);
}

// 300 frames in one write (27 KB, several reads): a byte lost anywhere, also where one read ends
// and the next begins, or a frame handed over before its last field, changes a frame.
TEST_F(SensorLinkTest, EveryFrameOfABurstReachesThePassesWholeAndOnlyPlatformFramesCount) {
    PtyPair pty;
    pty.linkAs("./COM7");
    open();
    ASSERT_TRUE(link().connected);
    std::string burst;
    for (int k = 1; k <= 300; ++k) burst += frame(static_cast<float>(k), k);
    // A GPS receiver's sentence and a line of nine numbers without "!" are stored all the same.
    pty.write(burst + "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n" +
              "1,2,3,4,5,6,7,8,9\r\n");
    std::vector<SensorFrame> frames;
    ASSERT_TRUE(waitUntil(
        [&] {
            SensorFrame f;
            while (link().frames.pop(f)) frames.push_back(f);
            return frames.size() >= 302;
        },
        5s));
    ASSERT_EQ(frames.size(), 302u);
    for (int k = 1; k <= 300; ++k) {
        const SensorFrame& f = frames[k - 1];
        EXPECT_EQ(f.tick, static_cast<float>(k));
        EXPECT_TRUE(f.wellFormed);
        for (int i = 0; i < 8; ++i) ASSERT_EQ(f.rawLoad[i], static_cast<float>(k + i)) << k;
    }
    EXPECT_FALSE(frames[300].wellFormed);
    EXPECT_EQ(frames[300].tick, 0.9f);
    EXPECT_FALSE(frames[301].wellFormed);
    std::string stray;
    EXPECT_TRUE(waitUntil([&] { return link().strayText.take(stray); }, 2s));
    EXPECT_EQ(stray, "$GPGGA,123519,4807.038,N,01131.000,E,1,0");
}

TEST_F(SensorLinkTest, ReadsDeliverEveryWaitingByteAndAnInterruptEndsTheWaitAfterThem) {
    PtyPair pty;
    pty.linkAs("./COM7");
    platform::SerialPort port(7);
    ASSERT_TRUE(port.open());
    std::string sent;
    for (int i = 0; i < 20000; ++i) sent += static_cast<char>((i * 7) % 251);
    // More than the terminal buffers: the write ends only as the reads make room.
    std::jthread writer([&] { pty.write(sent); });
    // Read with a small buffer, so that most reads fill it and leave bytes behind. Should a
    // byte go missing, the watchdog ends the read that would wait for it.
    std::jthread watchdog([&](std::stop_token stop) {
        std::mutex m;
        std::unique_lock lock(m);
        std::condition_variable_any().wait_for(lock, stop, 10s, [] { return false; });
        if (!stop.stop_requested()) port.interrupt();
    });
    std::string received;
    std::array<std::uint8_t, 1000> buffer;
    while (received.size() < sent.size()) {
        std::size_t count = 0;
        ASSERT_EQ(port.read(buffer, count), platform::SerialRead::Data);
        ASSERT_GT(count, 0u);
        received.append(reinterpret_cast<const char*>(buffer.data()), count);
    }
    watchdog.request_stop();
    watchdog.join();
    writer.join();
    EXPECT_EQ(received, sent);

    // The line is empty now: the next read waits until interrupted.
    std::atomic<int> outcome{-1};
    std::thread reader([&] {
        std::size_t count = 0;
        outcome = static_cast<int>(port.read(buffer, count));
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(outcome.load(), -1);
    port.interrupt();
    reader.join();
    EXPECT_EQ(outcome.load(), static_cast<int>(platform::SerialRead::Interrupted));
}

TEST_F(SensorLinkTest, PortIsOpenedExclusively) {
    PtyPair pty;
    pty.linkAs("./COM7");
    platform::SerialPort first(7), second(7);
    ASSERT_TRUE(first.open());
    EXPECT_FALSE(second.open());
    first.close();
    EXPECT_TRUE(second.open());
}

TEST_F(SensorLinkTest, ReaderRidesOutUnplugAndReplug) {
    auto pty = std::make_unique<PtyPair>();
    pty->linkAs("./COM7");
    open();
    ASSERT_TRUE(link().connected);
    pty->write(frame(1.0f, 5));
    ASSERT_TRUE(waitUntil([&] { return link().currentTick() == 5.0f; }, 2s));
    StreamReader* reader = link().readerThread.get();

    // Unplug: the device disappears together with its link.
    pty->closeMaster();
    ::unlink("./COM7");
    // Long enough for the reader to meet the hang-up and start waiting for the device; what
    // that wait costs is measured by tests/perf/measure-cpu.sh, not asserted here.
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(link().connected);
    EXPECT_EQ(link().load(0), 1.0f);  // the last values stay

    // Replug: a new device behind the same name.
    pty = std::make_unique<PtyPair>();
    pty->linkAs("./COM7");
    // Bytes written before the reader opens the new device are lost with its opening: the
    // controller goes on sending.
    EXPECT_TRUE(waitUntil(
        [&] {
            pty->write(frame(20.0f, 6));
            return link().currentTick() == 6.0f;
        },
        3s));
    EXPECT_EQ(link().load(7), 27.0f);
    EXPECT_EQ(link().readerThread.get(), reader);
}

}  // namespace
