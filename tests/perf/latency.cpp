// End-to-end latency of the data path: a frame written on a pseudo-terminal until the datagram
// that carries its values arrives on a UDP socket. Prints the median, 99th percentile and
// maximum.
//   tarvel_latency [FRAMES]
//       in this process: the real port opening, reader thread, analysis pass, telemetry and the
//       1 ms pacing of the main loop, frames at irregular gaps (default 1000 frames);
//   tarvel_latency --link PATH [--frames N] [--rate HZ]
//       a program run beside it (tarvel, or tarvel.exe under Wine with PATH as its COM port):
//       the pty is linked at PATH, the datagrams are taken on 127.0.0.1:12345, and frames of
//       the simulator's length go out at HZ (default 100) once the program sends; a frame's
//       latency ends when the kernel takes in the first datagram that shows it. Prints
//       "measuring" when the timed frames start. The program must run with default settings
//       apart from its port (loadMax 10, no automatic calibration).
//   tarvel_latency --link PATH --xr 1 [--frames N] [--rate HZ]
//       the same program with [openxr] enabled=1 and this tool's XDG_RUNTIME_DIR: a frame's
//       latency ends when the OpenXR layer's read of the block (polled every 20 us, as a game
//       that syncs without pause would) first shows the program's pass over it.
//   tarvel_latency --link PATH --vr 1 [--frames N] [--rate HZ]
//       the same, read by the SteamVR driver in the test host with RunFrame at 90 Hz: a frame's
//       latency ends when the first RunFrame that begins after the program's pass over it has
//       updated the joystick.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/walk_state.h"
#include "app/frame_pass.h"
#include "link/sensor_link.h"
#include "output/telemetry.h"
#include "platform/xr_walk_block.h"
#include "tests/support/default_settings.h"
#include "tests/support/pty_pair.h"
#include "tests/support/support.h"
#include "tests/vrdriver/driver_host.h"
#include "tools/sim/pty_port.h"

using Clock = std::chrono::steady_clock;
// Datagram arrival times come from the kernel's wall clock.
using Wall = std::chrono::system_clock;

namespace {

double microsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

void report(std::vector<double> micros, int frames, const char* note) {
    std::sort(micros.begin(), micros.end());
    std::printf("frames %d: median %.0f us, p99 %.0f us, max %.0f us%s\n", frames,
                micros[micros.size() / 2], micros[micros.size() * 99 / 100], micros.back(), note);
}

int inProcess(int frames) {
    testsupport::TempDir dir;
    testsupport::ScopedCwd cwd(dir.path());
    testsupport::PtyPair pty;
    pty.linkAs("./COM9");
    testsupport::UdpListener listener;

    WalkState& state = WalkState::instance();
    state = testsupport::defaultSettings();
    state.comID = 9;
    // An empty platform waits in the line, so the tare is all zero.
    pty.write("!0,0,0,0,0,0,0,0,0\r\n");
    openSensorPort(state.comID);
    if (!SensorLink::instance().connected) {
        std::fprintf(stderr, "cannot open the pseudo-terminal\n");
        return 1;
    }
    // The main loop's passes, as the program runs them while connected.
    std::atomic<bool> stop{false};
    std::thread loop([&] {
        TelemetrySender sender;
        sender.open(listener.port());
        FramePass pass(SensorLink::instance(), state, sender, nullptr);
        while (!stop.load()) {
            pass.run(FramePass::Clock::now());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    std::vector<double> micros;
    bool failed = false;
    for (int k = 1; k <= frames && !failed; ++k) {
        // Sensor 0 carries the frame number: upperAverage = k / 10 * 5 / 4.
        char frame[96];
        std::snprintf(frame, sizeof frame, "!%d,0,0,0,0,0,0,0,%d\r\n", k, k);
        char want[32];
        std::snprintf(want, sizeof want, "0,0,%f,",
                      static_cast<double>(static_cast<float>(k) / 10.0f * 5.0f * 0.25f));
        listener.drain();
        const auto sent = Clock::now();
        pty.write(frame);
        for (;;) {
            auto d = listener.receive(std::chrono::milliseconds(1000));
            if (!d || Clock::now() - sent > std::chrono::seconds(2)) {
                std::fprintf(stderr, "frame %d: no datagram starting %s (last: %.40s)\n", k, want,
                             d ? d->c_str() : "none");
                failed = true;
                break;
            }
            if (d->rfind(want, 0) == 0) break;
        }
        if (failed) break;
        micros.push_back(microsSince(sent));
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + (k * 337) % 5000));
    }
    stop.store(true);
    loop.join();
    stopSensorReader();
    if (failed || micros.empty()) return 1;
    report(micros, frames, "");
    return 0;
}

// Sensor 0 of a timed frame: 1 to 2000, so that upperAverage = load / 8 names the frame.
int loadOf(long k) {
    return static_cast<int>(k % 2000) + 1;
}

// The frame counter goes up by one per frame; loads have three decimals like the simulator's.
std::string frameText(int load, long counter) {
    char text[96];
    std::snprintf(text, sizeof text, "!%d.000,0.000,0.000,0.000,0.000,0.000,0.000,0.000,%ld\r\n",
                  load, counter);
    return text;
}

// The sensor 0 load a datagram shows, from its third field (upperAverage), or -1.
int loadShown(const std::string& datagram) {
    const char* field = datagram.c_str();
    for (int i = 0; i < 2 && field != nullptr; ++i) {
        field = std::strchr(field, ',');
        if (field != nullptr) ++field;
    }
    return field == nullptr ? -1 : static_cast<int>(std::lround(std::atof(field) * 8.0));
}

// Frames go out one period apart. When this tool itself was held up past a period, the
// schedule restarts from now rather than writing the missed frames back to back.
class Pacer {
  public:
    explicit Pacer(int rate) : period_(std::chrono::nanoseconds(1'000'000'000 / rate)) {}
    void next() { deadline_ = std::max(deadline_ + period_, Clock::now() + period_ / 2); }
    bool running() const { return Clock::now() < deadline_; }
    std::chrono::milliseconds left() const {
        return std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
    }

  private:
    std::chrono::nanoseconds period_;
    Clock::time_point deadline_ = Clock::now();
};

// The datagrams on 127.0.0.1:12345 with the time the kernel took each in, so that a moment in
// which this tool itself was held up does not count as the program's latency.
class StampedReceiver {
  public:
    StampedReceiver() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
        const int big = 4 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(kTelemetryPort);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ok_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~StampedReceiver() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return ok_; }
    // One datagram and its arrival, or nothing within `timeout`.
    std::optional<std::pair<std::string, Wall::time_point>> receive(
        std::chrono::milliseconds timeout) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
        char data[512];
        alignas(cmsghdr) char control[64];
        iovec io{data, sizeof data};
        msghdr m{};
        m.msg_iov = &io;
        m.msg_iovlen = 1;
        m.msg_control = control;
        m.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(fd_, &m, 0);
        if (n < 0) return std::nullopt;
        Wall::time_point at = Wall::now();
        for (cmsghdr* c = CMSG_FIRSTHDR(&m); c != nullptr; c = CMSG_NXTHDR(&m, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                timespec t;
                std::memcpy(&t, CMSG_DATA(c), sizeof t);
                at = Wall::time_point(std::chrono::duration_cast<Wall::duration>(
                    std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec)));
            }
        }
        return std::make_pair(std::string(data, static_cast<std::size_t>(n)), at);
    }

  private:
    int fd_ = -1;
    bool ok_ = false;
};

int besideProgram(const std::string& linkPath, int frames, int rate) {
    sim::PtyPort port(linkPath);
    std::string error;
    if (!port.open(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    StampedReceiver listener;
    if (!listener.ok()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%u\n", kTelemetryPort);
        return 1;
    }
    Pacer pacer(rate);
    long counter = 0;

    // An empty platform until the program sends, and two seconds more: its tare is all zero.
    const auto giveUp = Clock::now() + std::chrono::seconds(120);
    std::optional<Clock::time_point> firstDatagram;
    while (!firstDatagram || Clock::now() < *firstDatagram + std::chrono::seconds(2)) {
        if (Clock::now() > giveUp) {
            std::fprintf(stderr, "no datagram from the program within 120 s\n");
            return 1;
        }
        port.write(frameText(0, ++counter));
        pacer.next();
        while (pacer.running()) {
            if (listener.receive(pacer.left()) && !firstDatagram) firstDatagram = Clock::now();
        }
    }
    std::printf("measuring\n");
    std::fflush(stdout);

    // Each timed frame waits, under its load, for the first datagram that shows it. Frames
    // older than one that was shown were replaced before any pass saw them: overtaken.
    struct Sent {
        long k;
        Wall::time_point at;
    };
    std::map<int, Sent> waiting;
    std::vector<double> micros;
    int overtaken = 0;
    const long tail = rate / 2;  // periods to wait for the last frames
    for (long k = 1; k <= frames + tail; ++k) {
        if (k <= frames) {
            const int load = loadOf(k);
            waiting[load] = {k, Wall::now()};
            port.write(frameText(load, ++counter));
        }
        pacer.next();
        while (pacer.running()) {
            const auto datagram = listener.receive(pacer.left());
            if (!datagram) continue;
            const auto shown = waiting.find(loadShown(datagram->first));
            if (shown == waiting.end()) continue;
            micros.push_back(
                std::chrono::duration<double, std::micro>(datagram->second - shown->second.at)
                    .count());
            const long sentK = shown->second.k;
            waiting.erase(shown);
            overtaken += static_cast<int>(std::erase_if(
                waiting, [sentK](const auto& entry) { return entry.second.k < sentK; }));
        }
    }
    if (micros.empty()) {
        std::fprintf(stderr, "no timed frame came back\n");
        return 1;
    }
    char note[96];
    std::snprintf(note, sizeof note, "; %d overtaken, %zu not seen within %ld ms", overtaken,
                  waiting.size(), tail * 1000 / rate);
    report(micros, frames, note);
    return 0;
}

// Frames one period apart, each timed until the block's frame count moves on from the one
// before it was written.
int xrBesideProgram(const std::string& linkPath, int frames, int rate, bool vr) {
    sim::PtyPort port(linkPath);
    std::string error;
    platform::XrWalkReader reader;
    if (!port.open(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const auto read = [&] { return reader.read(platform::monotonicNanoseconds()); };
    // With vr: the block's frame as of the start of the last RunFrame, once that has ended.
    std::atomic<std::uint32_t> updated{0};
    std::atomic<bool> running{true};
    platform::XrWalkReader vrReader;  // the RunFrame thread's own
    vrtest::DriverHost host;
    if (vr && (!host.load(vrtest::driverLibrary()) || host.start() != openvr::InitErrorNone)) {
        return std::fprintf(stderr, "the driver did not load\n"), 1;
    }
    std::thread vrserver([&] {
        for (auto next = Clock::now(); vr && running.load();
             next += std::chrono::microseconds(11111)) {
            const std::uint32_t frame = vrReader.read(platform::monotonicNanoseconds()).frame;
            host.runFrame();
            updated.store(frame);
            std::this_thread::sleep_until(next);
        }
    });
    struct Shown {
        bool fresh;
        std::uint32_t frame;
    };
    const auto shown = [&] {
        if (vr) return Shown{true, updated.load()};
        const xrwalk::Reading r = read();
        return Shown{r.fresh, r.frame};
    };
    struct Stop {
        std::atomic<bool>& running;
        std::thread& thread;
        ~Stop() {
            running = false;
            thread.join();
        }
    } stop{running, vrserver};
    Pacer pacer(rate);
    long counter = 0;
    const auto giveUp = Clock::now() + std::chrono::seconds(120);
    for (auto started = giveUp; Clock::now() < started + std::chrono::seconds(2); pacer.next()) {
        if (Clock::now() > giveUp) return std::fprintf(stderr, "the block stays empty\n"), 1;
        port.write(frameText(0, ++counter));
        if (read().fresh && shown().fresh && started == giveUp) started = Clock::now();
        while (pacer.running()) std::this_thread::sleep_for(pacer.left());
    }
    std::printf("measuring\n");
    std::fflush(stdout);
    std::vector<double> micros;
    for (int k = 1; k <= frames; ++k, pacer.next()) {
        const std::uint32_t before = shown().frame;
        const auto sent = Clock::now();
        port.write(frameText(loadOf(k), ++counter));
        while (pacer.running() && shown().frame == before) {
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        if (shown().frame != before) micros.push_back(microsSince(sent));
        while (pacer.running()) std::this_thread::sleep_for(pacer.left());
    }
    if (micros.empty()) return std::fprintf(stderr, "no frame was shown\n"), 1;
    report(micros, frames, "");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 1) return inProcess(1000);
    if (std::strcmp(argv[1], "--link") != 0) return inProcess(std::atoi(argv[1]));
    std::string link;
    int frames = 3000, rate = 100;
    bool xr = false, vr = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--link") link = argv[i + 1];
        if (option == "--xr") xr = std::strcmp(argv[i + 1], "1") == 0;
        if (option == "--vr") vr = std::strcmp(argv[i + 1], "1") == 0;
        if (option == "--frames") frames = std::atoi(argv[i + 1]);
        if (option == "--rate") rate = std::atoi(argv[i + 1]);
    }
    if (link.empty() || frames < 1 || rate < 1) {
        std::fprintf(stderr,
                     "usage: tarvel_latency [FRAMES] | --link PATH [--frames N] [--rate HZ]\n");
        return 2;
    }
    return xr || vr ? xrBesideProgram(link, frames, rate, vr) : besideProgram(link, frames, rate);
}
