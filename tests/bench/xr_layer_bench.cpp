// What the OpenXR layer adds to a game's frame: one xrSyncActions and four stick reads (functions
// resolved once, as games do) through Debian's loader over the stub runtime, with the layer (a walk
// published every millisecond beside it, as the program does) and without it
// (DISABLE_TARVEL_XR_LAYER: the loader leaves it out), for a game of a Vector2f action per stick
// and one of Float axes.
#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

#include "platform/xr_walk_block.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"
#include "tests/xrlayer/xr_game.h"

namespace {

void frame(benchmark::State& state) {
    static testsupport::TempDir dir;  // one for every run: the publisher keeps its block mapped
    const std::string build = testsupport::binaryDir() + "/..";
    const bool layer = state.range(1) != 0;
    testsupport::ScopedEnv env[] = {
        {"XR_RUNTIME_JSON", build + "/xr/stub_runtime.json"},
        {"XDG_DATA_DIRS", build + "/xr/share"},
        {"XDG_CONFIG_DIRS", dir.file("none")},
        {"XDG_DATA_HOME", dir.file("none")},
        {"XDG_RUNTIME_DIR", dir.path()},
        {"DISABLE_TARVEL_XR_LAYER", layer ? std::nullopt : std::optional<std::string>("1")}};
    std::atomic<bool> running{true};
    std::thread program([&] {
        platform::XrWalkWriter writer;
        while (running.load()) {
            writer.open();
            writer.publish({0.25f, -0.08f, 0.15f}, 1, platform::monotonicNanoseconds());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO,
                              nullptr,
                              0,
                              {"bench", 1, "", 0, XR_MAKE_VERSION(1, 0, 0)},
                              0,
                              nullptr,
                              0,
                              nullptr};
    XrInstance instance = XR_NULL_HANDLE;
    xrCreateInstance(&info, &instance);
    {
        xrtest::XrGame game(xrGetInstanceProcAddr, instance,
                            static_cast<xrtest::GameKind>(state.range(0)));
        const bool floats = state.range(0) != 0;
        PFN_xrVoidFunction sync = nullptr, read = nullptr;
        xrGetInstanceProcAddr(instance, "xrSyncActions", &sync);
        xrGetInstanceProcAddr(instance,
                              floats ? "xrGetActionStateFloat" : "xrGetActionStateVector2f", &read);
        const XrActiveActionSet set{game.actionSet(), XR_NULL_PATH};
        const XrActionsSyncInfo syncInfo{XR_TYPE_ACTIONS_SYNC_INFO, nullptr, 1, &set};
        XrActionStateGetInfo get[4];
        for (int i = 0; i < 4; ++i) {
            const char* names[2][4] = {{"move", "turn", "pad", "vive"}, {"lx", "ly", "rx", "ry"}};
            get[i] = {XR_TYPE_ACTION_STATE_GET_INFO, nullptr, game.action(names[floats][i]), 0};
        }
        for (auto _ : state) {
            reinterpret_cast<PFN_xrSyncActions>(sync)(game.session(), &syncInfo);
            for (const XrActionStateGetInfo& g : get) {
                if (floats) {
                    XrActionStateFloat f{XR_TYPE_ACTION_STATE_FLOAT, nullptr, 0.0f, 0, 0, 0};
                    reinterpret_cast<PFN_xrGetActionStateFloat>(read)(game.session(), &g, &f);
                    benchmark::DoNotOptimize(f);
                } else {
                    XrActionStateVector2f v{XR_TYPE_ACTION_STATE_VECTOR2F, nullptr, {}, 0, 0, 0};
                    reinterpret_cast<PFN_xrGetActionStateVector2f>(read)(game.session(), &g, &v);
                    benchmark::DoNotOptimize(v);
                }
            }
        }
        if (layer && game.frame().at("L").y == 0.0f) state.SkipWithError("no walk added");
    }
    xrDestroyInstance(instance);
    running.store(false);
    program.join();
}

}  // namespace

// {game: 0 a Vector2f action per stick, 2 Float axes} x {0 runtime alone, 1 through the layer}
BENCHMARK(frame)->ArgsProduct({{0, 2}, {0, 1}})->ArgNames({"game", "layer"});
