// Seam of the block the OpenXR layer reads: the per-user shared block and the monotonic clock
// its time stamps come from.
#pragma once

#include <cstdint>

#include "output/xr_walk_block.h"

namespace platform {

// The per-user block, opened or created (never truncated or removed: a game's layer may hold
// it), mapped for writing until the process ends; null when it cannot be had or is not
// this user's alone. Later calls give the same block, or try again after a failure.
xrwalk::Block* openXrWalkBlock();

// The clock of the block's time stamps, in nanoseconds (no system call on either system).
std::int64_t monotonicNanoseconds();

}  // namespace platform
