// A helper of the Windows smoke test, run in the same Wine prefix as tarvel.exe: watches key
// strokes with a low-level keyboard hook, looks at the program's windows and message box, plays
// the system's part at the end of a session and when the taskbar is created, and reads back
// shortcuts as the shell does.
//
//   wine_driver watch-keys SECONDS      one line per key event: "down|up vk=.. scan=.. flags=.."
//   wine_driver window                  "visible", "minimised" or "hidden" (the main window),
//                                       exit 1 if none
//   wine_driver graph                   the same for the graph window
//   wine_driver menu                    "open" while a popup menu is shown, else "closed"
//   wine_driver restore                 restores the minimised main window
//   wine_driver client                  screen position of the main window's client area: "X Y"
//   wine_driver box CAPTION             the text of the message box with that caption as the
//                                       hexadecimal of its UTF-8, then presses its OK button
//   wine_driver file-dialog NAME        types NAME into the open file dialog and presses OK;
//                                       an empty NAME presses Cancel
//   wine_driver end-session             WM_QUERYENDSESSION, then WM_ENDSESSION (TRUE)
//   wine_driver taskbar-created         once a taskbar exists, broadcasts "TaskbarCreated" as
//                                       Explorer does when it starts
//   wine_driver tray-forget             the taskbar forgets the main window's icon
//   wine_driver shortcut PATH           the .lnk's "target=", "workdir=" and "args=" lines
#include <windows.h>
// After windows.h, whose types they use.
#include <objbase.h>
#include <shlobj.h>

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
    std::printf("%s\n", !IsWindowVisible(w) ? "hidden" : IsIconic(w) ? "minimised" : "visible");
    return 0;
}

int restoreWindow() {
    HWND w = mainWindow();
    if (w == nullptr) return 1;
    ShowWindow(w, SW_RESTORE);
    return 0;
}

int announceTaskbar() {
    HWND tray = nullptr;
    for (int i = 0; i < 200 && tray == nullptr; ++i) {
        tray = FindWindowA("Shell_TrayWnd", nullptr);
        if (tray == nullptr) Sleep(50);
    }
    if (tray == nullptr) return 1;
    SendNotifyMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    return 0;
}

int forgetTrayIcon() {
    HWND w = mainWindow();
    if (w == nullptr) return 1;
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    data.hWnd = w;
    data.uID = 0;
    return Shell_NotifyIconA(NIM_DELETE, &data) ? 0 : 1;
}

int readShortcut(const char* path) {
    if (FAILED(CoInitialize(nullptr))) return 1;
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    int result = 1;
    wchar_t widePath[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
        SUCCEEDED(file->Load(widePath, STGM_READ))) {
        char text[MAX_PATH] = {};
        link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
        std::printf("target=%s\n", text);
        text[0] = 0;
        link->GetWorkingDirectory(text, MAX_PATH);
        std::printf("workdir=%s\n", text);
        text[0] = 0;
        link->GetArguments(text, MAX_PATH);
        std::printf("args=%s\n", text);
        result = 0;
    }
    if (file) file->Release();
    if (link) link->Release();
    CoUninitialize();
    return result;
}

int answerBox(const char* caption) {
    HWND box = nullptr;
    for (int i = 0; i < 200 && box == nullptr; ++i) {
        box = FindWindowA("#32770", caption);
        if (box == nullptr) Sleep(50);
    }
    if (box == nullptr) return 1;
    // The text is the box's only static control with text; printed as the hex of its UTF-8.
    wchar_t wide[256] = {};
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char cls[32];
        GetClassNameA(child, cls, sizeof cls);
        if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextW(child, wide, 256) > 0) break;
    }
    char text[768] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    for (const char* p = text; *p; ++p) std::printf("%02X", static_cast<unsigned char>(*p));
    std::printf("\n");
    std::fflush(stdout);
    HWND ok = GetDlgItem(box, IDOK);
    if (ok == nullptr) return 1;
    SendMessageA(ok, BM_CLICK, 0, 0);
    return 0;
}

int answerFileDialog(const char* name) {
    HWND dialog = nullptr;
    // Up to 50 s (the scripts give the driver a minute): Wine's first file dialog in a process
    // loads the shell and COM, which on a busy machine takes well over ten seconds.
    for (int i = 0; i < 1000; ++i) {
        dialog = FindWindowA("#32770", nullptr);
        if (dialog != nullptr && IsWindowVisible(dialog)) break;
        dialog = nullptr;
        Sleep(50);
    }
    if (dialog == nullptr) return 1;
    // The file name box: edt1 in the classic layout, cmb13 in the explorer one.
    SetDlgItemTextA(dialog, 0x480, name);
    SetDlgItemTextA(dialog, 0x47C, name);
    PostMessageA(dialog, WM_COMMAND, *name ? IDOK : IDCANCEL, 0);
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
    // Whether the main window takes clicks (it is disabled while a file dialog of its is open).
    if (command == "enabled")
        return mainWindow() != nullptr && IsWindowEnabled(mainWindow()) ? 0 : 1;
    if (command == "graph") return showState(FindWindowA("graph", nullptr));
    if (command == "menu") {
        HWND menu = FindWindowA("#32768", nullptr);
        std::printf("%s\n", menu != nullptr && IsWindowVisible(menu) ? "open" : "closed");
        return 0;
    }
    if (command == "restore") return restoreWindow();
    if (command == "taskbar-created") return announceTaskbar();
    if (command == "tray-forget") return forgetTrayIcon();
    if (command == "shortcut" && argc == 3) return readShortcut(argv[2]);
    if (command == "client") return clientOrigin();
    if (command == "box" && argc == 3) return answerBox(argv[2]);
    if (command == "file-dialog" && argc == 3) return answerFileDialog(argv[2]);
    if (command == "end-session") return endSession();
    std::fprintf(
        stderr,
        "usage: wine_driver watch-keys SECONDS | window | graph | menu | restore | client | "
        "box CAPTION | file-dialog NAME | end-session | taskbar-created | tray-forget | "
        "taskbar SECONDS | "
        "tray-click left|right | shortcut PATH\n");
    return 2;
}
