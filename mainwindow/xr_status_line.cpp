// The OpenXR status line: the layer's status area in words.
#include "mainwindow/xr_status_line.h"

#include <string_view>

#include "mainwindow/ui_strings.h"

namespace s = ui_strings;

namespace {

// "/user/hand/left/input/thumbstick/x" as "左スティック x".
std::string stickName(std::string_view path) {
    std::string name;
    const bool left = path.find("/hand/left/") != std::string_view::npos;
    name += left ? s::kXrLeft : s::kXrRight;
    const std::size_t input = path.find("/input/");
    std::string_view rest = input != std::string_view::npos ? path.substr(input + 7) : path;
    const std::size_t slash = rest.find('/');
    const std::string_view component = rest.substr(0, slash);
    name += component == "trackpad" ? s::kXrTrackpad : s::kXrStick;
    if (slash != std::string_view::npos) name.append(" ").append(rest.substr(slash + 1));
    return name;
}

// A field of the area, whether or not it ends in a zero.
template <std::size_t N>
std::string_view field(const char (&text)[N]) {
    std::size_t n = 0;
    while (n < N && text[n] != '\0') ++n;
    return {text, n};
}

}  // namespace

bool xrGameAlive(bool read, const xrwalk::Status& status, std::int64_t nowNs) {
    return read && xrwalk::statusValid(status) && status.aliveNs != 0 &&
           xrwalk::withinNs(status.aliveNs, nowNs, xrwalk::kStatusAliveNs);
}

std::string xrStatusLine(bool read, const xrwalk::Status& status, std::int64_t nowNs) {
    if (!xrGameAlive(read, status, nowNs)) return s::kXrNoGame;
    std::string line = s::kXrStatusPrefix;
    line += field(status.exe);
    using xrwalk::Because;
    const char* why = nullptr;
    switch (status.because) {
        case Because::Adding:
            line.append(s::kXrArrow).append(field(status.action));
            line.append(" (").append(stickName(field(status.path))).append(")");
            return line;
        case Because::NoProfile:
            why = s::kXrNoProfile;
            break;
        case Because::NoStickBinding:
            why = s::kXrNoStickBinding;
            break;
        case Because::SimpleController:
            why = s::kXrSimpleController;
            break;
        case Because::Disabled:
            why = s::kXrDisabled;
            break;
        case Because::NoWalk:
            why = s::kXrNoWalk;
            break;
        case Because::Paused:
            why = s::kXrPaused;
            break;
    }
    if (why != nullptr) line.append("：").append(why);
    return line;
}
