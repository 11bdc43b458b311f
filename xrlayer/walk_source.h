// The layer's side of the program's block: read at each xrSyncActions through the reader that
// the program's block backend provides (one pread on Linux: nothing the layer reads can vanish
// under it), let go with the instance.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/xr_walk_block.h"

namespace xrlayer {

class WalkSource {
  public:
    // The walk now: a consistent, fresh copy of the block, the last good one while the program
    // writes, or no walk. The block is found (again, when it was replaced) at most once a second.
    xrwalk::Reading read() {
        std::lock_guard lock(mutex_);  // a game may sync on more than one thread
        return reader_.read(now());
    }
    void close() {
        std::lock_guard lock(mutex_);
        reader_.close();
    }

    // The clock the program stamps the block with, in nanoseconds.
    static std::int64_t now() { return platform::monotonicNanoseconds(); }

  private:
    std::mutex mutex_;
    platform::XrWalkReader reader_;
};

}  // namespace xrlayer
