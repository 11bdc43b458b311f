// The OpenXR layer's block: the axes of each pass, zeros whenever nobody walks in VR mode.
#include "output/xr_output.h"

#include <cstdio>

#include "analysis/walk_state.h"
#include "output/walk_axes.h"

namespace {

const char* textOf(XrOutput::Problem p) {
    switch (p) {
        case XrOutput::Problem::Busy:
            return "another copy of tarvel already writes this user's OpenXR block; the OpenXR "
                   "output of this copy stays off";
        case XrOutput::Problem::NotPrivate:
            return "the OpenXR block's folder is not this user's alone (without XDG_RUNTIME_DIR "
                   "someone else may have made /tmp/tarvel-xr-<uid>); the OpenXR output is off";
        case XrOutput::Problem::Unavailable:
            return "the OpenXR block cannot be created (is its folder full?); the OpenXR output "
                   "is off until it can";
        case XrOutput::Problem::WriteFailed:
            return "writing the OpenXR block failed; games see no walk until it is opened again";
        case XrOutput::Problem::None:
            break;
    }
    return "";
}

}  // namespace

void XrOutput::note(Problem p) {
    if (p != problem_ && p != Problem::None) std::fprintf(stderr, "tarvel: %s\n", textOf(p));
    problem_ = p;
}

void XrOutput::update(const WalkState& state, std::uint32_t frameCount, bool framesArriving) {
    if (stopped_) return;
    const bool on = state.xrEnabled == 1;
    const std::int64_t now = platform::monotonicNanoseconds();
    // Once a second: a block removed or replaced (by the user, a cleaner) is made again.
    if (writer_.isOpen() && now >= nextTryNs_) {
        nextTryNs_ = now + 1'000'000'000;
        if (!writer_.stillNamed()) writer_.close();
    }
    if (!writer_.isOpen()) {
        if (!on || now < nextTryNs_) return;
        nextTryNs_ = now + 1'000'000'000;
        using Opened = platform::XrWalkWriter::Opened;
        const Opened opened = writer_.open();
        if (opened != Opened::Yes) {
            note(opened == Opened::Busy         ? Problem::Busy
                 : opened == Opened::NotPrivate ? Problem::NotPrivate
                                                : Problem::Unavailable);
            return;
        }
        note(Problem::None);
    }
    WalkAxes axes;
    if (on && state.appMode == 0 && framesArriving) axes = walkAxesOf(state);
    if (!writer_.publish({axes.vertical, axes.horizontal, axes.lookHorizontal}, frameCount, now)) {
        note(Problem::WriteFailed);
    }
}

void XrOutput::stop() {
    if (writer_.isOpen() && !stopped_) writer_.publish({}, 0, 0);
    stopped_ = true;
}
