// The passes over the reader's frames: analysis, datagram and OSC per frame, the link watch on
// the frames' arrival times, and the line that names what arrives instead of platform frames.
#include "app/frame_pass.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "link/sensor_link.h"
#include "output/osc_output.h"
#include "output/telemetry.h"

FramePass::FramePass(SensorLink& link, WalkState& state, TelemetrySender& telemetry, OscOutput* osc)
    : link_(link), state_(state), telemetry_(telemetry), osc_(osc) {}

void FramePass::analyse(bool arriving) {
    // Frozen readings of a platform that went away, or text that is not the platform's, must
    // not walk.
    if (arriving) {
        // Frames that continue the counter where it stopped were held up on this machine, not
        // lost: the analysis goes on from where it was, as if they had come in time.
        if (resting_ && std::fabs(latest_.tick - beforeRest_.lastTick) == 1.0f) {
            state_.resume(beforeRest_);
        }
        resting_ = false;
        state_.analyze(latest_, link_.tare, link_.connected);
    } else {
        if (!resting_) beforeRest_ = state_;
        resting_ = true;
        state_.rest(latest_.tick);
    }
    telemetry_.send(state_);
    if (osc_ != nullptr) osc_->update(state_, frames_, arriving);
}

bool FramePass::run(Clock::time_point now) {
    SensorFrame frame;
    bool took = false;
    while (link_.frames.pop(frame)) {
        took = true;
        ++frames_;
        latest_ = readingsOf(frame);
        if (frame.wellFormed) watch_.frameArrived(frame.arrival);
        analyse(watch_.framesArriving(frame.arrival));
        if (afterFrame) afterFrame(frames_, frame.arrival);
    }
    const bool arriving = watch_.framesArriving(now);
    if (!took) analyse(arriving);

    std::string stray;
    if (link_.strayText.take(stray) && !arriving && !toldStray_) {
        std::fprintf(stderr, "tarvel: %s sends text that is not platform frames: \"%s\"\n",
                     link_.deviceName.c_str(), stray.c_str());
        toldStray_ = true;
    }
    if (arriving) toldStray_ = false;
    if (link_.frames.dropped() > 0 && !toldDropped_) {
        std::fprintf(stderr, "tarvel: frames were lost: the program was held up for seconds\n");
        toldDropped_ = true;
    }
    return arriving;
}

void FramePass::sendRest() {
    // Nothing goes out before the port was ever connected.
    if (!link_.connected) return;
    state_.rest(latest_.tick);
    telemetry_.send(state_);
}
