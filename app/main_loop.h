// The program's one loop: a refresh of the window before every turn, window
// messages before passes, and while the sensor link is connected one pass per
// idle turn followed by a 1 ms pause.
#pragma once

#include <functional>

#include "platform/modal_idle.h"
#include "platform/window_system.h"

struct LoopSteps {
    // The live refresh of the main window, which may leave a turn out (and then owes one,
    // whose time idleWaitMs tells).
    std::function<void()> refresh;
    // How long the loop may wait for a message while the link is not
    // connected, in milliseconds (-1 or unset: until one comes).
    std::function<int()> idleWaitMs;
    // Whether the sensor link is connected; passes run only then.
    std::function<bool()> connected;
    // One pass: analysis, datagram, key emulation.
    std::function<void()> pass;
    // While a modal dialog or menu is open: lets go of every key and button the key emulation
    // holds (nothing is sent when none is held), and one pass without the key emulation, so
    // that nothing is typed into the dialog or held down behind it.
    std::function<void()> releaseInput;
    std::function<void()> modalPass;
    // The pause after a modal pass, which the modal wait makes (milliseconds; unset: 1 ms).
    std::function<int()> modalPauseMs;
    // The pause after each pass (1 ms).
    std::function<void()> pause;
    // Whether the system asked the program to end, and how to end it (the
    // exit command, which ends the loop through the quit message).
    std::function<bool()> exitRequested;
    std::function<void()> exit;
};

// Runs until the quit message and returns its exit code. While the link is not
// connected and no message waits, it sleeps until the next message (or a
// wake-up, or the end of idleWaitMs) instead of turning round without pause.
int runMainLoop(platform::WindowSystem& windowSystem, const LoopSteps& steps);

// One turn of the loop while a modal dialog or menu of the platform is open, for the platform's
// modal waits to call: the key emulation let go of, the refresh, then one message if one
// waits, else one modal pass when the link is connected. Input to the program's windows (keys,
// mouse, close, commands, the tray icon) is taken and dropped, as the dialog is modal; paints
// and other messages are dispatched. When the system's own modal loop takes the messages
// (ModalQueue::system), the queue is left alone. The pause after a pass, and the wait while
// there is nothing to do, are the modal wait's own (waitMs). An exit request ends the modal
// wait.
platform::ModalTurn runModalTurn(platform::WindowSystem& windowSystem, const LoopSteps& steps,
                                 platform::ModalQueue queue = platform::ModalQueue::hook);
