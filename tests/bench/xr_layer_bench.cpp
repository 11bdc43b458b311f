// What the OpenXR layer adds to a game's frame: one xrSyncActions and the game's stick reads
// through Debian's loader over the stub runtime, with the layer (the program publishing a
// walk every millisecond beside it) and without it (DISABLE_TARVEL_XR_LAYER: the loader leaves
// it out), for a game of one Vector2f action per stick and one of Float axes (Unreal's).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/xr_walk_block.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"
#include "tests/xrlayer/xr_game.h"

namespace {

void syncAndRead(benchmark::State& state) {
    const auto kind = static_cast<xrtest::GameKind>(state.range(0));
    const bool layer = state.range(1) != 0;
    // One runtime folder for every run: the program's side keeps its block mapped.
    static testsupport::TempDir dir;
    const std::string build = testsupport::binaryDir() + "/..";
    testsupport::ScopedEnv env[] = {
        {"XR_RUNTIME_JSON", build + "/xr/stub_runtime.json"},
        {"XDG_DATA_DIRS", build + "/xr/share"},
        {"XDG_CONFIG_DIRS", dir.file("none")},
        {"XDG_DATA_HOME", dir.file("none")},
        {"XDG_RUNTIME_DIR", dir.path()},
        {"DISABLE_TARVEL_XR_LAYER", layer ? std::nullopt : std::optional<std::string>("1")}};
    std::atomic<bool> running{true};
    std::thread program([&] {
        xrwalk::Block* block = platform::openXrWalkBlock();
        while (block != nullptr && running.load()) {
            xrwalk::publish(*block, {0.25f, -0.08f, 0.15f}, 1, platform::monotonicNanoseconds());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO, nullptr, 0, {}, 0, nullptr, 0, nullptr};
    std::strcpy(info.applicationInfo.applicationName, "bench");
    info.applicationInfo.apiVersion = XR_MAKE_VERSION(1, 0, 0);
    XrInstance instance = XR_NULL_HANDLE;
    if (xrCreateInstance(&info, &instance) != XR_SUCCESS) state.SkipWithError("no instance");
    {
        xrtest::XrGame game(xrGetInstanceProcAddr, instance, kind);
        PFN_xrVoidFunction sync = nullptr, vector2f = nullptr, floats = nullptr;
        xrGetInstanceProcAddr(instance, "xrSyncActions", &sync);
        xrGetInstanceProcAddr(instance, "xrGetActionStateVector2f", &vector2f);
        xrGetInstanceProcAddr(instance, "xrGetActionStateFloat", &floats);
        const XrActiveActionSet active{game.actionSet(), XR_NULL_PATH};
        const XrActionsSyncInfo syncInfo{XR_TYPE_ACTIONS_SYNC_INFO, nullptr, 1, &active};
        const bool hands = kind == xrtest::GameKind::Hands;
        const char* const names[4] = {hands ? "move" : "lx", hands ? "turn" : "ly",
                                      hands ? "pad" : "rx", hands ? "vive" : "ry"};
        XrAction actions[4];
        for (int i = 0; i < 4; ++i) actions[i] = game.action(names[i]);
        float sum = 0.0f;
        for (auto _ : state) {
            reinterpret_cast<PFN_xrSyncActions>(sync)(game.session(), &syncInfo);
            for (XrAction a : actions) {
                const XrActionStateGetInfo get{XR_TYPE_ACTION_STATE_GET_INFO, nullptr, a,
                                               XR_NULL_PATH};
                if (hands) {
                    XrActionStateVector2f s{XR_TYPE_ACTION_STATE_VECTOR2F, nullptr, {}, 0, 0, 0};
                    reinterpret_cast<PFN_xrGetActionStateVector2f>(vector2f)(game.session(), &get,
                                                                             &s);
                    sum += s.currentState.y;
                } else {
                    XrActionStateFloat s{XR_TYPE_ACTION_STATE_FLOAT, nullptr, 0.0f, 0, 0, 0};
                    reinterpret_cast<PFN_xrGetActionStateFloat>(floats)(game.session(), &get, &s);
                    sum += s.currentState;
                }
            }
        }
        benchmark::DoNotOptimize(sum);
        if (layer && sum == 0.0f) state.SkipWithError("the layer added no walk");
    }
    xrDestroyInstance(instance);
    running.store(false);
    program.join();
}

}  // namespace

// {kind: 0 a Vector2f action per stick, 2 Float axes} x {0 runtime alone, 1 through the layer}
BENCHMARK(syncAndRead)->ArgsProduct({{0, 2}, {0, 1}})->ArgNames({"kind", "layer"});
