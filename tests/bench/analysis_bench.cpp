// Cost of one analysis pass, on a new frame (windows advance) and on a
// repeated frame (no advance).
#include <benchmark/benchmark.h>

#include "analysis/walk_state.h"
#include "link/sensor_link.h"
#include "tests/support/default_settings.h"

namespace {

void setUp(bool autoCalibration) {
    SensorLink& link = SensorLink::instance();
    link.reset();
    link.connected = true;
    WalkState& s = WalkState::instance();
    s = testsupport::defaultSettings();
    s.autoCalibration = autoCalibration ? 1 : 0;
    const float loads[8] = {2, 4, 3, 1, 2.5f, 5, 1.5f, 2};
    for (int i = 0; i < 8; ++i) link.rawLoad[i].store(loads[i]);
}

void BM_AnalyzeNewFrame(benchmark::State& state) {
    setUp(state.range(0) != 0);
    SensorLink& link = SensorLink::instance();
    WalkState& s = WalkState::instance();
    float tick = 0.0f;
    for (auto _ : state) {
        tick += 1.0f;
        if (tick > 1000000.0f) tick = 0.0f;
        link.tick.store(tick, std::memory_order_relaxed);
        link.rawLoad[1].store(tick * 1e-6f + 4.0f, std::memory_order_relaxed);
        s.analyze();
        benchmark::DoNotOptimize(s.angle);
    }
}
BENCHMARK(BM_AnalyzeNewFrame)->Arg(0)->Arg(1);

void BM_AnalyzeSameFrame(benchmark::State& state) {
    setUp(false);
    WalkState& s = WalkState::instance();
    for (auto _ : state) {
        s.analyze();
        benchmark::DoNotOptimize(s.angle);
    }
}
BENCHMARK(BM_AnalyzeSameFrame);

}  // namespace
