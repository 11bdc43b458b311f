// The main loop: messages take precedence over passes, and every message and
// every pass is preceded by one refresh.
#include "app/main_loop.h"

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
            // Nothing can change on screen until a message comes: wait for it.
            ws.waitMessage(-1);
            continue;
        }
        steps.pass();
        steps.pause();
    }
}
