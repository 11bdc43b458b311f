// Fuzz target for the walk block's reader side: any bytes as a series of block copies read at
// any times must give either no walk or finite axes in [-1, 1] from a copy that passed its check
// and was published within the staleness limit of the read (UBSan catches overflowing time
// arithmetic).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "output/xr_walk_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kStep = sizeof(xrwalk::Fields) + sizeof(std::int64_t) + 1;
    xrwalk::Judge judge;
    bool haveGood = false;
    std::int64_t goodNs = 0;
    for (std::size_t at = 0; at + kStep <= size; at += kStep) {
        xrwalk::Fields copy;
        std::int64_t nowNs = 0;
        std::memcpy(&copy, data + at, sizeof copy);
        std::memcpy(&nowNs, data + at + sizeof copy, sizeof nowNs);
        // The last byte: 0 no copy could be had, 1 the copy as it is, else the copy with a
        // matching check (so that consistent copies are reached).
        const std::uint8_t mode = data[at + kStep - 1] % 3;
        if (mode == 2) copy.check = xrwalk::checkOf(copy);
        const bool consistent =
            mode != 0 && copy.sequence % 2 == 0 && copy.check == xrwalk::checkOf(copy);
        const xrwalk::Reading r = judge.next(mode == 0 ? nullptr : &copy, nowNs);
        if (consistent) {
            haveGood = true;
            goodNs = copy.publishedNs;
        }
        if (!r.fresh) {
            if (r.axes != xrwalk::Axes{} || r.frame != 0) std::abort();
            continue;
        }
        for (const float v : {r.axes.vertical, r.axes.horizontal, r.axes.lookHorizontal}) {
            if (!std::isfinite(v) || v < -1.0f || v > 1.0f) std::abort();
        }
        if (!haveGood || goodNs == 0 || !xrwalk::withinStaleLimit(goodNs, nowNs)) std::abort();
        const long double distance = static_cast<long double>(goodNs) - nowNs;
        if (distance > xrwalk::kStaleNs || distance < -xrwalk::kStaleNs) std::abort();
    }
    return 0;
}
