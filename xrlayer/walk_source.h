// The layer's side of the program's block: opened (or created, when the game starts before the
// program) when the layer takes an instance, read at each xrSyncActions through the header both
// sides share, let go with the instance.
#pragma once

#include <cstdint>

#include "output/xr_walk_block.h"
#include "platform/xr_walk_block.h"

namespace xrlayer {

class WalkSource {
  public:
    WalkSource() = default;
    ~WalkSource() { close(); }
    WalkSource(const WalkSource&) = delete;
    WalkSource& operator=(const WalkSource&) = delete;

    // Maps the per-user block for reading; false when it cannot be had or is not this user's
    // alone (every read then gives no walk).
    bool open() {
        if (mapping_.block == nullptr) mapping_ = platform::mapXrWalkBlock(false);
        return mapping_.block != nullptr;
    }
    void close() { platform::unmapXrWalkBlock(mapping_); }

    // The walk now: a consistent, fresh copy of the block, or no walk. No system call, lock or
    // allocation (the clock is read through the vDSO on Linux, QueryPerformanceCounter on
    // Windows).
    xrwalk::Reading read() const {
        return mapping_.block != nullptr ? xrwalk::read(*mapping_.block, now()) : xrwalk::Reading{};
    }

    // The clock the program stamps the block with, in nanoseconds.
    static std::int64_t now() { return platform::monotonicNanoseconds(); }

  private:
    platform::XrWalkMapping mapping_;
};

}  // namespace xrlayer
