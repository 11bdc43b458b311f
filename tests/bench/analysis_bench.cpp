// Cost of one analysis pass, on a new frame (windows advance) and on a
// repeated frame (no advance).
#include <benchmark/benchmark.h>

#include "analysis/walk_state.h"
#include "tests/support/default_settings.h"

namespace {

float tare[8] = {};
FrameReadings frame = {{2, 4, 3, 1, 2.5f, 5, 1.5f, 2}, 0.0f};

void setUp(bool autoCalibration) {
    WalkState& s = WalkState::instance();
    s = testsupport::defaultSettings();
    s.autoCalibration = autoCalibration ? 1 : 0;
}

void BM_AnalyzeNewFrame(benchmark::State& state) {
    setUp(state.range(0) != 0);
    WalkState& s = WalkState::instance();
    float tick = 0.0f;
    for (auto _ : state) {
        tick += 1.0f;
        if (tick > 1000000.0f) tick = 0.0f;
        frame.tick = tick;
        frame.rawLoad[1] = tick * 1e-6f + 4.0f;
        s.analyze(frame, tare, true);
        benchmark::DoNotOptimize(s.angle);
    }
}
BENCHMARK(BM_AnalyzeNewFrame)->Arg(0)->Arg(1);

void BM_AnalyzeSameFrame(benchmark::State& state) {
    setUp(false);
    WalkState& s = WalkState::instance();
    for (auto _ : state) {
        s.analyze(frame, tare, true);
        benchmark::DoNotOptimize(s.angle);
    }
}
BENCHMARK(BM_AnalyzeSameFrame);

}  // namespace
