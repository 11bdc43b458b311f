// Tests of the Windows backends that need no display: the serial port (on a pair of COM ports
// that scripts/test-windows.sh makes from a pseudo-terminal pair), the UDP sender and the
// telemetry record, the profile lookup and the whole-file replace (also under names outside
// the system's code page), the extension lookup and the named-mutex guard.
// windows.h after winsock2.h, or it pulls in the old winsock.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "analysis/walk_state.h"
#include "link/sensor_link.h"
#include "output/telemetry.h"
#include "platform/file_chooser.h"
#include "platform/file_names.h"
#include "platform/file_replace.h"
#include "platform/ini.h"
#include "platform/serial.h"
#include "platform/single_instance.h"
#include "platform/udp.h"
#include "settings/settings_file.h"
#include "tests/support/default_settings.h"
#include "tests/support/support.h"
#include "tests/support/telemetry_text.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// ---- Serial port ----------------------------------------------------------------------

// The two COM numbers of a linked pair ("5,6" in TARVEL_TEST_COM_PAIR), or none.
bool comPair(int& nearPort, int& farPort) {
    const char* pair = std::getenv("TARVEL_TEST_COM_PAIR");
    return pair != nullptr && std::sscanf(pair, "%d,%d", &nearPort, &farPort) == 2;
}

// Drops what earlier tests left unread in the pair.
void discardPending(const platform::SerialPort& port) {
    PurgeComm(reinterpret_cast<HANDLE>(port.nativeHandle()), PURGE_RXCLEAR | PURGE_TXCLEAR);
}

#define REQUIRE_COM_PAIR(nearPort, farPort) \
    int nearPort = 0, farPort = 0;          \
    if (!comPair(nearPort, farPort)) GTEST_SKIP() << "no COM port pair (TARVEL_TEST_COM_PAIR)"

// The farPort end of the pair, opened plainly (no overlapped I/O) to write the test's bytes.
class FarEnd {
  public:
    explicit FarEnd(int number) {
        const std::string name = "\\\\.\\COM" + std::to_string(number);
        handle_ = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    }
    ~FarEnd() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    void write(const std::string& bytes) {
        DWORD written = 0;
        ASSERT_TRUE(
            WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        ASSERT_EQ(written, bytes.size());
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST(SerialPortWin32, NamesEveryPortInTheDeviceNamespace) {
    EXPECT_EQ(platform::SerialPort(3).deviceName(), "\\\\.\\COM3");
    EXPECT_EQ(platform::SerialPort(12).deviceName(), "\\\\.\\COM12");
    EXPECT_EQ(platform::SerialPort(0).deviceName(), "\\\\.\\COM0");
    EXPECT_EQ(platform::SerialPort(-1).deviceName(), "\\\\.\\COM-1");
}

TEST(SerialPortWin32, APortThatDoesNotExistStaysClosed) {
    platform::SerialPort port(199);
    EXPECT_FALSE(port.open());
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.nativeHandle(), -1);
    std::array<std::uint8_t, 16> buffer;
    std::size_t count = 0;
    EXPECT_EQ(port.read(buffer, count), platform::SerialRead::Gone);
}

TEST(SerialPortWin32, TheLineIsSetFromAZeroedRecordAndReadsWaitForTheirByte) {
    REQUIRE_COM_PAIR(nearPort, farPort);
    platform::SerialPort port(nearPort);
    ASSERT_TRUE(port.open());
    HANDLE h = reinterpret_cast<HANDLE>(port.nativeHandle());
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(GetCommState(h, &dcb));
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    // (DTR and RTS are not checked: a pseudo-terminal has no modem lines to hold off.)
    COMMTIMEOUTS timeouts;
    ASSERT_TRUE(GetCommTimeouts(h, &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
}

// How many bytes the driver holds for the port, once it holds `expected` (or after 10 s).
DWORD queuedOnce(const platform::SerialPort& port, DWORD expected) {
    COMSTAT status{};
    testsupport::waitUntil(
        [&] {
            DWORD errors = 0;
            ClearCommError(reinterpret_cast<HANDLE>(port.nativeHandle()), &errors, &status);
            return status.cbInQue >= expected;
        },
        10s);
    return status.cbInQue;
}

TEST(SerialPortWin32, AReadTakesWhatIsQueuedUpToItsBufferAndLeavesTheRest) {
    REQUIRE_COM_PAIR(nearPort, farPort);
    platform::SerialPort port(nearPort);
    ASSERT_TRUE(port.open());
    discardPending(port);
    FarEnd writer(farPort);
    ASSERT_TRUE(writer.ok());
    const std::string sent("!1.5,2,3\r\n\x00\xFF,", 13);
    writer.write(sent);
    ASSERT_EQ(queuedOnce(port, 13), 13u);
    // A buffer of 5: two full reads, then the 3 bytes left, none of them waiting.
    std::string received;
    std::array<std::uint8_t, 5> buffer;
    for (std::size_t expected : {5u, 5u, 3u}) {
        std::size_t count = 0;
        ASSERT_EQ(port.read(buffer, count), platform::SerialRead::Data);
        EXPECT_EQ(count, expected);
        received.append(reinterpret_cast<const char*>(buffer.data()), count);
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(queuedOnce(port, 0), 0u);
}

TEST(SerialPortWin32, InterruptEndsABlockedReadAndEveryLaterOne) {
    REQUIRE_COM_PAIR(nearPort, farPort);
    platform::SerialPort port(nearPort);
    ASSERT_TRUE(port.open());
    discardPending(port);
    std::atomic<int> outcome{-1};
    std::array<std::uint8_t, 64> buffer;
    std::thread reader([&] {
        std::size_t count = 0;
        outcome = static_cast<int>(port.read(buffer, count));
    });
    // The read has nothing to deliver, so it is still blocked when the interrupt comes.
    testsupport::sleepMs(200);
    EXPECT_EQ(outcome.load(), -1);
    port.interrupt();
    reader.join();
    EXPECT_EQ(outcome.load(), static_cast<int>(platform::SerialRead::Interrupted));
    std::size_t count = 0;
    EXPECT_EQ(port.read(buffer, count), platform::SerialRead::Interrupted);
}

TEST(SensorLinkWin32, OpeningTheConfiguredPortStartsTheReaderOnIt) {
    REQUIRE_COM_PAIR(nearPort, farPort);
    FarEnd writer(farPort);
    ASSERT_TRUE(writer.ok());
    SensorLink& link = SensorLink::instance();
    link.reset();
    openSensorPort(nearPort);
    ASSERT_TRUE(link.connected);
    const bool arrived = testsupport::waitUntil(
        [&] {
            writer.write("!1.5,2,3,4,5,6,7,8,42\r\n");
            return link.load(0) == 1.5f && link.load(7) == 8.0f && link.currentTick() == 42.0f;
        },
        10s);
    EXPECT_TRUE(arrived);
    // 1000 frames of one-digit fields in one write, "," the only separator and no "!" after the
    // first: one byte lost between two reads shifts every later field, and the last frame's
    // values never appear.
    std::string burst = "!";
    for (int k = 0; k < 1000; ++k) burst += "1,2,3,4,5,6,7,8,9,";
    writer.write(burst + "9,8,7,6,5,4,3,2,1,");
    EXPECT_TRUE(testsupport::waitUntil(
        [&] {
            for (int i = 0; i < 8; ++i) {
                if (link.load(i) != 9.0f - i) return false;
            }
            return link.currentTick() == 1.0f;
        },
        10s));
    // The reader ends at once when asked, though its read is blocked on a quiet port.
    stopSensorReader();
    EXPECT_EQ(link.readerThread, nullptr);
    link.reset();
}

// ---- UDP and the telemetry record --------------------------------------------------------

// A Winsock receiver on 127.0.0.1 that also reports each datagram's source.
class Receiver {
  public:
    Receiver() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a;
        std::memset(&a, 0, sizeof a);
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        int len = sizeof a;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        DWORD timeoutMs = 10000;
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                   sizeof timeoutMs);
    }
    ~Receiver() {
        closesocket(socket_);
        WSACleanup();
    }
    std::uint16_t port() const { return port_; }
    std::string receive(sockaddr_in& from) {
        char buffer[2048];
        int len = sizeof from;
        const int n =
            recvfrom(socket_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
    }

  private:
    SOCKET socket_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
};

TEST(UdpSenderWin32, SendsWholeDatagramsFromTheLoopbackAddress) {
    Receiver receiver;
    platform::UdpSender sender;
    ASSERT_TRUE(sender.open(receiver.port()));
    std::string payload(256, '\xFE');
    payload.replace(0, 6, "hello\n");
    ASSERT_TRUE(sender.send(payload.data(), payload.size()));
    sockaddr_in from;
    EXPECT_EQ(receiver.receive(from), payload);
    char address[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, address, sizeof address);
    EXPECT_STREQ(address, "127.0.0.1");
    EXPECT_NE(ntohs(from.sin_port), 0);
}

TEST(UdpSenderWin32, SendsNothingOnceClosedAndCanBeOpenedAgain) {
    Receiver receiver;
    platform::UdpSender sender;
    ASSERT_TRUE(sender.open(receiver.port()));
    sender.close();
    const char byte = 'x';
    EXPECT_FALSE(sender.send(&byte, 1));
    ASSERT_TRUE(sender.open(receiver.port()));
    EXPECT_TRUE(sender.send(&byte, 1));
    sockaddr_in from;
    EXPECT_EQ(receiver.receive(from), "x");
}

TEST(TelemetryWin32, TheDefaultRecordArrivesAsTheDocumentedText) {
    Receiver receiver;
    TelemetrySender sender;
    sender.open(receiver.port());
    ASSERT_TRUE(sender.send(testsupport::defaultSettings()));
    sockaddr_in from;
    const std::string datagram = receiver.receive(from);
    const std::string text =
        "0,0,0.000000,0.000000,0.000000,0.300000,0.000000,0.000000,0.000000,0.000000,"
        "-12.500000,12.500000,-20.000000,20.000000,0.250000,0.080000,0.150000\n";
    ASSERT_EQ(datagram.size(), 256u);
    EXPECT_EQ(datagram.substr(0, text.size()), text);
    EXPECT_EQ(datagram[text.size()], '\0');
    EXPECT_EQ(datagram.find_first_not_of('\xFE', text.size() + 1), std::string::npos);
    sender.close();
}

TEST(TelemetryWin32, FloatsPrintLikeTheCLibraryDoesOnLinux) {
    // The Windows C library's own "%f" differs for infinities and NaNs; the program's record
    // must not.
    WalkState state = testsupport::defaultSettings();
    state.angle = -19.65f;
    state.directionX = std::numeric_limits<float>::infinity();
    state.directionY = -std::numeric_limits<float>::infinity();
    state.upperAverage = 1e30f;
    unsigned char buffer[kTelemetryRecordSize];
    const std::size_t n = formatTelemetry(state, buffer);
    const std::string text(reinterpret_cast<const char*>(buffer), n);
    EXPECT_NE(text.find(",-19.650000,"), std::string::npos) << text;
    EXPECT_NE(text.find(",inf,-inf,"), std::string::npos) << text;
    EXPECT_NE(text.find("0,0,1000000015047466219876688855040.000000,"), std::string::npos) << text;
}

// ---- Settings files ------------------------------------------------------------------------

TEST(IniFileWin32, ABareNameIsLookedUpInTheCurrentFolder) {
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    testsupport::writeFile(dir.file("tarvel.ini"), "[param]\r\ncomID=7\r\n");
    for (const char* path : {"tarvel.ini", "./tarvel.ini", ".\\tarvel.ini"}) {
        EXPECT_EQ(platform::IniFile(path).value("param", "comID", "3"), "7") << path;
    }
    EXPECT_EQ(platform::IniFile("other.ini").value("param", "comID", "3"), "3");
}

TEST(IniFileWin32, PassesTheSystemsValuesOnWhole) {
    testsupport::TempDir dir;
    const std::string path = dir.file("settings.ini");
    const std::string longValue(300, 'x');
    testsupport::writeFile(
        path, "[Param]\r\nCOMID = 12abc \r\nlong=" + longValue + "\r\n[param]\r\ncomID=5\r\n");
    const platform::IniFile file(path);
    EXPECT_EQ(file.value("param", "comID", "3"), "12abc");
    EXPECT_EQ(file.value("param", "long", ""), longValue.substr(0, 255));
    EXPECT_EQ(file.value("emulation", "appMode", "0"), "0");
}

TEST(SettingsFileWin32, SavesWindowsTextAndLoadsItBack) {
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    WalkState state = testsupport::defaultSettings();
    state.comID = 12;
    state.thresholdFL = -19.5f;
    state.loadMax[3] = 123.456f;
    state.appMode = 1;
    state.oscEnabled = 1;
    std::strcpy(state.oscHost, "192.168.1.40");
    state.oscPort = 9001;
    state.xrEnabled = 1;
    state.runKeyCode = 16;
    state.cadenceSpeed = 0;
    state.walkCadence = 92.5f;
    state.runSpeed = 0.8f;
    ASSERT_TRUE(saveSettings("./tarvel.ini", state));
    const std::string bytes = testsupport::readFile(dir.file("tarvel.ini"));
    EXPECT_EQ(bytes.substr(0, 27), "[param]\r\ncomID=12\r\nautoCali");
    EXPECT_NE(bytes.find("\r\nloadMax3=123.46\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nthresholdFL=-19.50\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find("\n\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nmoveRightKeyCode=68\r\nrunKeyCode=16\r\n[osc]\r\n"),
              std::string::npos);
    EXPECT_TRUE(bytes.ends_with(
        "\r\nenabled=1\r\nhost=192.168.1.40\r\nport=9001\r\n[openxr]\r\nenabled=1\r\n"
        "[walk]\r\ncadenceSpeed=0\r\nwalkCadence=92.50\r\nrunCadence=170.00\r\nrunSpeed=0.80\r\n"));

    WalkState loaded{};
    loadSettings("./tarvel.ini", loaded);
    EXPECT_EQ(loaded.comID, 12);
    EXPECT_EQ(loaded.thresholdFL, -19.5f);
    EXPECT_EQ(loaded.loadMax[3], 123.46f);
    EXPECT_EQ(loaded.appMode, 1);
    EXPECT_EQ(loaded.moveFrontKeyCode, 87);
    EXPECT_EQ(loaded.oscEnabled, 1);
    EXPECT_STREQ(loaded.oscHost, "192.168.1.40");
    EXPECT_EQ(loaded.oscPort, 9001);
    EXPECT_EQ(loaded.xrEnabled, 1);
    EXPECT_EQ(loaded.runKeyCode, 16);
    EXPECT_EQ(loaded.cadenceSpeed, 0);
    EXPECT_EQ(loaded.walkCadence, 92.5f);
    EXPECT_EQ(loaded.runCadence, 170.0f);
    EXPECT_EQ(loaded.runSpeed, 0.8f);
}

TEST(FileReplaceWin32, ReplacesWholeAndLeavesNoTemporaryFileBehind) {
    testsupport::TempDir dir;
    const std::string path = dir.file("settings.ini");
    ASSERT_TRUE(platform::replaceFileContents(path, "first\r\n"));
    ASSERT_TRUE(platform::replaceFileContents(path, std::string("second\r\n\0x", 10)));
    EXPECT_EQ(testsupport::readFile(path), std::string("second\r\n\0x", 10));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(FileReplaceWin32, RefusesWhatItMayNotWriteAndKeepsItAsItWas) {
    testsupport::TempDir dir;
    const std::string readOnly = dir.file("locked.ini");
    testsupport::writeFile(readOnly, "old");
    ASSERT_TRUE(SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(platform::replaceFileContents(readOnly, "new"));
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(testsupport::readFile(readOnly), "old");

    fs::create_directory(dir.file("folder"));
    EXPECT_FALSE(platform::replaceFileContents(dir.file("folder"), "new"));
    EXPECT_FALSE(platform::replaceFileContents(dir.file("missing/settings.ini"), "new"));
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2);
}

TEST(FindExtensionWin32, ReadsWindowsPathsWithNamesInAnyLanguage) {
    using platform::findExtension;
    EXPECT_EQ(findExtension("C:\\Users\\u\\tarvel.ini"), 17u);
    EXPECT_EQ(findExtension("C:\\a.b\\walk"), 11u);
    const std::string kanji = "C:\\表.d\\表";
    EXPECT_EQ(findExtension(kanji), kanji.size());
    EXPECT_EQ(findExtension("C:\\x\\設定 café.INI"), 17u);
    EXPECT_EQ(findExtension("Z:/home/u.d/walk"), 16u);
}

// A recording's folder and file named in Japanese and with accents, outside every single code
// page, and a settings file that cannot be used there (settings files loaded and saved under
// such names: the Wine smoke test).
TEST(FileNamesWin32, ARecordingOpensUnderANameOutsideTheCodePage) {
    testsupport::TempDir dir;
    const std::string folder = dir.path() + "\\設定 café";
    ASSERT_TRUE(fs::create_directory(platform::fileSystemPath(folder)));
    std::FILE* file = platform::openFile(folder + "\\記録.txt", "wb");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_TRUE(fs::is_regular_file(platform::fileSystemPath(folder + "/記録.txt")));

    // A settings file there that gives no setting is found, and kept.
    file = platform::openFile(folder + "\\tarvel.ini", "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("notes, no settings\r\n", file);
    std::fclose(file);
    WalkState state{};
    EXPECT_TRUE(loadSettings(folder + "\\tarvel.ini", state).unusable);
}

// ---- Single instance ----------------------------------------------------------------------------

TEST(SingleInstanceWin32, TheNamedMutexAdmitsOneHolderAtATime) {
    platform::SingleInstanceGuard first;
    platform::SingleInstanceGuard second;
    ASSERT_TRUE(first.acquire("Tarvel-Omnix-test"));
    EXPECT_FALSE(second.acquire("Tarvel-Omnix-test"));
    EXPECT_FALSE(second.held());
    platform::SingleInstanceGuard other;
    EXPECT_TRUE(other.acquire("Tarvel-Omnix-test-other"));
    first.release();
    EXPECT_TRUE(second.acquire("Tarvel-Omnix-test"));
}

TEST(SingleInstanceWin32, ANameTakenByAnotherKindOfObjectLetsTheProgramRunUnguarded) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Tarvel-Omnix-test-event");
    ASSERT_NE(event, nullptr);
    platform::SingleInstanceGuard guard;
    EXPECT_TRUE(guard.acquire("Tarvel-Omnix-test-event"));
    EXPECT_FALSE(guard.held());
    CloseHandle(event);
}

}  // namespace
