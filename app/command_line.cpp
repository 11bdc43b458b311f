// Reading the program's command line, and its usage and version texts.
#include "app/command_line.h"

#include <optional>

#ifndef TARVEL_VERSION
#define TARVEL_VERSION "unknown"
#endif

namespace {

bool allDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    auto fail = [&line](std::string message) {
        line.action = CommandLine::Action::Error;
        line.error = std::move(message);
        return line;
    };
    bool workdirGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        const bool takesValue =
            name == "--workdir" || name == "--port" || name == "--record" || name == "--steamvr";
        if (!takesValue && value) return fail("option " + name + " takes no value");
        if (takesValue && !value) {
            if (i + 1 >= args.size()) return fail("option " + name + " needs a value");
            value = args[++i];
        }
        if (name == "--help" || name == "-h") {
            // Help ends the reading: what follows it is not looked at.
            line.action = CommandLine::Action::Help;
            return line;
        } else if (name == "--version") {
            line.action = CommandLine::Action::Version;
        } else if (name == "--xr-status") {
            line.action = CommandLine::Action::XrStatus;
        } else if (name == "--workdir") {
            if (value->empty()) return fail("option --workdir needs a folder");
            line.workdir = *value;
            workdirGiven = true;
        } else if (name == "--config-dir") {
            line.configDir = true;
        } else if (name == "--port") {
            if (value->empty()) return fail("option --port needs a device");
            if (allDigits(*value)) {
                return fail("--port takes a device such as /dev/ttyUSB0, not a COM number (" +
                            *value + ")");
            }
            line.portDevice = *value;
        } else if (name == "--hidden") {
            line.hidden = true;
        } else if (name == "--record") {
            if (value->empty()) return fail("option --record needs a file");
            line.recordFile = *value;
        } else if (name == "--steamvr") {
            if (*value != "register" && *value != "unregister" && *value != "status") {
                return fail("--steamvr takes register, unregister or status");
            }
            line.action = CommandLine::Action::SteamVr;
            line.steamVrVerb = *value;
        } else if (name.size() > 1 && name[0] == '-') {
            return fail("unknown option '" + name + "'");
        } else {
            return fail("unexpected argument '" + name + "'");
        }
    }
    if (workdirGiven && line.configDir)
        return fail("--workdir and --config-dir exclude each other");
    return line;
}

const char* usageText() {
    return R"(Usage: tarvel [OPTION]...
The desktop companion of the walking platform: reads the platform's load
sensors over a serial port, shows the values in a window, sends a UDP datagram
per result to 127.0.0.1 port 12345 and, in desktop mode, presses keys.

  --workdir DIR    work in the folder DIR (it must exist): tarvel.ini and the
                   COM<n> links are there (default: the current folder)
  --config-dir     work in $XDG_CONFIG_HOME/tarvel (~/.config/tarvel), created
                   if missing; the desktop entry starts the program this way
  --port DEVICE    use the serial device DEVICE (e.g. /dev/ttyUSB0) for this
                   run instead of the COM number; the saved comID stays
  --hidden         start in the tray (the window shows when there is no tray)
  --record FILE    write the bytes from the serial port to FILE exactly as they
                   arrive, from the start to the end of the run (tarvel-sim
                   --scenario replay --file FILE plays them back)
  --steamvr register|unregister|status
                   add this installation's SteamVR driver (the walking
                   platform as a treadmill in OpenVR games) to SteamVR's list
                   of drivers in ~/.config/openvr/openvrpaths.vrpath, remove
                   it, or tell whether it is there; then exit
  -h, --help       print this help and exit
  --version        print the version and exit
  --xr-status      print which OpenXR game reads the walk, and where it goes
                   or why nowhere, and exit

COM<n> is ./COM<n> in the working folder when it exists (a link to the device,
e.g. ln -s /dev/serial/by-id/usb-... COM3), otherwise /dev/ttyS<n-1>.
)";
}

std::string versionLine() {
    return std::string("tarvel ") + TARVEL_VERSION;
}
