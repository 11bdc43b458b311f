// Window system on Windows: the seam's calls are the USER32, GDI32 and SHELL32 calls of the
// same names (RegisterClassExW, CreateWindowExW, PeekMessageW, RoundRect, TextOutW,
// Shell_NotifyIconW, TrackPopupMenu, ...), passed through with their arguments; texts go
// through the wide calls, converted from the program's UTF-8.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/termination.h"
#include "platform/win32/program_font_win32.h"
#include "platform/win32/tray_icon_win32.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_internal.h"
#include "platform/window_system.h"

namespace platform {

namespace {

static_assert(sizeof(POINT) == sizeof(Point) && offsetof(POINT, x) == offsetof(Point, x) &&
                  offsetof(POINT, y) == offsetof(Point, y),
              "the seam's points are laid out like POINT, so Polyline takes them as they are");
static_assert(sizeof(CREATESTRUCTW) >= sizeof(CreateStruct) &&
                  offsetof(CREATESTRUCTW, lpCreateParams) == 0,
              "the creation parameter is the first member of the creation record");

HINSTANCE moduleOf(NativeInstance instance) {
    // Instance 0 means the program's own module, which is what WinMain is given.
    return instance != 0 ? reinterpret_cast<HINSTANCE>(instance) : GetModuleHandleW(nullptr);
}

HWND hwndOf(NativeWindow window) {
    return reinterpret_cast<HWND>(window);
}
NativeWindow windowOf(HWND hwnd) {
    return reinterpret_cast<NativeWindow>(hwnd);
}

// What the seam knows of each registered class, by class atom: its procedure (the classes
// are registered with classProc below, which forwards to it), and for a double-buffered
// class the colour its paints start from.
struct ClassInfo {
    WindowProc proc = nullptr;
    bool doubleBuffered = false;
    Colour background = 0;
};

std::map<ATOM, ClassInfo>& procedures() {
    static std::map<ATOM, ClassInfo> table;
    return table;
}

const ClassInfo* classInfoOf(HWND hwnd) {
    const auto atom = static_cast<ATOM>(GetClassWord(hwnd, GCW_ATOM));
    const auto found = procedures().find(atom);
    return found == procedures().end() ? nullptr : &found->second;
}

// The system's modal loops that the program's windows are told of (their menus, moving them),
// and the idle moments of menus and dialogs they own: the program's turns go on inside them.
void noteModalLoop(UINT message) {
    switch (message) {
        case WM_ENTERMENULOOP:
        case WM_ENTERSIZEMOVE:
            win32::beginSystemModal();
            break;
        case WM_EXITMENULOOP:
        case WM_EXITSIZEMOVE:
            win32::endSystemModal();
            break;
        case WM_ENTERIDLE:
            win32::runModalTurns();
            break;
        default:
            break;
    }
}

LRESULT CALLBACK classProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ENDSESSION && wParam != 0) {
        // Windows may end the process once this message is answered: what
        // must be saved is saved now, the loop then ends the usual way.
        win32::noteSessionEnding();
        runLastChanceHandler();
    }
    win32::noteTaskbarMessage(hwnd, message);
    noteModalLoop(message);
    const ClassInfo* info = classInfoOf(hwnd);
    if (info == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    return static_cast<LRESULT>(info->proc(windowOf(hwnd), message, wParam, lParam));
}

// The program's one font (its face picked once), in the few heights the widgets ask for.
HFONT createProgramFont(std::int32_t height) {
    const win32::ProgramFace& face = win32::programFace();
    return CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, face.charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       FIXED_PITCH | FF_MODERN, face.name.c_str());
}

Rect rectOf(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

class Win32WindowSystem final : public WindowSystem {
  public:
    Win32WindowSystem() : wakeEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
    ~Win32WindowSystem() override {
        if (wakeEvent_) CloseHandle(wakeEvent_);
        for (const auto& [height, font] : fonts_) DeleteObject(font);
    }

    bool available() override { return GetDesktopWindow() != nullptr; }

    bool registerClass(const WindowClass& windowClass) override {
        const HINSTANCE module = moduleOf(windowClass.instance);
        const std::wstring name = win32::widen(windowClass.name);
        WNDCLASSEXW wc;
        std::memset(&wc, 0, sizeof wc);
        wc.cbSize = sizeof(WNDCLASSEXW);  // 48 in a 32-bit build
        wc.style = windowClass.style;
        wc.lpfnWndProc = classProc;
        wc.cbClsExtra = 0;
        wc.cbWndExtra = 0;
        wc.hInstance = module;
        wc.hIcon = windowClass.iconId != 0 ? LoadIconW(module, MAKEINTRESOURCEW(windowClass.iconId))
                                           : nullptr;
        wc.hCursor = windowClass.cursorId != 0
                         ? LoadCursorW(nullptr, MAKEINTRESOURCEW(windowClass.cursorId))
                         : nullptr;
        // A double-buffered class has no brush: its paint covers the window whole, and an
        // erase in between would only flash.
        wc.hbrBackground =
            windowClass.doubleBuffered ? nullptr : CreateSolidBrush(windowClass.background);
        wc.lpszMenuName = nullptr;
        wc.lpszClassName = name.c_str();
        wc.hIconSm = nullptr;
        const ATOM atom = RegisterClassExW(&wc);
        if (atom == 0) {
            // Already registered: the first registration, its brush included, stays.
            if (wc.hbrBackground) DeleteObject(wc.hbrBackground);
            return false;
        }
        procedures()[atom] = {windowClass.proc, windowClass.doubleBuffered, windowClass.background};
        return true;
    }

    NativeWindow createWindow(const WindowCreate& create) override {
        HWND hwnd = CreateWindowExW(create.exStyle, win32::widen(create.className).c_str(),
                                    win32::widen(create.title).c_str(), create.style, create.x,
                                    create.y, create.width, create.height, hwndOf(create.parent),
                                    nullptr, moduleOf(create.instance), create.createParam);
        return windowOf(hwnd);
    }

    void destroyWindow(NativeWindow window) override { DestroyWindow(hwndOf(window)); }

    void showWindow(NativeWindow window, int command) override {
        ShowWindow(hwndOf(window), command);
    }

    void moveWindow(NativeWindow window, std::int32_t x, std::int32_t y) override {
        SetWindowPos(hwndOf(window), HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
    }

    Rect windowRect(NativeWindow window) override {
        RECT r{};
        GetWindowRect(hwndOf(window), &r);
        return rectOf(r);
    }

    Rect clientRect(NativeWindow window) override {
        RECT r{};
        GetClientRect(hwndOf(window), &r);
        return rectOf(r);
    }

    Point screenToClient(NativeWindow window, Point screen) override {
        POINT p{screen.x, screen.y};
        ScreenToClient(hwndOf(window), &p);
        return {p.x, p.y};
    }

    std::intptr_t windowUserData(NativeWindow window) override {
        return GetWindowLongPtrW(hwndOf(window), GWLP_USERDATA);
    }

    void setWindowUserData(NativeWindow window, std::intptr_t value) override {
        SetWindowLongPtrW(hwndOf(window), GWLP_USERDATA, value);
    }

    Point cursorPos() override {
        POINT p{};
        GetCursorPos(&p);
        return {p.x, p.y};
    }

    void setCapture(NativeWindow window) override { SetCapture(hwndOf(window)); }
    void releaseCapture() override { ReleaseCapture(); }

    bool isKeyDown(std::uint32_t virtualKey) override {
        return (GetKeyState(static_cast<int>(virtualKey)) & 0x8000) != 0;
    }

    void invalidate(NativeWindow window, bool erase) override {
        InvalidateRect(hwndOf(window), nullptr, erase ? TRUE : FALSE);
    }

    void update(NativeWindow window) override { UpdateWindow(hwndOf(window)); }

    // A double-buffered window draws into a memory context holding a bitmap of its client
    // area, filled with the class colour first; endPaint copies the bitmap onto the window
    // with one BitBlt.
    PaintContext beginPaint(NativeWindow window) override {
        paints_.push_back({});
        OpenPaint& open = paints_.back();
        open.window = hwndOf(window);
        HDC dc = BeginPaint(open.window, &open.paint);
        const ClassInfo* info = classInfoOf(open.window);
        if (dc == nullptr || info == nullptr || !info->doubleBuffered) {
            return {window, reinterpret_cast<std::uintptr_t>(dc)};
        }
        RECT client{};
        GetClientRect(open.window, &client);
        open.width = std::max<LONG>(1, client.right);
        open.height = std::max<LONG>(1, client.bottom);
        open.memory = CreateCompatibleDC(dc);
        open.bitmap = CreateCompatibleBitmap(dc, open.width, open.height);
        if (open.memory == nullptr || open.bitmap == nullptr) {
            // No memory for the buffer: draw straight onto the window.
            releaseBuffer(open);
            return {window, reinterpret_cast<std::uintptr_t>(dc)};
        }
        open.previousBitmap = SelectObject(open.memory, open.bitmap);
        HBRUSH background = CreateSolidBrush(info->background);
        RECT all{0, 0, open.width, open.height};
        FillRect(open.memory, &all, background);
        DeleteObject(background);
        return {window, reinterpret_cast<std::uintptr_t>(open.memory)};
    }

    void endPaint(NativeWindow window, PaintContext) override {
        // Paints nest (a paint may update another window): end the latest of this window.
        for (auto it = paints_.rbegin(); it != paints_.rend(); ++it) {
            if (it->window == hwndOf(window)) {
                if (it->memory != nullptr) {
                    BitBlt(it->paint.hdc, 0, 0, it->width, it->height, it->memory, 0, 0, SRCCOPY);
                    releaseBuffer(*it);
                }
                EndPaint(it->window, &it->paint);
                paints_.erase(std::next(it).base());
                return;
            }
        }
    }

    void fillRect(PaintContext context, Rect rect, Colour colour) override {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT r{rect.left, rect.top, rect.right, rect.bottom};
        FillRect(dcOf(context), &r, brush);
        DeleteObject(brush);
    }

    void roundRect(PaintContext context, Rect rect, std::int32_t ellipseWidth,
                   std::int32_t ellipseHeight, Colour fill) override {
        HDC dc = dcOf(context);
        HBRUSH brush = CreateSolidBrush(fill);
        HGDIOBJ previous = SelectObject(dc, brush);
        // The pen stays the context's default: black, one pixel.
        RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, ellipseWidth, ellipseHeight);
        SelectObject(dc, previous);
        DeleteObject(brush);
    }

    void polyline(PaintContext context, std::span<const Point> points, Colour pen) override {
        if (points.size() < 2) return;
        HDC dc = dcOf(context);
        HPEN line = CreatePen(PS_SOLID, 1, pen);
        HGDIOBJ previous = SelectObject(dc, line);
        Polyline(dc, reinterpret_cast<const POINT*>(points.data()),
                 static_cast<int>(points.size()));
        SelectObject(dc, previous);
        DeleteObject(line);
    }

    void textOut(PaintContext context, std::int32_t x, std::int32_t y, std::string_view text,
                 std::int32_t fontHeight, Colour textColour, Colour background) override {
        HDC dc = dcOf(context);
        // The background mode stays opaque: the text's cell is filled with the background.
        SetBkColor(dc, background);
        SetTextColor(dc, textColour);
        HGDIOBJ previous = SelectObject(dc, fontOf(fontHeight));
        const std::wstring wide = win32::widen(text);
        TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
        SelectObject(dc, previous);
    }

    Size textExtent(PaintContext context, std::string_view text, std::int32_t fontHeight) override {
        // Outside a paint: measured on the screen.
        HDC screen = context.handle == 0 ? GetDC(nullptr) : nullptr;
        HDC dc = screen != nullptr ? screen : dcOf(context);
        HGDIOBJ previous = SelectObject(dc, fontOf(fontHeight));
        SIZE size{};
        const std::wstring wide = win32::widen(text);
        GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
        SelectObject(dc, previous);
        if (screen != nullptr) ReleaseDC(nullptr, screen);
        return {size.cx, size.cy};
    }

    void setTextScale(double scale) override {
        if (scale == textScale_) return;
        textScale_ = scale;
        for (const auto& [height, font] : fonts_) DeleteObject(font);
        fonts_.clear();
    }

    bool commandOtherCopy(std::string_view className, std::string_view title,
                          std::uint32_t command) override {
        HWND other = FindWindowW(win32::widen(className).c_str(), win32::widen(title).c_str());
        if (other == nullptr) return false;
        // The copy asked may bring its window to the front: this process, just started by the
        // user, holds the right to.
        DWORD process = 0;
        GetWindowThreadProcessId(other, &process);
        AllowSetForegroundWindow(process);
        return PostMessageW(other, WM_COMMAND, command, 0) != FALSE;
    }

    Size screenSize() override {
        const int cy = GetSystemMetrics(SM_CYSCREEN);
        const int cx = GetSystemMetrics(SM_CXSCREEN);
        return {cx, cy};
    }

    Rect workArea() override {
        RECT area{};
        if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) return WindowSystem::workArea();
        return {area.left, area.top, area.right, area.bottom};
    }

    LResult sendMessage(NativeWindow window, std::uint32_t message, WParam wParam,
                        LParam lParam) override {
        if (window == 0) return 0;
        return SendMessageW(hwndOf(window), message, wParam, lParam);
    }

    void postMessage(NativeWindow window, std::uint32_t message, WParam wParam,
                     LParam lParam) override {
        PostMessageW(hwndOf(window), message, wParam, lParam);
    }

    void postQuitMessage(int exitCode) override { PostQuitMessage(exitCode); }

    bool peekMessage() override {
        MSG msg;
        return PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != 0;
    }

    bool getMessage(Message& message) override {
        const BOOL result = GetMessageW(&last_, nullptr, 0, 0);
        message.window = windowOf(last_.hwnd);
        message.message = last_.message;
        message.wParam = last_.wParam;
        message.lParam = last_.lParam;
        // -1 (an error) is handed on like any message; only WM_QUIT ends the loop.
        return result != 0;
    }

    void translateMessage(const Message& message) override {
        const MSG msg = toMsg(message);
        TranslateMessage(&msg);
    }

    LResult dispatchMessage(const Message& message) override {
        const MSG msg = toMsg(message);
        return DispatchMessageW(&msg);
    }

    bool waitMessage(int timeoutMs) override {
        const DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
        // MWMO_INPUTAVAILABLE: also wake for messages that a peek has already seen.
        MsgWaitForMultipleObjectsEx(1, &wakeEvent_, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        return peekMessage();
    }

    void wakeUp() override { SetEvent(wakeEvent_); }

    LResult defWindowProc(NativeWindow window, std::uint32_t message, WParam wParam,
                          LParam lParam) override {
        return DefWindowProcW(hwndOf(window), message, wParam, lParam);
    }

    // The icons are kept by tray_icon_win32.cpp, which adds them again when Explorer restarts.
    bool addTrayIcon(const TrayIcon& icon) override { return win32::addKeptTrayIcon(icon); }

    void removeTrayIcon(NativeWindow window, std::uint32_t id) override {
        win32::removeKeptTrayIcon(hwndOf(window), id);
    }

    // False while the shell holds no icon of the program (no taskbar yet at sign-in, or
    // Explorer gone): closing the window then minimises it instead of hiding it.
    bool trayAvailable() override { return win32::keptTrayIconsShown(); }

    std::uint32_t trackPopupMenu(NativeWindow owner, const PopupMenu& menu, Point at) override {
        HWND hwnd = hwndOf(owner);
        const auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd, GWLP_HINSTANCE));
        HMENU bar =
            menu.resourceId != 0 ? LoadMenuW(module, MAKEINTRESOURCEW(menu.resourceId)) : nullptr;
        if (bar == nullptr) bar = menuFromItems(menu);
        // Flags 0: the chosen item is posted as WM_COMMAND. The owner is not made the
        // foreground window first: Wine's own tray window then closes the menu at once.
        {
            const win32::SystemModal open;
            TrackPopupMenu(GetSubMenu(bar, 0), 0, at.x, at.y, 0, hwnd, nullptr);
        }
        DestroyMenu(bar);
        // The chosen item is already posted to the owner as WM_COMMAND.
        MSG posted;
        if (PeekMessageW(&posted, hwnd, WM_COMMAND, WM_COMMAND, PM_NOREMOVE)) {
            return static_cast<std::uint32_t>(LOWORD(posted.wParam));
        }
        return 0;
    }

    int messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                   std::uint32_t flags) override {
        const win32::SystemModal open;
        return MessageBoxW(hwndOf(owner), win32::widen(text).c_str(), win32::widen(caption).c_str(),
                           flags);
    }

  private:
    struct OpenPaint {
        HWND window = nullptr;
        PAINTSTRUCT paint{};
        // A double-buffered paint's memory context and bitmap, and the client area's size.
        HDC memory = nullptr;
        HBITMAP bitmap = nullptr;
        HGDIOBJ previousBitmap = nullptr;
        LONG width = 0;
        LONG height = 0;
    };

    static void releaseBuffer(OpenPaint& open) {
        if (open.memory != nullptr && open.previousBitmap != nullptr) {
            SelectObject(open.memory, open.previousBitmap);
        }
        if (open.bitmap != nullptr) DeleteObject(open.bitmap);
        if (open.memory != nullptr) DeleteDC(open.memory);
        open.memory = nullptr;
        open.bitmap = nullptr;
        open.previousBitmap = nullptr;
    }

    static HDC dcOf(PaintContext context) { return reinterpret_cast<HDC>(context.handle); }

    // Made on first use and kept: making a font for every text costs more than drawing it.
    HFONT fontOf(std::int32_t height) {
        HFONT& font = fonts_[height];
        if (font == nullptr) {
            font = createProgramFont(static_cast<std::int32_t>(std::lround(height * textScale_)));
        }
        return font;
    }

    // The message as GetMessageA delivered it (time and cursor position included) when it is
    // the one last taken, else rebuilt from its four fields.
    MSG toMsg(const Message& message) const {
        if (windowOf(last_.hwnd) == message.window && last_.message == message.message &&
            last_.wParam == message.wParam && last_.lParam == message.lParam) {
            return last_;
        }
        MSG msg{};
        msg.hwnd = hwndOf(message.window);
        msg.message = message.message;
        msg.wParam = message.wParam;
        msg.lParam = message.lParam;
        msg.time = GetMessageTime();
        return msg;
    }

    // A bar with one popup holding the items, for a menu without a resource.
    static HMENU menuFromItems(const PopupMenu& menu) {
        HMENU bar = CreateMenu();
        HMENU popup = CreatePopupMenu();
        for (const MenuItem& item : menu.items) {
            AppendMenuW(popup, MF_STRING, item.id, win32::widen(item.text).c_str());
        }
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), L"MENU");
        return bar;
    }

    HANDLE wakeEvent_;
    std::map<std::int32_t, HFONT> fonts_;
    double textScale_ = 1.0;
    MSG last_{};
    std::vector<OpenPaint> paints_;
};

}  // namespace

std::unique_ptr<WindowSystem> createNativeWindowSystem() {
    return std::make_unique<Win32WindowSystem>();
}

}  // namespace platform
