// The program's command line: what it asks for (help, the version, or a run with a working
// folder, a serial device, a hidden start and a recording), the usage text and the version line.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
    enum class Action { Run, Help, Version, XrStatus, SteamVr, Error };
    Action action = Action::Run;
    // Error: what was wrong, in one line.
    std::string error;
    // The folder to work in; empty: the current folder.
    std::string workdir;
    // Work in the user's configuration folder (the desktop entry's choice).
    bool configDir = false;
    // A serial device that replaces the COM number mapping for this run; empty: none.
    std::string portDevice;
    // Start in the tray without showing the window.
    bool hidden = false;
    // A file to record the serial stream into, as given; empty: none.
    std::string recordFile;
    // SteamVr: register, unregister or status (the driver folder in SteamVR's list).
    std::string steamVrVerb;
};

// Reads argv[1..]. Options take their value as the next argument or after "=".
CommandLine parseCommandLine(const std::vector<std::string>& args);

// The --help text.
const char* usageText();

// "tarvel <version>".
std::string versionLine();
