// Cost of one analysis pass, on a new frame (windows advance), on a
// repeated frame (no advance), and over the simulator's walk (steps counted).
#include <benchmark/benchmark.h>

#include <vector>

#include "analysis/walk_state.h"
#include "tests/support/default_settings.h"
#include "tools/sim/frame_generator.h"

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

// A minute of the simulator's walk at 100 steps a minute, one new frame per pass, as the
// program analyses it while someone walks: steps counted, the cadence timed.
void BM_AnalyzeWalk(benchmark::State& state) {
    setUp(false);
    sim::GeneratorOptions options;
    options.scenario = sim::Scenario::Walk;
    const sim::FrameGenerator generator(options);
    float walkTare[8];
    for (int i = 0; i < 8; ++i) walkTare[i] = static_cast<float>(sim::sensorBaseline(options, i));
    std::vector<FrameReadings> frames(6000);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const sim::Frame f = generator.frame(k, 0);
        for (int i = 0; i < 8; ++i) frames[k].rawLoad[i] = static_cast<float>(f.load[i]);
        frames[k].tick = static_cast<float>(k);
    }
    WalkState& s = WalkState::instance();
    std::size_t k = 0;
    for (auto _ : state) {
        s.analyze(frames[k], walkTare, true);
        benchmark::DoNotOptimize(s.numStep);
        if (++k == frames.size()) k = 0;
    }
    state.counters["steps"] = static_cast<double>(s.numStep);
}
BENCHMARK(BM_AnalyzeWalk);

}  // namespace
