// FramePass: one pass of the main loop over the frames the reader completed since the last one:
// each analysed whole and in order, its datagram and OSC messages sent; while no platform frames
// arrive, the results of an empty platform instead.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "analysis/walk_state.h"
#include "link/link_watch.h"
#include "link/sensor_frame.h"

// The values of a frame that the analysis takes.
inline FrameReadings readingsOf(const SensorFrame& frame) {
    FrameReadings readings;
    for (int i = 0; i < 8; ++i) readings.rawLoad[i] = frame.rawLoad[i];
    readings.tick = frame.tick;
    return readings;
}

struct SensorLink;
class TelemetrySender;
class OscOutput;

class FramePass {
  public:
    using Clock = std::chrono::steady_clock;

    // `osc` may be null (no OSC output).
    FramePass(SensorLink& link, WalkState& state, TelemetrySender& telemetry, OscOutput* osc);

    // After each analysed frame: its number (counting every frame taken) and its arrival.
    std::function<void(std::uint32_t frame, Clock::time_point arrival)> afterFrame;
    // Each time frames were lost (the ring was full) or came too late to be sent: one line
    // that says how many.
    std::function<void(const std::string& line)> onLoss;

    // Runs the pass at `now`. Every waiting frame is analysed in turn (the windows advance
    // frame by frame, however late the pass) and sent, unless it arrived longer ago than the
    // silence limit: the listeners then had the values at rest meanwhile, and old values must
    // not come after them as live. When none waits, the latest frame is analysed and sent
    // again. While no platform frame has arrived within the link watch's silence limit, the
    // results are those of an empty platform, and text that arrives instead is named once on
    // standard error. Returns whether platform frames arrive.
    bool run(Clock::time_point now);

    // The values at rest, sent once while the link is connected: for the end of the program, so
    // that no listener is left with a walking user.
    void sendRest();

    // How many frames the passes have taken.
    std::uint32_t frameCount() const { return frames_; }

  private:
    // Analyses (or rests) latest_, and sends its results when `send`.
    void analyse(bool arriving, bool send = true);
    // Tells onLoss of frames lost or held back since it last told.
    void tellLosses(std::uint32_t late);

    SensorLink& link_;
    WalkState& state_;
    TelemetrySender& telemetry_;
    OscOutput* osc_;
    LinkWatch watch_;
    // The frame that the last pass took: what a pass that finds none analyses again.
    FrameReadings latest_ = {{-1, -1, -1, -1, -1, -1, -1, -1}, 0.0f};
    std::uint32_t frames_ = 0;
    // The outputs are at rest, and the analysis as it stood when they came to rest.
    bool resting_ = true;
    WalkState beforeRest_{};
    std::uint32_t toldDropped_ = 0;
    bool ran_ = false;
    bool toldStray_ = false;
};
