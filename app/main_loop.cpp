// The main loop: messages take precedence over passes, and every message and
// every pass is preceded by one refresh.
#include "app/main_loop.h"

#include <cstdint>

namespace {

// How long a modal wait may wait for its own input between turns: the 1 ms pause after a pass,
// and while the link is not connected a short wait, so that paints and an exit request are
// still seen by a wait that cannot watch the window system's own input.
constexpr int kModalPauseMs = 1;
constexpr int kModalIdleMs = 20;

// Keys, mouse, the close box, commands and the tray icon: what the user does to the program.
bool isUserInput(std::uint32_t message) {
    constexpr std::uint32_t kKeyFirst = 0x0100, kKeyLast = 0x0109;
    constexpr std::uint32_t kMouseFirst = 0x0200, kMouseLast = 0x020E;
    return (message >= kKeyFirst && message <= kKeyLast) ||
           (message >= kMouseFirst && message <= kMouseLast) || message == platform::kWmClose ||
           message == platform::kWmCommand || message == platform::kWmTrayIcon;
}

}  // namespace

int runMainLoop(platform::WindowSystem& ws, const LoopSteps& steps) {
    bool exitStarted = false;
    platform::Message message;
    for (;;) {
        if (!exitStarted && steps.exitRequested()) {
            exitStarted = true;
            steps.exit();
        }
        steps.refresh();
        if (ws.peekMessage()) {
            if (!ws.getMessage(message)) return static_cast<int>(message.wParam);
            ws.translateMessage(message);
            ws.dispatchMessage(message);
            continue;
        }
        if (!steps.connected()) {
            // Nothing can change on screen until a message comes, or until the program has
            // something to do at a time (an owed refresh, a check).
            ws.waitMessage(steps.idleWaitMs ? steps.idleWaitMs() : -1);
            continue;
        }
        steps.pass();
        steps.pause();
    }
}

platform::ModalTurn runModalTurn(platform::WindowSystem& ws, const LoopSteps& steps,
                                 platform::ModalQueue queue) {
    if (steps.exitRequested()) return {.end = true};
    steps.releaseInput();
    steps.refresh();
    if (queue == platform::ModalQueue::hook && ws.peekMessage()) {
        platform::Message message;
        if (!ws.getMessage(message)) {
            // Kept for the main loop, which ends on it once the modal wait is over.
            ws.postQuitMessage(static_cast<int>(message.wParam));
            return {.end = true};
        }
        if (!isUserInput(message.message)) {
            ws.translateMessage(message);
            ws.dispatchMessage(message);
        }
        return {.waitMs = 0};
    }
    if (!steps.connected()) return {.waitMs = kModalIdleMs};
    steps.modalPass();
    return {.waitMs = steps.modalPauseMs ? steps.modalPauseMs() : kModalPauseMs};
}
