// A helper of the Windows smoke test, run in the same Wine prefix as tarvel.exe: watches key
// strokes with a low-level keyboard hook, looks at the program's windows and message box, and
// plays the system's part at the end of a session.
//
//   wine_driver watch-keys SECONDS      one line per key event: "down|up vk=.. scan=.. flags=.."
//   wine_driver window                  "visible" or "hidden" (the main window), exit 1 if none
//   wine_driver graph                   the same for the graph window
//   wine_driver client                  screen position of the main window's client area: "X Y"
//   wine_driver box CAPTION             the text of the message box with that caption in
//                                       hexadecimal, then presses its OK button
//   wine_driver end-session             WM_QUERYENDSESSION, then WM_ENDSESSION (TRUE)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

LRESULT CALLBACK keyHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool up = wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
        std::printf("%s vk=0x%02lX scan=0x%02lX flags=0x%02lX\n", up ? "up" : "down",
                    static_cast<unsigned long>(k->vkCode), static_cast<unsigned long>(k->scanCode),
                    static_cast<unsigned long>(k->flags));
        std::fflush(stdout);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int watchKeys(int seconds) {
    HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, keyHook, GetModuleHandleA(nullptr), 0);
    if (hook == nullptr) return 1;
    std::printf("watching\n");
    std::fflush(stdout);
    SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) break;
        DispatchMessageA(&msg);
    }
    UnhookWindowsHookEx(hook);
    return 0;
}

HWND mainWindow() {
    return FindWindowA("win", "Tarvel-Omnix");
}

int showState(HWND w) {
    if (w == nullptr) return 1;
    std::printf("%s\n", IsWindowVisible(w) ? "visible" : "hidden");
    return 0;
}

int answerBox(const char* caption) {
    HWND box = nullptr;
    for (int i = 0; i < 200 && box == nullptr; ++i) {
        box = FindWindowA("#32770", caption);
        if (box == nullptr) Sleep(50);
    }
    if (box == nullptr) return 1;
    // The text is the box's only static control with text.
    char text[256] = {};
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[32];
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0) break;
    }
    for (const char* p = text; *p; ++p) std::printf("%02X", static_cast<unsigned char>(*p));
    std::printf("\n");
    std::fflush(stdout);
    HWND ok = GetDlgItem(box, IDOK);
    if (ok == nullptr) return 1;
    SendMessageA(ok, BM_CLICK, 0, 0);
    return 0;
}

int clientOrigin() {
    HWND w = mainWindow();
    if (w == nullptr) return 1;
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    std::printf("%ld %ld\n", static_cast<long>(origin.x), static_cast<long>(origin.y));
    return 0;
}

int endSession() {
    HWND w = mainWindow();
    if (w == nullptr) return 1;
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000,
                        &answer);
    std::printf("query answered %lu\n", static_cast<unsigned long>(answer));
    SendMessageTimeoutA(w, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000,
                        &answer);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "watch-keys" && argc == 3) return watchKeys(std::atoi(argv[2]));
    if (command == "window") return showState(mainWindow());
    if (command == "graph") return showState(FindWindowA("graph", nullptr));
    if (command == "client") return clientOrigin();
    if (command == "box" && argc == 3) return answerBox(argv[2]);
    if (command == "end-session") return endSession();
    std::fprintf(stderr,
                 "usage: wine_driver watch-keys SECONDS | window | graph | client | box CAPTION | "
                 "end-session\n");
    return 2;
}
