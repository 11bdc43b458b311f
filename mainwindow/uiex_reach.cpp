// How the program stays within the user's reach without a tray: the tray's
// menu on a right click in the window, and the hidden window shown again when
// no tray holds the icon.
#include <algorithm>
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
    if (hwnd == 0) return -1;
    if (shown) {
        trayMissingSince_.reset();
        if (trayConfirmed_) return -1;
        // The icon the shell did not take (no taskbar yet, or a tray that refused it) is
        // offered again, soon at first and then less often.
        if (now < nextTrayCheck_)
            return static_cast<int>(ceil<milliseconds>(nextTrayCheck_ - now).count());
        trayConfirmed_ = ws().trayAvailable();
        if (trayConfirmed_) {
            trayRetry_ = milliseconds(50);
            return -1;
        }
        nextTrayCheck_ = now + trayRetry_;
        const int wait = static_cast<int>(ceil<milliseconds>(trayRetry_).count());
        trayRetry_ =
            std::min<GraphWindow::Clock::duration>(trayRetry_ * 2, std::chrono::seconds(1));
        return wait;
    }
    // Asked at a slow pace: on Windows the question goes to the shell.
    if (now < nextTrayCheck_)
        return static_cast<int>(ceil<milliseconds>(nextTrayCheck_ - now).count());
    nextTrayCheck_ = now + kTrayCheckPeriod;
    const int untilNextCheck = static_cast<int>(ceil<milliseconds>(kTrayCheckPeriod).count());
    trayConfirmed_ = ws().trayAvailable();
    if (trayConfirmed_) {
        trayMissingSince_.reset();
        return untilNextCheck;
    }
    if (!trayMissingSince_) trayMissingSince_ = now;
    if (now - *trayMissingSince_ < kTrayGrace) return untilNextCheck;
    std::fprintf(stderr, "tarvel: no tray holds the icon any more: the window is shown\n");
    ws().showWindow(hwnd, platform::kSwShow);
    shown = true;
    trayMissingSince_.reset();
    // Offered again from now on, so that a tray that comes back holds it.
    nextTrayCheck_ = now;
    return 0;
}
