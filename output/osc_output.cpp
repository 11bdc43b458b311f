// The OSC output: the axes of each new frame, and the zeros that stop the avatar.
#include "output/osc_output.h"

#include <algorithm>
#include <string_view>

#include "analysis/walk_state.h"
#include "output/osc_message.h"
#include "settings/setting_table.h"
#include "text/ipv4_text.h"

namespace {

struct Destination {
    std::uint32_t address;
    std::uint16_t port;
};

// The settings' destination; the load keeps both valid, anything else gives the defaults.
Destination destinationOf(const WalkState& state) {
    constexpr const settings::Setting& hostSetting = settings::settingOf(&WalkState::oscHost);
    constexpr const settings::Setting& portSetting = settings::settingOf(&WalkState::oscPort);
    static_assert(portSetting.range.low >= 1 && portSetting.range.high <= 65535);
    const char* host = state.oscHost;
    const std::string_view text(host, std::find(host, host + WalkState::kHostTextSize, '\0'));
    const auto address = text::parseIPv4(text);
    const bool portValid = portSetting.range.contains(state.oscPort);
    return {address ? *address : *text::parseIPv4(hostSetting.loadDefault),
            static_cast<std::uint16_t>(portValid ? state.oscPort
                                                 : settings::integerDefault(portSetting))};
}

}  // namespace

void OscOutput::update(const WalkState& state, std::uint32_t frameCount, bool framesArriving) {
    const bool on = state.oscEnabled == 1;
    // Off and closed (the default) costs this pass nothing more: no host text is read.
    if (stopped_ || (!on && !open_)) return;
    const Destination to = destinationOf(state);
    if (open_ && (!on || to.address != address_ || to.port != port_)) close();
    if (!on) return;
    if (!open_) {
        socket_.open(to.port, to.address);
        open_ = true;
        address_ = to.address;
        port_ = to.port;
        lastFrame_.reset();
        moving_ = false;
    }
    if (!framesArriving) {
        // The platform went away or fell silent: nobody walks any more.
        if (moving_) send(WalkAxes{});
        moving_ = false;
        lastFrame_.reset();
        return;
    }
    if (lastFrame_ == frameCount) return;
    lastFrame_ = frameCount;
    send(walkAxesOf(state));
    moving_ = true;
}

void OscOutput::stop() {
    if (open_) close();
    stopped_ = true;
}

void OscOutput::close() {
    send(WalkAxes{});
    socket_.close();
    open_ = false;
    moving_ = false;
    lastFrame_.reset();
}

void OscOutput::send(const WalkAxes& axes) {
    const struct {
        const char* address;
        float value;
    } messages[] = {{kOscVertical, axes.vertical},
                    {kOscHorizontal, axes.horizontal},
                    {kOscLookHorizontal, axes.lookHorizontal}};
    // A failed send is dropped: the next frame sends every axis again.
    unsigned char buffer[kOscMessageCapacity];
    for (const auto& m : messages) {
        socket_.send(buffer, encodeOscFloat(m.address, m.value, buffer));
    }
}
