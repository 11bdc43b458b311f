// Entry point of the Windows program: a GUI program (no console) entered through WinMain.
// Of the command line only `--record FILE` is taken (the other options of the Linux program
// have no console to answer on here, and are ignored as any other argument); the window is
// always shown. The arguments are read as wide text, so that any file name reaches the program.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/program.h"
#include "platform/win32/wide_text.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) args.push_back(platform::win32::narrow(wide[i]));
        LocalFree(wide);
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
