// The program's one loop: a refresh of the window before every turn, window
// messages before passes, and while the sensor link is connected one pass per
// idle turn followed by a 1 ms pause.
#pragma once

#include <functional>

#include "platform/window_system.h"

struct LoopSteps {
    // The live refresh of the main window.
    std::function<void()> refresh;
    // Whether the sensor link is connected; passes run only then.
    std::function<bool()> connected;
    // One pass: analysis, datagram, key emulation.
    std::function<void()> pass;
    // The pause after each pass (1 ms).
    std::function<void()> pause;
    // Whether the system asked the program to end, and how to end it (the
    // exit command, which ends the loop through the quit message).
    std::function<bool()> exitRequested;
    std::function<void()> exit;
};

// Runs until the quit message and returns its exit code. While the link is not
// connected and no message waits, it sleeps until the next message (or a
// wake-up) instead of turning round without pause.
int runMainLoop(platform::WindowSystem& windowSystem, const LoopSteps& steps);
