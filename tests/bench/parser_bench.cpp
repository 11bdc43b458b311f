// Throughput of the stream parser over realistic controller frames, and the cost of one
// field conversion.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>

#include "link/stream_parser.h"
#include "text/number_text.h"

namespace {

std::string makeStream(std::size_t frames) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> load(0.0f, 600.0f);
    std::string s;
    char buf[64];
    for (std::size_t k = 0; k < frames; ++k) {
        s += '!';
        for (int i = 0; i < 8; ++i) {
            std::snprintf(buf, sizeof buf, "%.3f,", static_cast<double>(load(rng)));
            s += buf;
        }
        s += std::to_string(k) + "\r\n";
    }
    return s;
}

void BM_ParseStream(benchmark::State& state) {
    const std::string stream = makeStream(10000);
    StreamParser parser;
    StreamParser::Field field{};
    float sink = 0.0f;
    for (auto _ : state) {
        for (unsigned char b : stream)
            if (parser.feed(b, field)) sink += field.value;
        benchmark::DoNotOptimize(sink);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ParseStream);

void BM_SystemAtof(benchmark::State& state) {
    const char* texts[] = {"123.456", "-0.5", "599.999", "42", "7.125"};
    double sink = 0;
    for (auto _ : state) {
        for (const char* t : texts) sink += text::systemAtof(t, std::char_traits<char>::length(t));
        benchmark::DoNotOptimize(sink);
    }
    state.SetItemsProcessed(state.iterations() * 5);
}
BENCHMARK(BM_SystemAtof);

}  // namespace
