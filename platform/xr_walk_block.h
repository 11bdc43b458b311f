// Seam of the block the OpenXR layer reads: the per-user shared block and the monotonic clock
// its time stamps come from. The program and the layer compile the same backend file, so both
// find, create and check the block alike.
#pragma once

#include <cstdint>

#include "output/xr_walk_block.h"

namespace platform {

// A view of the per-user block, and what must be let go with it.
struct XrWalkMapping {
    xrwalk::Block* block = nullptr;  // null when it cannot be had or is not this user's alone
    void* handle = nullptr;          // Windows: the file mapping's handle
};

// Opens or creates the per-user block (never truncated or removed: a game's layer or the
// program may hold it) and maps it, for writing or for reading only. Another user's block of
// that name is refused.
XrWalkMapping mapXrWalkBlock(bool writable);
void unmapXrWalkBlock(XrWalkMapping& mapping);

// The program's block, mapped for writing until the process ends; null while it cannot be had
// (a later call tries again).
inline xrwalk::Block* openXrWalkBlock() {
    static xrwalk::Block* block = nullptr;
    if (block == nullptr) block = mapXrWalkBlock(true).block;
    return block;
}

// The clock of the block's time stamps, in nanoseconds (no system call on either system).
std::int64_t monotonicNanoseconds();

}  // namespace platform
