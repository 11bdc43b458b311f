// The OpenXR layer's block: the axes of each pass, zeros whenever nobody walks in VR mode.
#include "output/xr_output.h"

#include "analysis/walk_state.h"
#include "output/walk_axes.h"
#include "platform/xr_walk_block.h"

void XrOutput::update(const WalkState& state, std::uint32_t frameCount, bool framesArriving) {
    if (stopped_) return;
    const bool on = state.xrEnabled == 1;
    if (block_ == nullptr) {
        if (!on) return;
        // A block that cannot be had is asked for again a second later, not at every pass.
        const std::int64_t now = platform::monotonicNanoseconds();
        if (now < nextTryNs_) return;
        block_ = platform::openXrWalkBlock();
        if (block_ == nullptr) {
            nextTryNs_ = now + 1'000'000'000;
            return;
        }
    }
    WalkAxes axes;
    if (on && state.appMode == 0 && framesArriving) axes = walkAxesOf(state);
    xrwalk::publish(*block_, {axes.vertical, axes.horizontal, axes.lookHorizontal}, frameCount,
                    platform::monotonicNanoseconds());
}

void XrOutput::stop() {
    if (block_ != nullptr && !stopped_) xrwalk::publish(*block_, {}, 0, 0);
    stopped_ = true;
}
