// The connection status as the passes see it: connected, and whether frames
// arrive. The connect command sets it too (uiex_commands.cpp).
#include "link/sensor_link.h"
#include "mainwindow/ui_strings.h"
#include "mainwindow/uiex.h"

const char* linkStatusCaption(bool connected, bool framesArriving) {
    if (connected && !framesArriving) return ui_strings::kNoData;
    return connectionCaption(connected);
}

void UIEx::showLinkStatus(bool framesArriving) {
    const char* caption = linkStatusCaption(SensorLink::instance().connected, framesArriving);
    // Erased first: the captions differ in length.
    if (connectionStatusText.text != caption) replaceText(connectionStatusText, caption, true);
}
