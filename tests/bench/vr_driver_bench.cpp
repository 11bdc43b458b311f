// The cost of one RunFrame of the SteamVR driver in the test host (the block read, the two
// joystick updates through the host's recording input interface), beside the block read alone,
// with a walk published every millisecond beside it as the program does.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "platform/xr_walk_block.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"
#include "tests/vrdriver/driver_host.h"

namespace {

struct Publisher {
    testsupport::TempDir dir;
    testsupport::ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.path()};
    platform::XrWalkWriter writer;
    bool opened = writer.open() == platform::XrWalkWriter::Opened::Yes &&
                  writer.publish({0.25f, -0.08f, 0.15f}, 1, platform::monotonicNanoseconds());
    std::atomic<bool> running{true};
    std::thread thread{[this] {
        while (running.load()) {
            writer.publish({0.25f, -0.08f, 0.15f}, 1, platform::monotonicNanoseconds());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }};
    ~Publisher() {
        running = false;
        thread.join();
    }
};

void runFrame(benchmark::State& state) {
    Publisher program;
    vrtest::DriverHost host;
    if (!program.opened || !host.load(vrtest::driverLibrary()) ||
        host.start() != openvr::InitErrorNone) {
        state.SkipWithError("the driver did not load");
        return;
    }
    for (auto _ : state) host.runFrame();
    if (host.component("/input/joystick/y")->value != 0.25f) state.SkipWithError("no walk");
}
BENCHMARK(runFrame);

void blockRead(benchmark::State& state) {
    Publisher program;
    platform::XrWalkReader reader;
    for (auto _ : state) benchmark::DoNotOptimize(reader.read(platform::monotonicNanoseconds()));
}
BENCHMARK(blockRead);

}  // namespace
