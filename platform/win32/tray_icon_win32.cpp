// Notification-area icons that survive Explorer: each added icon's record is kept, and the
// icon is added again with it when the taskbar announces itself ("TaskbarCreated", sent to
// every top-level window when Explorer starts) or when the program finds the icon gone.
#include "platform/win32/tray_icon_win32.h"

// After windows.h, whose types it uses.
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform::win32 {

namespace {

struct KeptIcon {
    NOTIFYICONDATAA record;
    bool shown = false;
};

std::vector<KeptIcon>& keptIcons() {
    static std::vector<KeptIcon> icons;
    return icons;
}

// Icons of windows that no longer exist cannot come back: their records go.
void forgetIconsOfDestroyedWindows() {
    auto& icons = keptIcons();
    std::erase_if(icons, [](const KeptIcon& kept) { return !IsWindow(kept.record.hWnd); });
}

// Adds the icon again with its record. When the add fails because the shell still holds the
// icon (the broadcast also comes when only the display settings changed), it is shown all
// the same, which the modification of the icon tells.
void addAgain(KeptIcon& kept) {
    kept.shown = Shell_NotifyIconA(NIM_ADD, &kept.record) != FALSE ||
                 Shell_NotifyIconA(NIM_MODIFY, &kept.record) != FALSE;
}

}  // namespace

bool addKeptTrayIcon(const TrayIcon& icon) {
    KeptIcon kept;
    std::memset(&kept.record, 0, sizeof kept.record);
    NOTIFYICONDATAA& data = kept.record;
    data.cbSize = sizeof(NOTIFYICONDATAA);  // the full ANSI record: 508 in a 32-bit build
    data.hWnd = reinterpret_cast<HWND>(icon.window);
    data.uID = icon.id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = icon.callbackMessage;
    const HINSTANCE module =
        icon.instance != 0 ? reinterpret_cast<HINSTANCE>(icon.instance) : GetModuleHandleA(nullptr);
    data.hIcon = LoadIconA(module, MAKEINTRESOURCEA(icon.iconId));
    std::strncpy(data.szTip, icon.tip.c_str(), sizeof data.szTip - 1);
    kept.shown = Shell_NotifyIconA(NIM_ADD, &data) != FALSE;

    auto& icons = keptIcons();
    std::erase_if(icons, [&](const KeptIcon& k) {
        return k.record.hWnd == data.hWnd && k.record.uID == data.uID;
    });
    icons.push_back(kept);
    return kept.shown;
}

void removeKeptTrayIcon(HWND window, UINT id) {
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof(NOTIFYICONDATAA);
    data.hWnd = window;
    data.uID = id;
    Shell_NotifyIconA(NIM_DELETE, &data);
    std::erase_if(keptIcons(),
                  [&](const KeptIcon& k) { return k.record.hWnd == window && k.record.uID == id; });
}

bool keptTrayIconsShown() {
    forgetIconsOfDestroyedWindows();
    auto& icons = keptIcons();
    if (icons.empty()) return FindWindowA("Shell_TrayWnd", nullptr) != nullptr;
    bool all = true;
    for (KeptIcon& kept : icons) {
        // A modification fails when the shell no longer knows the icon (Explorer went away
        // without anyone telling): then it is added again, if a taskbar is there.
        kept.shown = Shell_NotifyIconA(NIM_MODIFY, &kept.record) != FALSE ||
                     Shell_NotifyIconA(NIM_ADD, &kept.record) != FALSE;
        all = all && kept.shown;
    }
    return all;
}

void noteTaskbarMessage(HWND window, UINT message) {
    // Registered messages take ids from 0xC000 up; the others are never this one.
    if (message < 0xC000) return;
    static const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    if (message != taskbarCreated) return;
    forgetIconsOfDestroyedWindows();
    for (KeptIcon& kept : keptIcons()) {
        if (kept.record.hWnd == window) addAgain(kept);
    }
}

}  // namespace platform::win32
