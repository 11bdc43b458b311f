// Entry point of the Windows program: a GUI program (no console) entered through WinMain.
// Of the command line only `--record FILE` is taken (the other options of the Linux program
// have no console to answer on here, and are ignored as any other argument); the window is
// always shown.
#include <windows.h>

#include <cstdlib>
#include <string_view>

#include "app/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ProgramOptions options;
    constexpr std::string_view kRecord = "--record";
    for (int i = 1; i < __argc; ++i) {
        const std::string_view arg = __argv[i];
        if (arg == kRecord && i + 1 < __argc) {
            options.recordPath = __argv[++i];
        } else if (arg.size() > kRecord.size() + 1 && arg.starts_with(kRecord) &&
                   arg[kRecord.size()] == '=') {
            options.recordPath = arg.substr(kRecord.size() + 1);
        }
    }
    return runProgram(options);
}
