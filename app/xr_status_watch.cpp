// The OpenXR status line and the graph's game-start mark, from the block's status area.
#include "app/xr_status_watch.h"

#include <cstring>

#include "mainwindow/ui_strings.h"
#include "mainwindow/uiex.h"
#include "mainwindow/xr_status_line.h"
#include "platform/xr_walk_block.h"

void XrStatusWatch::poll(const XrOutput& output, UIEx& ui) {
    const std::int64_t now = platform::monotonicNanoseconds();
    if (now < nextNs_) return;
    nextNs_ = now + 1'000'000'000;
    namespace s = ui_strings;
    switch (output.problem()) {
        case XrOutput::Problem::Busy:
            return ui.showXrStatus(s::kXrBusy);
        case XrOutput::Problem::NotPrivate:
            return ui.showXrStatus(s::kXrNotPrivate);
        case XrOutput::Problem::Unavailable:
            return ui.showXrStatus(s::kXrUnavailable);
        case XrOutput::Problem::WriteFailed:
        case XrOutput::Problem::None:
            break;
    }
    xrwalk::Status status;
    const bool read = platform::readXrStatus(status);
    ui.showXrStatus(xrStatusLine(read, status, now));
    if (xrGameAlive(read, status, now) && status.startedNs != startedNs_) {
        if (startedNs_ != 0 || xrwalk::withinNs(status.startedNs, now, 2'000'000'000)) {
            ui.graphWindow.markGameStart();
        }
        startedNs_ = status.startedNs;
    }
}

std::string xrStatusReport() {
    xrwalk::Status status;
    const bool read = platform::readXrStatus(status);
    const std::int64_t now = platform::monotonicNanoseconds();
    std::string report = xrStatusLine(read, status, now) + "\n";
    if (!xrGameAlive(read, status, now)) return report;
    const auto field = [&](const char* name, const char* value) {
        report.append(name).append(std::string(value, strnlen(value, 128))).append("\n");
    };
    field("game: ", status.exe);
    field("runtime: ", status.runtime);
    field("profile: ", status.profile);
    field("action: ", status.action);
    field("binding: ", status.path);
    return report;
}
