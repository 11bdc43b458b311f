// End-to-end latency of the data path: a frame written on a pseudo-terminal
// until the datagram that carries its values arrives on a UDP socket, through
// the real port opening, reader thread, analysis pass, telemetry and the 1 ms
// pacing of the main loop. Prints the median, 99th percentile and maximum.
//   usage: build/linux/bin/tarvel_latency [frames, default 1000]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "analysis/walk_state.h"
#include "link/sensor_link.h"
#include "output/telemetry.h"
#include "tests/support/default_settings.h"
#include "tests/support/pty_pair.h"
#include "tests/support/support.h"

using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 1000;
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
    openSensorPort();
    if (!SensorLink::instance().connected) {
        std::fprintf(stderr, "cannot open the pseudo-terminal\n");
        return 1;
    }
    // The main loop's passes, as the program runs them while connected.
    std::atomic<bool> stop{false};
    std::thread loop([&] {
        TelemetrySender sender;
        sender.open(listener.port());
        while (!stop.load()) {
            state.analyze();
            sender.send(state);
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
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + (k * 337) % 5000));
    }
    stop.store(true);
    loop.join();
    stopSensorReader();
    if (failed || micros.empty()) return 1;

    std::sort(micros.begin(), micros.end());
    std::printf("frames %d: median %.0f us, p99 %.0f us, max %.0f us\n", frames,
                micros[micros.size() / 2], micros[micros.size() * 99 / 100], micros.back());
    return 0;
}
