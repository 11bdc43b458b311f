// Notification-area icons that survive Explorer: each added icon's record is kept, and the
// icon is added again with it when the taskbar announces itself ("TaskbarCreated", sent to
// every top-level window when Explorer starts) or when the program finds the icon gone.
#include "platform/win32/tray_icon_win32.h"

// After windows.h, whose types it uses.
#include <shellapi.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32/wide_text.h"

namespace platform::win32 {

namespace {

// The records as they were handed to the shell, one per icon.
std::vector<NOTIFYICONDATAW>& keptIcons() {
    static std::vector<NOTIFYICONDATAW> icons;
    return icons;
}

// Icons of windows that no longer exist cannot come back: their records go.
void forgetIconsOfDestroyedWindows() {
    std::erase_if(keptIcons(), [](const NOTIFYICONDATAW& kept) { return !IsWindow(kept.hWnd); });
}

bool sameIcon(const NOTIFYICONDATAW& kept, HWND window, UINT id) {
    return kept.hWnd == window && kept.uID == id;
}

// Whether the shell, asked where the icon is, does not deny having it: a shell that cannot
// tell (Wine answers E_NOTIMPL) is taken at its word of the add.
bool shellPlacesIcon(const NOTIFYICONDATAW& kept) {
    NOTIFYICONIDENTIFIER which;
    std::memset(&which, 0, sizeof which);
    which.cbSize = sizeof which;
    which.hWnd = kept.hWnd;
    which.uID = kept.uID;
    RECT place{};
    const HRESULT found = Shell_NotifyIconGetRect(&which, &place);
    return SUCCEEDED(found) || found == E_NOTIMPL;
}

}  // namespace

bool addKeptTrayIcon(const TrayIcon& icon) {
    NOTIFYICONDATAW data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof(NOTIFYICONDATAW);  // the full record: 956 in a 32-bit build
    data.hWnd = reinterpret_cast<HWND>(icon.window);
    data.uID = icon.id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = icon.callbackMessage;
    const HINSTANCE module =
        icon.instance != 0 ? reinterpret_cast<HINSTANCE>(icon.instance) : GetModuleHandleW(nullptr);
    data.hIcon = LoadIconW(module, MAKEINTRESOURCEW(icon.iconId));
    const std::wstring tip = widen(icon.tip);
    tip.copy(data.szTip, std::size(data.szTip) - 1);
    const bool added = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;

    auto& icons = keptIcons();
    std::erase_if(icons,
                  [&](const NOTIFYICONDATAW& k) { return sameIcon(k, data.hWnd, data.uID); });
    icons.push_back(data);
    return added;
}

void removeKeptTrayIcon(HWND window, UINT id) {
    NOTIFYICONDATAW data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof(NOTIFYICONDATAW);
    data.hWnd = window;
    data.uID = id;
    Shell_NotifyIconW(NIM_DELETE, &data);
    std::erase_if(keptIcons(), [&](const NOTIFYICONDATAW& k) { return sameIcon(k, window, id); });
}

bool keptTrayIconsShown() {
    forgetIconsOfDestroyedWindows();
    auto& icons = keptIcons();
    if (icons.empty()) return FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr;
    bool all = true;
    for (NOTIFYICONDATAW& kept : icons) {
        // A modification fails when the shell no longer knows the icon (Explorer went away
        // without anyone telling): then it is added again, if a taskbar is there.
        all = (Shell_NotifyIconW(NIM_MODIFY, &kept) != FALSE ||
               Shell_NotifyIconW(NIM_ADD, &kept) != FALSE) &&
              shellPlacesIcon(kept) && all;
    }
    return all;
}

void noteTaskbarMessage(HWND window, UINT message) {
    // Registered messages take ids from 0xC000 up; the others are never this one.
    if (message < 0xC000) return;
    static const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    if (message != taskbarCreated) return;
    forgetIconsOfDestroyedWindows();
    // The add fails when the shell still holds the icon (the announcement also comes when
    // only the display settings changed): the icon is there all the same.
    for (NOTIFYICONDATAW& kept : keptIcons()) {
        if (kept.hWnd == window) Shell_NotifyIconW(NIM_ADD, &kept);
    }
}

}  // namespace platform::win32
