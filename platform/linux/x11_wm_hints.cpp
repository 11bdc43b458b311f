// What the window manager is told about a window: its title and class, and for
// a top-level window the close protocol, fixed size, frame, icon and process.
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/linux/x11_icon_data.h"
#include "platform/linux/x11_internal.h"

namespace platform::x11 {

namespace {

// Motif window-manager hints: which functions and decorations a frame offers.
constexpr long kMwmHintsFunctions = 1;
constexpr long kMwmHintsDecorations = 2;
constexpr long kMwmFuncResize = 2;
constexpr long kMwmFuncMove = 4;
constexpr long kMwmFuncMinimize = 8;
constexpr long kMwmFuncMaximize = 16;
constexpr long kMwmFuncClose = 32;
constexpr long kMwmDecorBorder = 2;
constexpr long kMwmDecorResizeH = 4;
constexpr long kMwmDecorTitle = 8;
constexpr long kMwmDecorMenu = 16;
constexpr long kMwmDecorMinimize = 32;
constexpr long kMwmDecorMaximize = 64;

}  // namespace

void X11WindowSystem::setUtf8Name(Window window, std::string_view name) {
    std::string copy(name);
    // WM_NAME as a text property the server's clients convert (STRING when Latin-1 holds it,
    // else compound text), for window lists and tools that read no _NET_WM_NAME; the UTF-8
    // bytes stored as they are would read as Latin-1 mojibake.
    char* list[] = {copy.data()};
    XTextProperty text{};
    if (Xutf8TextListToTextProperty(display_, list, 1, XStdICCTextStyle, &text) >= Success) {
        XSetWMName(display_, window, &text);
        XFree(text.value);
    }
    XChangeProperty(display_, window, atoms_.netWmName, atoms_.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(copy.data()),
                    static_cast<int>(copy.size()));
}

void X11WindowSystem::setClassHint(Window window, const char* resName) {
    std::string name(resName);
    std::string resClass("Tarvel");
    XClassHint hint{name.data(), resClass.data()};
    XSetClassHint(display_, window, &hint);
}

void X11WindowSystem::setTopLevelProperties(WindowRecord& rec, const WindowCreate& create) {
    setUtf8Name(rec.xid, create.title);

    setClassHint(rec.xid, "tarvel");

    Atom protocols[] = {atoms_.wmDeleteWindow};
    XSetWMProtocols(display_, rec.xid, protocols, 1);

    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    hints.initial_state = NormalState;
    XSetWMHints(display_, rec.xid, &hints);

    XSizeHints size{};
    size.flags = PPosition | USPosition | PWinGravity;
    size.x = create.x;
    size.y = create.y;
    size.win_gravity = NorthWestGravity;
    if ((create.style & kWsThickFrame) == 0) {
        size.flags |= PMinSize | PMaxSize;
        size.min_width = size.max_width = std::max(1, create.width);
        size.min_height = size.max_height = std::max(1, create.height);
    }
    XSetWMNormalHints(display_, rec.xid, &size);

    long functions = kMwmFuncMove | kMwmFuncClose;
    long decorations = kMwmDecorBorder | kMwmDecorTitle | kMwmDecorMenu;
    if (create.style & kWsMinimizeBox) {
        functions |= kMwmFuncMinimize;
        decorations |= kMwmDecorMinimize;
    }
    if (create.style & kWsMaximizeBox) {
        functions |= kMwmFuncMaximize;
        decorations |= kMwmDecorMaximize;
    }
    if (create.style & kWsThickFrame) {
        functions |= kMwmFuncResize;
        decorations |= kMwmDecorResizeH;
    }
    long motif[5] = {kMwmHintsFunctions | kMwmHintsDecorations, functions, decorations, 0, 0};
    XChangeProperty(display_, rec.xid, atoms_.motifWmHints, atoms_.motifWmHints, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(motif), 5);

    if (rec.cls->windowClass.iconId != 0) {
        std::vector<long> data;
        for (int side : {16, 24, 32, 48, 64, 128}) {
            data.push_back(side);
            data.push_back(side);
            for (std::uint32_t argb : programIcon(side)) data.push_back(static_cast<long>(argb));
        }
        XChangeProperty(display_, rec.xid, atoms_.netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(data.data()),
                        static_cast<int>(data.size()));
    }

    long pid = getpid();
    XChangeProperty(display_, rec.xid, atoms_.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
}

}  // namespace platform::x11
