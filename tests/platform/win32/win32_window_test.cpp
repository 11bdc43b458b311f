// Tests of the Windows window system and input injector on a display (Xvfb under Wine): class
// registration and the binding of windows to their creation parameter, the message calls,
// waiting and waking, GDI drawing in the program's font and lines, the icon and menu resources, the
// popup menu, the tray icon, and SendInput records as a low-level hook sees them.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/file_chooser.h"
#include "platform/input_injector.h"
#include "platform/modal_idle.h"
#include "platform/termination.h"
#include "platform/win32/win32_internal.h"
#include "platform/window_system.h"
#include "settings/settings_dialog.h"
#include "tests/support/support.h"

namespace {

using namespace std::chrono_literals;
using platform::LParam;
using platform::LResult;
using platform::NativeWindow;
using platform::WParam;

struct Seen {
    NativeWindow window;
    std::uint32_t message;
    WParam wParam;
    LParam lParam;
};

std::vector<Seen>* journal = nullptr;
void* createParamSeen = nullptr;

LResult recordingProc(NativeWindow window, std::uint32_t message, WParam wParam, LParam lParam) {
    if (journal) journal->push_back({window, message, wParam, lParam});
    if (message == platform::kWmCreate) {
        createParamSeen = reinterpret_cast<platform::CreateStruct*>(lParam)->createParams;
    }
    if (message == platform::kWmUser + 1) return 1234;
    return platform::windowSystem().defWindowProc(window, message, wParam, lParam);
}

// Whether windows can be made at all: under Wine they need an X display.
bool haveDisplay() {
    static const bool have = [] {
        HWND probe = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
        if (probe) DestroyWindow(probe);
        return probe != nullptr;
    }();
    return have;
}

class WindowSystemWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveDisplay()) GTEST_SKIP() << "no display to make windows on";
        journal = &seen;
        platform::WindowClass cls;
        cls.proc = recordingProc;
        cls.iconId = 101;
        cls.cursorId = platform::kIdcArrow;
        cls.background = 0x191919;
        cls.name = "tarvel-test";
        ws.registerClass(cls);  // false from the second test on: the class stays registered
    }
    void TearDown() override {
        for (NativeWindow w : created) ws.destroyWindow(w);
        // Leave no quit request or stray message for the next test.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        journal = nullptr;
    }
    NativeWindow create(void* param, NativeWindow parent = 0) {
        platform::WindowCreate c;
        c.className = "tarvel-test";
        c.title = "tarvel-test";
        c.style = parent ? platform::kWsChild : platform::kWsCaption;
        c.width = 200;
        c.height = 100;
        c.parent = parent;
        c.createParam = param;
        NativeWindow w = ws.createWindow(c);
        if (!parent) created.push_back(w);
        return w;
    }
    std::size_t count(std::uint32_t message) const {
        std::size_t n = 0;
        for (const Seen& s : seen) n += s.message == message;
        return n;
    }

    platform::WindowSystem& ws = platform::windowSystem();
    std::vector<Seen> seen;
    std::vector<NativeWindow> created;
};

TEST_F(WindowSystemWin32, AClassNameIsRegisteredOnce) {
    platform::WindowClass cls;
    cls.proc = recordingProc;
    cls.name = "tarvel-test";
    EXPECT_FALSE(ws.registerClass(cls));
    cls.name = "tarvel-test-once";
    EXPECT_TRUE(ws.registerClass(cls));
    EXPECT_FALSE(ws.registerClass(cls));
}

TEST_F(WindowSystemWin32, CreationHandsTheParameterToWmCreateAndTheUserSlotKeepsAValue) {
    int object = 0;
    createParamSeen = nullptr;
    NativeWindow w = create(&object);
    ASSERT_NE(w, 0u);
    EXPECT_EQ(createParamSeen, &object);
    ASSERT_FALSE(seen.empty());
    // Creation messages come before WM_CREATE, all to the same procedure.
    EXPECT_NE(seen.front().message, platform::kWmCreate);
    EXPECT_EQ(count(platform::kWmCreate), 1u);
    EXPECT_EQ(ws.windowUserData(w), 0);
    ws.setWindowUserData(w, reinterpret_cast<std::intptr_t>(&object));
    EXPECT_EQ(ws.windowUserData(w), reinterpret_cast<std::intptr_t>(&object));
}

TEST_F(WindowSystemWin32, SentMessagesRunAtOncePostedOnesWaitForTheLoop) {
    NativeWindow w = create(nullptr);
    seen.clear();
    EXPECT_EQ(ws.sendMessage(w, platform::kWmUser + 1, 7, 8), 1234);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(ws.sendMessage(0, platform::kWmUser + 1, 0, 0), 0);

    ws.postMessage(w, platform::kWmUser + 2, 3, 4);
    EXPECT_EQ(seen.size(), 1u);
    ASSERT_TRUE(ws.peekMessage());
    platform::Message m;
    ASSERT_TRUE(ws.getMessage(m));
    EXPECT_EQ(m.window, w);
    EXPECT_EQ(m.message, platform::kWmUser + 2);
    ws.translateMessage(m);
    ws.dispatchMessage(m);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen.back().wParam, 3u);
    EXPECT_EQ(seen.back().lParam, 4);

    ws.postQuitMessage(5);
    ASSERT_FALSE(ws.getMessage(m));
    EXPECT_EQ(m.message, platform::kWmQuit);
    EXPECT_EQ(m.wParam, 5u);
}

TEST_F(WindowSystemWin32, WaitingEndsForAMessageFromAnotherThreadOrAWakeUp) {
    NativeWindow w = create(nullptr);
    std::thread poster([&] {
        testsupport::sleepMs(100);
        ws.postMessage(w, platform::kWmUser + 3, 0, 0);
    });
    EXPECT_TRUE(ws.waitMessage(-1));
    poster.join();
    platform::Message m;
    ASSERT_TRUE(ws.getMessage(m));

    std::thread waker([&] {
        testsupport::sleepMs(100);
        ws.wakeUp();
    });
    EXPECT_FALSE(ws.waitMessage(-1));
    waker.join();
    // A wake-up that comes before the wait ends the next one.
    ws.wakeUp();
    EXPECT_FALSE(ws.waitMessage(-1));
    EXPECT_FALSE(ws.waitMessage(20));
}

TEST_F(WindowSystemWin32, DestroyingAWindowDestroysItsChildrenToo) {
    NativeWindow parent = create(nullptr);
    NativeWindow child = create(nullptr, parent);
    seen.clear();
    ws.destroyWindow(parent);
    created.clear();
    std::vector<NativeWindow> destroyed;
    for (const Seen& s : seen) {
        if (s.message == platform::kWmDestroy) destroyed.push_back(s.window);
    }
    EXPECT_EQ(destroyed, (std::vector<NativeWindow>{parent, child}));
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(child)));
}

TEST_F(WindowSystemWin32, PlacesShowsAndHidesWindows) {
    NativeWindow parent = create(nullptr);
    NativeWindow child = create(nullptr, parent);
    ws.moveWindow(child, 30, 40);
    const platform::Rect r = ws.windowRect(child);
    const platform::Point origin = ws.screenToClient(parent, {r.left, r.top});
    EXPECT_EQ(origin, (platform::Point{30, 40}));
    EXPECT_EQ(r.width(), 200);
    EXPECT_EQ(ws.clientRect(child), (platform::Rect{0, 0, 200, 100}));
    ws.showWindow(parent, platform::kSwShow);
    EXPECT_TRUE(IsWindowVisible(reinterpret_cast<HWND>(parent)));
    ws.showWindow(parent, platform::kSwHide);
    EXPECT_FALSE(IsWindowVisible(reinterpret_cast<HWND>(parent)));
}

// A memory bitmap to draw into, standing in for a window's paint context.
class Canvas {
  public:
    Canvas(int width, int height) : width_(width), height_(height) {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        previous_ = SelectObject(dc_, bitmap_);
        RECT all{0, 0, width, height};
        HBRUSH dark = CreateSolidBrush(0x191919);
        FillRect(dc_, &all, dark);
        DeleteObject(dark);
    }
    ~Canvas() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    platform::PaintContext context() const { return {0, reinterpret_cast<std::uintptr_t>(dc_)}; }
    COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }
    int countOf(COLORREF colour, int left, int top, int right, int bottom) const {
        int n = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = left; x < right; ++x) n += at(x, y) == colour;
        }
        return n;
    }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
};

TEST_F(WindowSystemWin32, TheProgramsFontHasTheAskedCellHeight) {
    Canvas canvas(400, 100);
    const std::string_view label = "各センサ値：";
    for (int height : {16, 17, 30, 80}) {
        const platform::Size size = ws.textExtent(canvas.context(), label, height);
        // The substituted font may round its cell a pixel short at large sizes.
        EXPECT_NEAR(size.cy, height, 1);
        EXPECT_GT(size.cx, height * 3);  // six full-width characters
    }
    const platform::Size one = ws.textExtent(canvas.context(), "0", 17);
    const platform::Size two = ws.textExtent(canvas.context(), "00", 17);
    EXPECT_EQ(two.cx, 2 * one.cx);
    EXPECT_EQ(ws.textExtent(canvas.context(), "", 17).cx, 0);
}

TEST_F(WindowSystemWin32, TextFillsItsCellWithTheBackgroundAndDrawsInItsColour) {
    Canvas canvas(200, 40);
    const std::string_view text = "表示";
    const platform::Size size = ws.textExtent(canvas.context(), text, 20);
    ws.textOut(canvas.context(), 10, 5, text, 20, 0xFFFF00, 0x000096);
    const int cell = size.cx * size.cy;
    const int cyan = canvas.countOf(0xFFFF00, 10, 5, 10 + size.cx, 5 + size.cy);
    const int red = canvas.countOf(0x000096, 10, 5, 10 + size.cx, 5 + size.cy);
    EXPECT_GT(cyan, cell / 20);
    EXPECT_GT(red, cell / 3);
    // Nothing outside the cell.
    EXPECT_EQ(canvas.countOf(0xFFFF00, 10 + size.cx, 0, 200, 40), 0);
    EXPECT_EQ(canvas.countOf(0x000096, 0, 0, 10, 40), 0);
}

TEST_F(WindowSystemWin32, ButtonFacesAreRoundedAndOutlinedInBlack) {
    Canvas canvas(60, 20);
    ws.roundRect(canvas.context(), {0, 0, 60, 20}, 9, 9, 0x000096);
    EXPECT_EQ(canvas.at(30, 10), 0x000096u);  // face
    EXPECT_EQ(canvas.at(30, 0), 0x000000u);   // outline
    EXPECT_EQ(canvas.at(30, 19), 0x000000u);
    EXPECT_EQ(canvas.at(0, 0), 0x191919u);  // outside the rounded corner
    EXPECT_EQ(canvas.at(59, 19), 0x191919u);
}

TEST_F(WindowSystemWin32, PolylinesAreOnePixelInTheirPenColour) {
    Canvas canvas(40, 20);
    const platform::Point points[] = {{2, 5}, {30, 5}, {30, 15}};
    ws.polyline(canvas.context(), points, 0xFFFF00);
    EXPECT_EQ(canvas.at(2, 5), 0xFFFF00u);
    EXPECT_EQ(canvas.at(16, 5), 0xFFFF00u);
    EXPECT_EQ(canvas.at(30, 10), 0xFFFF00u);
    EXPECT_EQ(canvas.at(16, 4), 0x191919u);
    EXPECT_EQ(canvas.at(16, 6), 0x191919u);
    EXPECT_EQ(canvas.countOf(0xFFFF00, 0, 0, 40, 20), 28 + 10);
}

TEST_F(WindowSystemWin32, TheIconResourceHoldsTenImagesOf32Bits) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC group =
        FindResourceA(module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const auto* dir = static_cast<const unsigned char*>(LockResource(LoadResource(module, group)));
    const int count = dir[4] | dir[5] << 8;
    ASSERT_EQ(count, 10);
    std::vector<int> sizes;
    for (int i = 0; i < count; ++i) {
        const unsigned char* entry = dir + 6 + 14 * i;  // GRPICONDIRENTRY
        sizes.push_back(entry[0] == 0 ? 256 : entry[0]);
        EXPECT_EQ(entry[6] | entry[7] << 8, 32) << "image " << i;
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 64, 72, 96, 128, 256, 256}));
    EXPECT_NE(LoadIconA(module, MAKEINTRESOURCEA(101)), nullptr);
}

TEST_F(WindowSystemWin32, TheTrayMenuResourceHoldsShowGraphAndExit) {
    HMENU bar = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(102));
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 1);
    wchar_t text[32];
    GetMenuStringW(bar, 0, text, std::size(text), MF_BYPOSITION);
    EXPECT_STREQ(text, L"MENU");
    HMENU popup = GetSubMenu(bar, 0);
    ASSERT_EQ(GetMenuItemCount(popup), 3);
    EXPECT_EQ(GetMenuItemID(popup, 0), 40003u);
    EXPECT_EQ(GetMenuItemID(popup, 1), 40005u);
    EXPECT_EQ(GetMenuItemID(popup, 2), 40004u);
    GetMenuStringW(popup, 0, text, std::size(text), MF_BYPOSITION);
    EXPECT_STREQ(text, L"表示");
    GetMenuStringW(popup, 1, text, std::size(text), MF_BYPOSITION);
    EXPECT_STREQ(text, L"グラフ");
    GetMenuStringW(popup, 2, text, std::size(text), MF_BYPOSITION);
    EXPECT_STREQ(text, L"終了");
    DestroyMenu(bar);
}

// Keys for the open popup menu, sent from a timer that its modal loop runs.
std::vector<WPARAM> menuKeys;

void CALLBACK pressMenuKeys(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    HWND menu = FindWindowA("#32768", nullptr);
    if (menu == nullptr) {
        EndMenu();
        return;
    }
    for (WPARAM key : menuKeys) PostMessageA(menu, WM_KEYDOWN, key, 0);
    if (menuKeys.empty()) EndMenu();
}

TEST_F(WindowSystemWin32, ThePopupMenuPostsTheChosenItemToItsOwner) {
    NativeWindow owner = create(nullptr);
    ws.showWindow(owner, platform::kSwShow);
    platform::PopupMenu menu;
    menu.resourceId = 102;

    menuKeys = {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN};
    SetTimer(nullptr, 0, 300, pressMenuKeys);
    EXPECT_EQ(ws.trackPopupMenu(owner, menu, {50, 50}), 40004u);
    MSG msg;
    ASSERT_TRUE(
        PeekMessageA(&msg, reinterpret_cast<HWND>(owner), WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(LOWORD(msg.wParam), 40004);

    menuKeys = {};
    SetTimer(nullptr, 0, 300, pressMenuKeys);
    EXPECT_EQ(ws.trackPopupMenu(owner, menu, {50, 50}), 0u);
    EXPECT_FALSE(
        PeekMessageA(&msg, reinterpret_cast<HWND>(owner), WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
}

// The program's hook runs inside the menu and the message box, told that the system takes the
// messages, and beside the file dialog, told to take them itself, the owner disabled meanwhile;
// its end request closes each. (Should it not run, the menu's fallback timer closes the menu
// and the test fails.)
TEST_F(WindowSystemWin32, TheModalHookRunsInsideMenusBoxesAndFileDialogsAndEndsThem) {
    NativeWindow owner = create(nullptr);
    ws.showWindow(owner, platform::kSwShow);
    int turns = 0, endAt = 50;
    bool queueAsExpected = true, ownerEnabled = false;
    platform::ModalQueue expected = platform::ModalQueue::system;
    platform::setModalIdle([&](platform::ModalQueue queue) {
        queueAsExpected = queueAsExpected && queue == expected;
        ownerEnabled = ownerEnabled || IsWindowEnabled(reinterpret_cast<HWND>(owner));
        return platform::ModalTurn{.end = ++turns >= endAt, .waitMs = 1};
    });
    menuKeys = {};
    const UINT_PTR fallback = SetTimer(nullptr, 0, 20000, pressMenuKeys);
    ws.trackPopupMenu(owner, {.resourceId = 102, .items = {}}, {50, 50});
    KillTimer(nullptr, fallback);
    EXPECT_GE(turns, std::exchange(endAt, turns + 50));
    ws.messageBox(owner, "テスト", "tarvel-test", platform::kMbOk);
    EXPECT_GE(turns, std::exchange(endAt, turns + 50));
    std::string path;
    expected = platform::ModalQueue::hook;
    ownerEnabled = false;
    EXPECT_FALSE(platform::chooseFile(owner, {}, path));
    EXPECT_GE(turns, endAt);
    platform::setModalIdle(nullptr);
    EXPECT_TRUE(queueAsExpected);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(reinterpret_cast<HWND>(owner)));
}

// A dialog that does not close when the program ends (its thread stuck) does not keep the program
// from ending: the wait gives up, the settings saved first (the last-chance handler).
TEST(FileDialogWait, AnEndingProgramStopsWaitingForADialogThatDoesNotClose) {
    const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD threadId = 0;
    const HANDLE stuck = CreateThread(
        nullptr, 0, [](void* event) -> DWORD { return WaitForSingleObject(event, INFINITE); },
        release, 0, &threadId);
    ASSERT_NE(stuck, nullptr);
    bool saved = false;
    platform::setLastChanceHandler([&saved] { saved = true; });
    platform::setModalIdle([](platform::ModalQueue) { return platform::ModalTurn{.end = true}; });
    EXPECT_FALSE(platform::win32::awaitDialog(stuck, threadId));
    platform::setModalIdle(nullptr);
    platform::setLastChanceHandler(nullptr);
    EXPECT_TRUE(saved);
    SetEvent(release);
    WaitForSingleObject(stuck, INFINITE);
    CloseHandle(stuck);
    CloseHandle(release);
}

TEST_F(WindowSystemWin32, TheTrayIconComesAndGoes) {
    NativeWindow owner = create(nullptr);
    platform::TrayIcon icon;
    icon.window = owner;
    icon.id = 0;
    icon.iconId = 101;
    icon.tip = "ZendraTarvel-Omnix";
    EXPECT_TRUE(ws.addTrayIcon(icon));
    EXPECT_TRUE(ws.trayAvailable());
    ws.removeTrayIcon(owner, 0);
    // Gone: modifying it now fails.
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    data.hWnd = reinterpret_cast<HWND>(owner);
    data.uID = 0;
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &data));
}

// Whether the shell holds the icon of `owner` with id 0 (only then can it be modified), and
// the shell losing it without the program's word, as when Explorer ends.
bool shellHolds(NativeWindow owner, DWORD request = NIM_MODIFY) {
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    data.hWnd = reinterpret_cast<HWND>(owner);
    return Shell_NotifyIconA(request, &data) != FALSE;
}
bool shellLoses(NativeWindow owner) {
    return shellHolds(owner, NIM_DELETE) && !shellHolds(owner);
}

TEST_F(WindowSystemWin32, TheTrayIconComesBackWhenTheTaskbarIsCreatedAgain) {
    NativeWindow owner = create(nullptr);
    NativeWindow other = create(nullptr);
    platform::TrayIcon icon;
    icon.window = owner;
    icon.iconId = 101;
    icon.tip = "ZendraTarvel-Omnix";
    ASSERT_TRUE(ws.addTrayIcon(icon));
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    const auto announce = [&](NativeWindow to) {
        SendMessageA(reinterpret_cast<HWND>(to), taskbarCreated, 0, 0);
    };

    // A new taskbar announces itself to every top-level window: the icon's owner adds it
    // again, another window of the program adds nothing.
    ASSERT_TRUE(shellLoses(owner));
    announce(other);
    EXPECT_FALSE(shellHolds(owner));
    announce(owner);
    EXPECT_TRUE(shellHolds(owner));

    // Lost without an announcement: asking whether the tray is there puts the icon back.
    ASSERT_TRUE(shellLoses(owner));
    EXPECT_TRUE(ws.trayAvailable());
    EXPECT_TRUE(shellHolds(owner));

    // Removed by the program: it stays away.
    ws.removeTrayIcon(owner, 0);
    announce(owner);
    EXPECT_FALSE(shellHolds(owner));
}

// ---- File dialogs, answered from a timer that their modal loop runs -----------------------

// What the "user" does in the next file dialog: type these names one after another, each
// confirmed with OK (a folder's name opens that folder; empty: cancel).
std::vector<std::string> typedNames;
std::size_t nextName = 0;
bool dialogAnswered = false;

// The dialog shown by this process (on a thread of its own).
BOOL CALLBACK findDialog(HWND window, LPARAM found) {
    char cls[16];
    GetClassNameA(window, cls, sizeof cls);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(window) &&
        process == GetCurrentProcessId()) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK answerDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = nullptr;
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) return;  // not shown yet: the timer comes again
    const std::string typedName = typedNames[nextName++];
    if (nextName == typedNames.size()) {
        KillTimer(nullptr, timer);
        dialogAnswered = true;
    }
    if (typedName.empty()) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    // The file name box: edt1 in the classic layout, cmb13 in the explorer one.
    SetDlgItemTextA(dialog, 0x480, typedName.c_str());
    SetDlgItemTextA(dialog, 0x47C, typedName.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

class FileDialogWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveDisplay()) GTEST_SKIP() << "no display for the dialogs";
    }
    // Runs `ask` with the dialog answered by typing `names`.
    template <class F>
    auto answered(std::vector<std::string> names, F ask) {
        typedNames = std::move(names);
        nextName = 0;
        dialogAnswered = false;
        SetTimer(nullptr, 0, 100, answerDialog);
        auto result = ask();
        EXPECT_TRUE(dialogAnswered);
        return result;
    }
    testsupport::TempDir dir;
    // The folder as Windows names it.
    std::string windowsDir() const {
        char full[MAX_PATH];
        GetFullPathNameA(dir.path().c_str(), sizeof full, full, nullptr);
        return full;
    }
};

TEST_F(FileDialogWin32, OpenReturnsTheChosenIniFileInAnyLetterCase) {
    const std::string file = windowsDir() + "\\Walk.INI";
    testsupport::writeFile(file, "[param]\r\n");
    SettingsFileDialog dialog;
    EXPECT_TRUE(answered({file}, [&] { return dialog.askOpenPath(0); }));
    EXPECT_EQ(dialog.path, file);
    EXPECT_EQ(dialog.path.substr(dialog.extension), ".INI");
}

// Browsing to another folder leaves the working folder where it was: ./tarvel.ini is
// saved there at exit.
TEST_F(FileDialogWin32, BrowsingLeavesTheWorkingFolderAlone) {
    testsupport::writeFile(windowsDir() + "\\walk.ini", "[param]\r\n");
    const auto before = std::filesystem::current_path();
    ASSERT_NE(before, std::filesystem::path(windowsDir()));
    SettingsFileDialog open;
    EXPECT_TRUE(answered({windowsDir(), "walk.ini"}, [&] { return open.askOpenPath(0); }));
    EXPECT_EQ(open.path, windowsDir() + "\\walk.ini");
    EXPECT_EQ(std::filesystem::current_path(), before);
    SettingsFileDialog save;
    EXPECT_TRUE(answered({windowsDir(), "run"}, [&] { return save.askSavePath(0); }));
    EXPECT_EQ(save.path, windowsDir() + "\\run.ini");
    EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST_F(FileDialogWin32, OpenRefusesAFileOfAnotherExtension) {
    const std::string file = windowsDir() + "\\notes.txt";
    testsupport::writeFile(file, "x");
    SettingsFileDialog dialog;
    EXPECT_FALSE(answered({file}, [&] { return dialog.askOpenPath(0); }));
}

TEST_F(FileDialogWin32, SaveAddsTheIniExtensionToANameWithout) {
    SettingsFileDialog dialog;
    EXPECT_TRUE(answered({windowsDir() + "\\walk"}, [&] { return dialog.askSavePath(0); }));
    EXPECT_EQ(dialog.path, windowsDir() + "\\walk.ini");
}

TEST_F(FileDialogWin32, CancellingLeavesThePathAlone) {
    std::string path = "unchanged";
    platform::FileChooserOptions options;
    options.filterName = "All supported files";
    options.filterPattern = "*.ini";
    EXPECT_FALSE(answered({""}, [&] { return platform::chooseFile(0, options, path); }));
    EXPECT_EQ(path, "unchanged");
}

// ---- SendInput, as a low-level hook of another thread sees it ----------------------------

struct HookedKey {
    DWORD vk;
    DWORD scan;
    DWORD flags;
};
struct HookedMouse {
    WPARAM message;
    POINT at;
    DWORD flags;
};
// The hooks append on the hook thread while the test thread waits for the count; the mutex
// guards both. Once the hook thread has been joined the vectors are read without it.
std::mutex hookedMutex;
std::vector<HookedKey>* hookedKeys = nullptr;
std::vector<HookedMouse>* hookedMice = nullptr;

template <typename T>
std::size_t hookedCount(const std::vector<T>& records) {
    std::lock_guard lock(hookedMutex);
    return records.size();
}

LRESULT CALLBACK keyHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        std::lock_guard lock(hookedMutex);
        hookedKeys->push_back({k->vkCode, k->scanCode, k->flags});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK mouseHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* m = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        std::lock_guard lock(hookedMutex);
        hookedMice->push_back({wParam, m->pt, m->flags});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Runs the hooks on their own thread, with the message loop that hooks need.
class HookThread {
  public:
    HookThread() {
        thread_ = std::thread([this] {
            HHOOK keys = SetWindowsHookExA(WH_KEYBOARD_LL, keyHook, GetModuleHandleA(nullptr), 0);
            HHOOK mice = SetWindowsHookExA(WH_MOUSE_LL, mouseHook, GetModuleHandleA(nullptr), 0);
            id_ = GetCurrentThreadId();
            ready_ = keys != nullptr && mice != nullptr;
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
            started_ = true;
            while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
            UnhookWindowsHookEx(keys);
            UnhookWindowsHookEx(mice);
        });
        testsupport::waitUntil([&] { return started_.load(); }, 10s);
    }
    ~HookThread() {
        PostThreadMessageA(id_, WM_QUIT, 0, 0);
        thread_.join();
    }
    bool ready() const { return ready_; }

  private:
    std::thread thread_;
    std::atomic<DWORD> id_{0};
    std::atomic<bool> ready_{false};
    std::atomic<bool> started_{false};
};

TEST(SendInputInjector, KeyRecordsArriveWithTheirScanCodesAndFlagWords) {
    if (!haveDisplay()) GTEST_SKIP() << "no display to send input to";
    std::vector<HookedKey> keys;
    hookedKeys = &keys;
    std::vector<HookedMouse> mice;
    hookedMice = &mice;
    {
        HookThread hooks;
        ASSERT_TRUE(hooks.ready());
        auto injector = platform::createInputInjector();
        const std::uint16_t w = injector->scanCodeFor('W');
        EXPECT_EQ(w, 0x11);
        EXPECT_EQ(injector->scanCodeFor('A'), 0x1E);
        EXPECT_EQ(injector->scanCodeFor('D'), 0x20);
        injector->sendKey({'W', w, platform::kKeyEventScanCode});
        injector->sendKey({'W', w, platform::kKeyEventScanCode | platform::kKeyEventKeyUp});
        injector->sendKey({'D', 0x20, platform::kKeyEventScanCode});
        injector->sendKey({'D', 0x20, platform::kKeyEventScanCode | platform::kKeyEventKeyUp});
        ASSERT_TRUE(testsupport::waitUntil([&] { return hookedCount(keys) >= 4; }, 10s));
    }
    ASSERT_EQ(keys.size(), 4u);
    const DWORD up = LLKHF_UP;
    EXPECT_EQ(keys[0].vk, static_cast<DWORD>('W'));
    EXPECT_EQ(keys[0].scan, 0x11u);
    EXPECT_EQ(keys[0].flags & (LLKHF_INJECTED | up), static_cast<DWORD>(LLKHF_INJECTED));
    EXPECT_EQ(keys[1].vk, static_cast<DWORD>('W'));
    EXPECT_EQ(keys[1].flags & up, up);
    EXPECT_EQ(keys[2].vk, static_cast<DWORD>('D'));
    EXPECT_EQ(keys[2].scan, 0x20u);
    EXPECT_EQ(keys[3].flags & up, up);
    hookedKeys = nullptr;
    hookedMice = nullptr;
}

TEST(SendInputInjector, MouseRecordsMoveByTheirDistanceAndPressAndReleaseTheLeftButton) {
    if (!haveDisplay()) GTEST_SKIP() << "no display to send input to";
    std::vector<HookedKey> keys;
    hookedKeys = &keys;
    std::vector<HookedMouse> mice;
    hookedMice = &mice;
    SetCursorPos(300, 300);
    {
        HookThread hooks;
        ASSERT_TRUE(hooks.ready());
        auto injector = platform::createInputInjector();
        // Moves of up to 6 pixels are not accelerated.
        injector->sendMouse({5, 0, platform::kMouseEventMove});
        injector->sendMouse({-3, 0, platform::kMouseEventMove});
        injector->sendMouse({0, 0, platform::kMouseEventLeftDown});
        injector->sendMouse({0, 0, platform::kMouseEventLeftUp});
        ASSERT_TRUE(testsupport::waitUntil([&] { return hookedCount(mice) >= 4; }, 10s));
    }
    ASSERT_GE(mice.size(), 4u);
    EXPECT_EQ(mice[0].message, static_cast<WPARAM>(WM_MOUSEMOVE));
    EXPECT_EQ(mice[0].at.x, 305);
    EXPECT_EQ(mice[1].at.x, 302);
    EXPECT_EQ(mice[1].at.y, 300);
    EXPECT_EQ(mice[2].message, static_cast<WPARAM>(WM_LBUTTONDOWN));
    EXPECT_NE(mice[2].flags & LLMHF_INJECTED, 0u);
    EXPECT_EQ(mice[3].message, static_cast<WPARAM>(WM_LBUTTONUP));
    hookedKeys = nullptr;
    hookedMice = nullptr;
}

}  // namespace
