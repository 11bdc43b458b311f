// How the program stays within the user's reach without a tray: the tray's
// menu on a right click in the window, and the hidden window shown again when
// no tray holds the icon.
#include <cstdio>

#include "mainwindow/uiex.h"

void UIEx::onRButtonUp(platform::WParam, int, int) {
    if (commandRunning_) return;
    // Its items arrive as command messages, as from the tray.
    ws().trackPopupMenu(hwnd, trayMenu(), ws().cursorPos());
}

int UIEx::watchTray(GraphWindow::Clock::time_point now) {
    using std::chrono::ceil;
    using std::chrono::milliseconds;
    if (shown || hwnd == 0) {
        trayMissingSince_.reset();
        return -1;
    }
    // Asked at a slow pace: on Windows the question goes to the shell.
    if (now < nextTrayCheck_)
        return static_cast<int>(ceil<milliseconds>(nextTrayCheck_ - now).count());
    nextTrayCheck_ = now + kTrayCheckPeriod;
    const int untilNextCheck = static_cast<int>(ceil<milliseconds>(kTrayCheckPeriod).count());
    if (ws().trayAvailable()) {
        trayMissingSince_.reset();
        return untilNextCheck;
    }
    if (!trayMissingSince_) trayMissingSince_ = now;
    if (now - *trayMissingSince_ < kTrayGrace) return untilNextCheck;
    std::fprintf(stderr, "tarvel: no tray holds the icon any more: the window is shown\n");
    ws().showWindow(hwnd, platform::kSwShow);
    shown = true;
    trayMissingSince_.reset();
    return -1;
}
