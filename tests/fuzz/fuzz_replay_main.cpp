// Replays a fuzz target's seed files (the folder given as the argument) and
// 20000 pseudo-random inputs derived from them, without libFuzzer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::vector<std::vector<std::uint8_t>> seeds;
    if (argc > 1 && std::filesystem::is_directory(argv[1])) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
            std::ifstream in(entry.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>());
        }
    }
    if (seeds.empty()) seeds.push_back({});
    for (const auto& s : seeds) LLVMFuzzerTestOneInput(s.data(), s.size());

    // Mutations: byte flips, inserts of interesting bytes, truncations.
    std::mt19937 rng(20261207);
    const std::uint8_t interesting[] = {'!', ',', '\r', '\n', '.', '-', '+', 'e', 'x',  '0',
                                        '9', ' ', '=',  '[',  ']', ';', '#', 0,   0xFF, 0x80};
    std::size_t runs = seeds.size();
    for (int k = 0; k < 20000; ++k) {
        std::vector<std::uint8_t> d = seeds[rng() % seeds.size()];
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            const unsigned op = rng() % 3;
            const std::size_t pos = d.empty() ? 0 : rng() % (d.size() + 1);
            const std::uint8_t b = rng() % 2 ? interesting[rng() % sizeof interesting]
                                             : static_cast<std::uint8_t>(rng());
            if (op == 0 && pos < d.size())
                d[pos] = b;
            else if (op == 1)
                d.insert(d.begin() + static_cast<std::ptrdiff_t>(pos), b);
            else if (pos < d.size())
                d.resize(pos);
        }
        LLVMFuzzerTestOneInput(d.data(), d.size());
        ++runs;
    }
    std::printf("%zu inputs replayed without a finding\n", runs);
    return 0;
}
