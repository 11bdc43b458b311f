// The connection status as the passes see it: connected, and whether frames
// arrive. The connect command sets it too (uiex_commands.cpp).
#include "link/sensor_link.h"
#include "mainwindow/ui_strings.h"
#include "mainwindow/uiex.h"

const char* linkStatusCaption(bool connected, bool framesArriving, bool recentLoss) {
    if (connected && recentLoss) return ui_strings::kDataLost;
    if (connected && !framesArriving) return ui_strings::kNoData;
    return connectionCaption(connected);
}

void UIEx::showLinkStatus(bool framesArriving, bool recentLoss) {
    const char* caption =
        linkStatusCaption(SensorLink::instance().connected, framesArriving, recentLoss);
    // Erased first: the captions differ in length.
    if (connectionStatusText.text != caption) replaceText(connectionStatusText, caption, true);
}
