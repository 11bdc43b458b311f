// The one line that says where the walk goes in OpenXR games: which game reads it and into which
// action, or why nowhere ("XR：Game.exe ← move (左スティック)", "XR：接続なし"). Shown under the
// XR output switch and printed by --xr-status.
#pragma once

#include <cstdint>
#include <string>

#include "output/xr_walk_block.h"

// `status` as read from the block (`read` false: there is no block) at `nowNs` on the block's
// clock.
std::string xrStatusLine(bool read, const xrwalk::Status& status, std::int64_t nowNs);

// Whether `status` is that of a game that runs now.
bool xrGameAlive(bool read, const xrwalk::Status& status, std::int64_t nowNs);
