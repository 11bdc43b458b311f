// The driver's side of the program's walk block: read once per RunFrame through the header
// the program and the OpenXR layer share; a block that cannot be had is asked for again at
// most once a second.
#pragma once

#include <cstdint>

#include "output/xr_walk_block.h"
#include "platform/xr_walk_block.h"

namespace vrdriver {

class WalkFeed {
  public:
    WalkFeed() = default;
    ~WalkFeed() { close(); }
    WalkFeed(const WalkFeed&) = delete;
    WalkFeed& operator=(const WalkFeed&) = delete;

    // The walk at `nowNs`: a consistent, fresh copy of the block, or no walk (axes 0).
    xrwalk::Reading read(std::int64_t nowNs) {
        if (mapping_.block == nullptr) {
            if (nowNs < nextTryNs_) return {};
            mapping_ = platform::mapXrWalkBlock(false);
            if (mapping_.block == nullptr) {
                nextTryNs_ = nowNs + kRetryNs;
                return {};
            }
        }
        return xrwalk::read(*mapping_.block, nowNs);
    }

    void close() {
        platform::unmapXrWalkBlock(mapping_);
        nextTryNs_ = 0;
    }

  private:
    static constexpr std::int64_t kRetryNs = 1'000'000'000;
    platform::XrWalkMapping mapping_;
    std::int64_t nextTryNs_ = 0;
};

}  // namespace vrdriver
