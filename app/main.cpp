// Entry point of the Linux program: reads the command line, answers --help, --version and
// --xr-status at once, enters the working folder and runs the program there.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/command_line.h"
#include "app/program.h"
#include "app/xr_status_watch.h"
#include "platform/working_folder.h"
#include "steamvr/registration.h"

int main(int argc, char** argv) {
    const CommandLine line = parseCommandLine({argv + 1, argv + argc});
    switch (line.action) {
        case CommandLine::Action::Help:
            std::fputs(usageText(), stdout);
            return 0;
        case CommandLine::Action::Version:
            std::printf("%s\n", versionLine().c_str());
            return 0;
        case CommandLine::Action::XrStatus:
            std::fputs(xrStatusReport().c_str(), stdout);
            return 0;
        case CommandLine::Action::SteamVr: {
            std::string message;
            const bool ok = steamvr::runRegistrationCommand(line.steamVrVerb, message);
            std::fprintf(ok ? stdout : stderr, "%s%s\n", ok ? "" : "tarvel: ", message.c_str());
            return ok ? 0 : 1;
        }
        case CommandLine::Action::Error:
            std::fprintf(stderr, "tarvel: %s\n%s", line.error.c_str(), usageText());
            return 2;
        case CommandLine::Action::Run:
            break;
    }

    // A recording named on the command line is where the shell is, whatever the working folder.
    std::string recordPath = line.recordFile;
    if (!recordPath.empty()) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(recordPath, error);
        if (!error) recordPath = absolute.string();
    }

    const std::string folder = line.configDir ? platform::configFolder() : line.workdir;
    if (line.configDir && folder.empty()) {
        std::fprintf(stderr, "tarvel: no home folder to keep the settings in (set HOME)\n");
        return 1;
    }
    std::string error;
    if (!folder.empty() && !platform::enterWorkingFolder(folder, line.configDir, error)) {
        std::fprintf(stderr, "tarvel: %s\n", error.c_str());
        return 1;
    }

    ProgramOptions options;
    options.portDevice = line.portDevice;
    options.startHidden = line.hidden;
    options.recordPath = recordPath;
    return runProgram(options);
}
