// A stand-in for the taskbar of a shell that starts after the program (Wine cannot start its
// own again once it has ended): a "Shell_TrayWnd" window that announces itself with the
// "TaskbarCreated" broadcast, takes the icon requests that Shell_NotifyIcon sends it, prints
// one line per request, and clicks the icon on request by sending its callback message.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

// The start of the record that Wine's Shell_NotifyIcon sends in WM_COPYDATA (the request in
// dwData); the rest (tip, icon bits) is not looked at.
struct IconRequest {
    std::int32_t window;
    UINT id;
    UINT flags;
    UINT callbackMessage;
};

// The one icon held, and the message that asks for a click on it (wParam: the mouse message).
struct HeldIcon {
    HWND owner = nullptr;
    UINT id = 0;
    UINT callbackMessage = 0;
} held;
constexpr UINT kClickRequest = WM_APP + 1;

LRESULT CALLBACK taskbarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data->cbData < sizeof(IconRequest)) return FALSE;
        IconRequest request;
        std::memcpy(&request, data->lpData, sizeof request);
        HWND owner = reinterpret_cast<HWND>(static_cast<std::intptr_t>(request.window));
        const bool holds = held.owner == owner && held.id == request.id;
        char title[64] = {};
        GetWindowTextA(owner, title, sizeof title);
        const char* names[] = {"add", "modify", "delete"};
        std::printf("%s owner=%s id=%u flags=0x%x message=0x%x\n",
                    data->dwData < 3 ? names[data->dwData] : "other", title, request.id,
                    request.flags, request.callbackMessage);
        std::fflush(stdout);
        switch (data->dwData) {
            case NIM_ADD:
                if (holds) return FALSE;
                held = {owner, request.id, request.callbackMessage};
                return TRUE;
            case NIM_MODIFY:
                return holds;
            case NIM_DELETE:
                if (holds) held = {};
                return holds;
            default:
                return FALSE;
        }
    }
    if (message == kClickRequest) {
        if (held.owner == nullptr) return FALSE;
        SendNotifyMessageA(held.owner, held.callbackMessage, held.id, static_cast<LPARAM>(wParam));
        return TRUE;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

int runStandInTaskbar(int seconds) {
    if (FindWindowA("Shell_TrayWnd", nullptr) != nullptr) return 1;  // a taskbar is there
    WNDCLASSA wc{};
    wc.lpfnWndProc = taskbarProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Shell_TrayWnd";
    if (!RegisterClassA(&wc)) return 1;
    HWND taskbar = CreateWindowExA(0, "Shell_TrayWnd", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   wc.hInstance, nullptr);
    if (taskbar == nullptr) return 1;
    std::printf("taskbar created\n");
    std::fflush(stdout);
    SendNotifyMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
        DispatchMessageA(&msg);
    }
    DestroyWindow(taskbar);
    return 0;
}

int clickStandInIcon(const char* button) {
    HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    if (taskbar == nullptr) return 1;
    const WPARAM mouse = std::strcmp(button, "right") == 0 ? WM_RBUTTONDOWN : WM_LBUTTONDOWN;
    DWORD_PTR clicked = 0;
    SendMessageTimeoutA(taskbar, kClickRequest, mouse, 0, SMTO_ABORTIFHUNG, 5000, &clicked);
    return clicked ? 0 : 1;
}
