// Entry point of the Windows program: a GUI program (no console) entered through WinMain.
// Of the command line only `--record FILE` is taken, and `--steamvr register|unregister|status`
// (for the installer: no window, the answer in the exit code, 0 when done); the other options
// of the Linux program have no console to answer on here, and are ignored as any other
// argument. The window is always shown. The arguments are read as wide text, so that any file name
// reaches the program.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/program.h"
#include "platform/win32/wide_text.h"
#include "steamvr/registration.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) args.push_back(platform::win32::narrow(wide[i]));
        LocalFree(wide);
    }
    if (args.size() == 3 && args[1] == "--steamvr") {
        std::string message;
        return steamvr::runRegistrationCommand(args[2], message) ? 0 : 1;
    }
    ProgramOptions options;
    constexpr std::string_view kRecord = "--record";
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == kRecord && i + 1 < args.size()) {
            options.recordPath = args[++i];
        } else if (arg.size() > kRecord.size() + 1 && arg.starts_with(kRecord) &&
                   arg[kRecord.size()] == '=') {
            options.recordPath = arg.substr(kRecord.size() + 1);
        }
    }
    return runProgram(options);
}
