// What the user is told when the port does not open (a missing device, one without access,
// one held by another program), the serial devices it names with the command that would use
// one, and the device named on the command line in place of the COM number.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "link/sensor_link.h"
#include "platform/linux/serial_devices.h"
#include "platform/serial.h"
#include "tests/support/as_user.h"
#include "tests/support/pty_pair.h"
#include "tests/support/support.h"

using namespace std::chrono_literals;
using platform::SerialPort;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using testsupport::PtyPair;
using testsupport::TempDir;

namespace {

class PortOpenFailureTest : public ::testing::Test {
  protected:
    void SetUp() override { SensorLink::instance().reset(); }
    void TearDown() override {
        setSensorPortDevice({});
        SensorLink::instance().reset();
    }
    TempDir dir_;
    testsupport::ScopedCwd cwd_{dir_.path()};
};

// The folder as the program sees it (the temporary folder may be reached through a link).
std::string workingFolder() {
    char folder[4096];
    return getcwd(folder, sizeof folder) ? folder : "";
}

TEST_F(PortOpenFailureTest, AMissingDeviceNamesThePathTried) {
    SerialPort unmapped(97);
    ASSERT_FALSE(unmapped.open());
    EXPECT_THAT(unmapped.openFailure(),
                StartsWith("COM97: /dev/ttyS96 is missing; no COM97 link in " + workingFolder()));

    // A link whose device is gone (unplugged) names both ends.
    ASSERT_EQ(symlink("/dev/ttyUSB-gone", "COM5"), 0);
    SerialPort unplugged(5);
    ASSERT_FALSE(unplugged.open());
    EXPECT_THAT(unplugged.openFailure(),
                StartsWith("COM5: " + workingFolder() + "/COM5 -> /dev/ttyUSB-gone is missing"));

    SerialPort named(std::string("/dev/ttyUSB-gone"));
    ASSERT_FALSE(named.open());
    EXPECT_THAT(named.openFailure(), StartsWith("/dev/ttyUSB-gone is missing"));
}

TEST_F(PortOpenFailureTest, ADeviceWithoutAccessPointsToTheDialoutGroup) {
    PtyPair pty;
    ASSERT_EQ(chmod(pty.slavePath().c_str(), 0), 0);
    // As root the permission would not hold: the opening runs as an ordinary user.
    const int failures = settingstest::runAsUser([&] {
        SerialPort port(pty.slavePath());
        if (port.open()) return 1;
        const std::string why = port.openFailure();
        return why.find(pty.slavePath() + ": permission denied: join the dialout group") == 0 &&
                       why.find("log in again") != std::string::npos
                   ? 0
                   : 2;
    });
    EXPECT_EQ(failures, 0);
}

TEST_F(PortOpenFailureTest, APortHeldByAnotherProgramIsBusy) {
    PtyPair pty;
    SerialPort holder(pty.slavePath());
    ASSERT_TRUE(holder.open());

    SerialPort second(pty.slavePath());  // as root: kept out by the lock
    EXPECT_FALSE(second.open());
    EXPECT_THAT(second.openFailure(),
                StartsWith(pty.slavePath() + " is busy: another program holds it; "));

    // An ordinary user is kept out by the exclusive-use flag of the terminal.
    ASSERT_EQ(chmod(pty.slavePath().c_str(), 0666), 0);
    const int outcome = settingstest::runAsUser([&] {
        SerialPort port(pty.slavePath());
        if (port.open()) return 1;
        return port.openFailure().find(pty.slavePath() + " is busy") == 0 ? 0 : 2;
    });
    EXPECT_EQ(outcome, 0);
}

// In a working folder that others may write to, their COM<n> (a link to a device of theirs, a
// pipe they feed) is not opened: they would choose the frames the program acts on.
TEST_F(PortOpenFailureTest, AComLinkOrPipeOfAnotherUserIsNotOpened) {
    const auto other = settingstest::otherUser();
    if (!other) GTEST_SKIP() << settingstest::kNeedsRoot;
    PtyPair pty;
    ASSERT_EQ(symlink(pty.slavePath().c_str(), "COM3"), 0);
    ASSERT_EQ(lchown("COM3", other->pw_uid, other->pw_gid), 0);
    ASSERT_EQ(mkfifo("COM4", 0666), 0);
    ASSERT_EQ(chown("COM4", other->pw_uid, other->pw_gid), 0);
    const std::string uid = std::to_string(other->pw_uid);
    const std::pair<int, std::string> refusals[] = {
        {3, "COM3: ./COM3 is not opened: COM3 is a symbolic link of another user (uid " + uid},
        {4, "COM4: ./COM4 is not opened: it belongs to another user (uid " + uid}};
    for (const auto& [number, why] : refusals) {
        SerialPort port(number);
        EXPECT_FALSE(port.open());
        EXPECT_THAT(port.openFailure(), StartsWith(why));
    }
    // The user's own link to the same device opens.
    ASSERT_EQ(lchown("COM3", getuid(), getgid()), 0);
    SerialPort own(3);
    EXPECT_TRUE(own.open());
}

TEST(SerialDevices, TheListPrefersStableNamesAndTheLinkCommandUsesOne) {
    TempDir dev;
    testsupport::writeFile(dev.file("ttyUSB0"), "");
    testsupport::writeFile(dev.file("ttyUSB1"), "");
    testsupport::writeFile(dev.file("ttyUSB10"), "");
    testsupport::writeFile(dev.file("ttyACM0"), "");
    testsupport::writeFile(dev.file("ttyS0"), "");
    ASSERT_EQ(mkdir(dev.file("serial").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dev.file("serial/by-id").c_str(), 0755), 0);
    const std::string byId = dev.file("serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
    ASSERT_EQ(symlink("../../ttyUSB1", byId.c_str()), 0);

    const auto devices = platform::serial_linux::findSerialDevices(dev.path());
    std::string names;
    for (const auto& d : devices) names += d.path.substr(dev.path().size()) + " ";
    EXPECT_EQ(names, "/serial/by-id/usb-FTDI_FT232R_A1-if00-port0 /ttyUSB0 /ttyUSB10 /ttyACM0 ");

    platform::serial_linux::OpenAttempt attempt;
    attempt.portNumber = 3;
    attempt.path = "/dev/ttyS2";
    attempt.error = ENOENT;
    attempt.folder = "/home/u/my settings";
    const std::string line = platform::serial_linux::describeOpenFailure(attempt, devices);
    EXPECT_THAT(
        line, HasSubstr("; serial devices: " + byId + " (ttyUSB1), " + dev.file("ttyUSB0") + ", "));
    EXPECT_THAT(line,
                HasSubstr("; make one COM3 with: ln -sf " + byId + " '/home/u/my settings/COM3'"));
    EXPECT_EQ(line.find('\n'), std::string::npos);

    // The device that just failed is not offered again; a named device is offered as one.
    attempt.byNumber = false;
    attempt.path = byId;
    attempt.error = EBUSY;
    EXPECT_THAT(platform::serial_linux::describeOpenFailure(attempt, devices),
                HasSubstr("; use one with: tarvel --port " + dev.file("ttyUSB0")));
}

TEST_F(PortOpenFailureTest, EachAttemptSaysWhyOnceAndTheReaderReopensQuietly) {
    ::testing::internal::CaptureStderr();
    openSensorPort(97);  // start-up
    openSensorPort(97);  // the connect button
    const std::string said = ::testing::internal::GetCapturedStderr();
    const std::string line = "tarvel: COM97: /dev/ttyS96 is missing";
    ASSERT_THAT(said, StartsWith(line));
    EXPECT_EQ(said.find(line, 1), said.find('\n') + 1);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2);

    // Connected, then unplugged: the reader's attempts to reopen say nothing.
    PtyPair pty;
    pty.linkAs("COM97");
    openSensorPort(97);
    ASSERT_TRUE(SensorLink::instance().connected);
    ::testing::internal::CaptureStderr();
    pty.closeMaster();
    testsupport::sleepMs(300);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(PortOpenFailureTest, ANamedDeviceReplacesTheComNumberAndKeepsIt) {
    PtyPair pty;
    setSensorPortDevice(pty.slavePath());
    openSensorPort(97);  // no such port
    EXPECT_TRUE(SensorLink::instance().connected);
    EXPECT_EQ(SensorLink::instance().deviceName, pty.slavePath());
}

TEST_F(PortOpenFailureTest, ADeviceThatIsNoSerialPortIsSaidAndReadsNothing) {
    // What a mistaken "echo ... > /dev/ttyUSB0" leaves: a plain file, here holding a frame.
    testsupport::writeFile("plain.txt", "!1,2,3,4,5,6,7,8,9\r\n");
    for (const std::string device : {"./plain.txt", "/dev/null"}) {
        SensorLink::instance().reset();
        setSensorPortDevice(device);
        ::testing::internal::CaptureStderr();
        openSensorPort(97);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "tarvel: " + device +
                      " is not a serial port (no terminal device): nothing is "
                      "read from it\n");
        EXPECT_TRUE(SensorLink::instance().connected);
        EXPECT_EQ(SensorLink::instance().load(0), -1.0f);
    }
}

}  // namespace
