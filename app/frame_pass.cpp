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

void FramePass::analyse(bool arriving, bool send) {
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
    if (!send) return;
    telemetry_.send(state_);
    if (osc_ != nullptr) osc_->update(state_, frames_, arriving);
}

bool FramePass::run(Clock::time_point now) {
    SensorFrame frame;
    bool took = false;
    bool lastLate = false;
    std::uint32_t late = 0;
    while (link_.frames.pop(frame)) {
        took = true;
        ++frames_;
        latest_ = readingsOf(frame);
        if (frame.wellFormed) watch_.frameArrived(frame.arrival);
        lastLate = now - frame.arrival > LinkWatch::kSilenceLimit;
        if (lastLate) ++late;
        analyse(watch_.framesArriving(frame.arrival), !lastLate);
        if (afterFrame) afterFrame(frames_, frame.arrival);
    }
    const bool arriving = watch_.framesArriving(now);
    // Only late frames: the outputs come to rest, as the watchdog left them (fresh frames that
    // continue the counter take the analysis up where the late ones left it).
    if (!took || (lastLate && !arriving)) analyse(arriving);

    std::string stray;
    if (link_.strayText.take(stray) && !arriving && !toldStray_) {
        std::fprintf(stderr, "tarvel: %s sends text that is not platform frames: \"%s\"\n",
                     link_.deviceName.c_str(), stray.c_str());
        toldStray_ = true;
    }
    if (arriving) toldStray_ = false;
    // The first pass finds the frames that came while the program started: late, but no
    // listener had live values before them, and nothing was held up.
    tellLosses(ran_ ? late : 0);
    ran_ = true;
    return arriving;
}

void FramePass::tellLosses(std::uint32_t late) {
    const std::uint32_t dropped = link_.frames.dropped();
    // The ring is emptied (its count with it) when the port is opened anew.
    if (dropped < toldDropped_) toldDropped_ = 0;
    const std::uint32_t lost = dropped - toldDropped_;
    if (late == 0 && lost == 0) return;
    toldDropped_ = dropped;
    std::string line = "the program was held up: ";
    if (late > 0) line += std::to_string(late) + " frames came too late and were not sent";
    if (late > 0 && lost > 0) line += ", ";
    if (lost > 0) line += std::to_string(lost) + " frames were lost";
    if (onLoss) {
        onLoss(line);
    } else {
        std::fprintf(stderr, "tarvel: %s\n", line.c_str());
    }
}

void FramePass::sendRest() {
    // Nothing goes out before the port was ever connected.
    if (!link_.connected) return;
    state_.rest(latest_.tick);
    telemetry_.send(state_);
}
