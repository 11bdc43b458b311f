// OscOutput: the walking as the analog locomotion axes that VR games (VRChat, ChilloutVR) take
// over OSC on UDP: /input/Vertical, /input/Horizontal and /input/LookHorizontal, each a float
// in [-1, 1], sent once per new frame of the platform, and brought back to 0 whenever the
// output stops.
#pragma once

#include <cstdint>
#include <optional>

#include "output/walk_axes.h"
#include "platform/udp.h"

struct WalkState;

inline constexpr const char* kOscVertical = "/input/Vertical";
inline constexpr const char* kOscHorizontal = "/input/Horizontal";
inline constexpr const char* kOscLookHorizontal = "/input/LookHorizontal";

class OscOutput {
  public:
    // Once per pass, after the analysis. Follows the OSC settings of `state`: switched off (or
    // given another destination) it sends zeros to where it sent and closes its socket;
    // switched on it opens one to oscHost:oscPort. While on, it sends the three axes when
    // `frameCount` (the sensor link's count of frames) differs from the last one sent, and
    // zeros once when frames stop arriving.
    void update(const WalkState& state, std::uint32_t frameCount, bool framesArriving);

    // For every end of the program: zeros when the output is on, then the socket closes for
    // good; later updates send nothing (on Windows passes may still run between the end of
    // the session and the end of the loop, and must not set the avatar walking again).
    // Safe to call more than once.
    void stop();

  private:
    // The three messages, each in a datagram of its own.
    void send(const WalkAxes& axes);
    void close();

    platform::UdpSender socket_;
    bool stopped_ = false;
    bool open_ = false;
    std::uint32_t address_ = 0;
    std::uint16_t port_ = 0;
    // The frame whose axes went out last, and whether any went out since the last zeros.
    std::optional<std::uint32_t> lastFrame_;
    bool moving_ = false;
};
