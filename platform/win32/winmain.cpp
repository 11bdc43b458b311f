// Entry point of the Windows program: a GUI program (no console) entered through WinMain.
// Of the command line only `--record FILE` is taken, and two that open no window and answer on
// the console they were started from (or their redirected output): `--steamvr
// register|unregister|status` (also the installer's: the answer in the exit code, 0 when done)
// and `--xr-status`. The other options of the Linux program are ignored as any other argument.
// The window is always shown. The arguments are read as wide text, so that any file name
// reaches the program.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/program.h"
#include "app/xr_status_watch.h"
#include "platform/win32/wide_text.h"
#include "steamvr/registration.h"

namespace {

// Writes an answer where the caller sees it: the redirected standard output, else the console
// of the process that started this one (a GUI program has none of its own), as wide text.
void answer(const std::string& text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const bool inherited = out != nullptr && out != INVALID_HANDLE_VALUE;
    if (!inherited && AttachConsole(ATTACH_PARENT_PROCESS)) {
        out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    }
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring wide = platform::win32::widen(text);
        WriteConsoleW(out, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i) args.push_back(platform::win32::narrow(wide[i]));
        LocalFree(wide);
    }
    if (args.size() == 3 && args[1] == "--steamvr") {
        std::string message;
        const bool done = steamvr::runRegistrationCommand(args[2], message);
        answer(message + "\n");
        return done ? 0 : 1;
    }
    if (args.size() == 2 && args[1] == "--xr-status") {
        answer(xrStatusReport());
        return 0;
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
