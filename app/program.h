// The program from start to end: single-instance guard, main window and tray
// icon, settings, sensor link, widgets, telemetry socket, key emulation, the
// main loop and the orderly shutdown with the exit save.
#pragma once

#include <cstdint>
#include <string>

#include "mainwindow/ui_strings.h"
#include "output/telemetry.h"
#include "platform/input_injector.h"

struct ProgramOptions {
    // Name of the single-instance guard.
    const char* instanceName = ui_strings::kInstanceName;
    // Destination port of the datagrams on 127.0.0.1.
    std::uint16_t telemetryPort = kTelemetryPort;
    // Where the key emulation sends its events; null for the platform's own.
    platform::InputInjector* injector = nullptr;
    // A serial device used instead of the COM number's (empty: none), at start-up and by
    // the connect button; the saved comID stays as it is.
    std::string portDevice;
    // Start in the tray: the window stays hidden when there is a tray to show it from.
    bool startHidden = false;
    // Record the serial stream into this file from the start (empty: no recording). A file
    // that cannot be written is told on standard error; the program runs on without it.
    std::string recordPath;
};

// Runs the program in the current directory (settings in ./tarvel.ini) and
// returns its exit code: 0 after the exit command or a termination request,
// 0 when another copy is already running, 1 when there is no window system.
int runProgram(const ProgramOptions& options = {});
