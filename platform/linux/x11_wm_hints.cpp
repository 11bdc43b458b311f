// What the window manager is told about a window: its title and class, and for
// a top-level window the close protocol, fixed size, frame, icon and process.
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>

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

bool X11WindowSystem::commandOtherCopy(std::string_view, std::string_view title,
                                       std::uint32_t command) {
    if (display_ == nullptr) return false;
    // Whether `window` is one of this program's top-level windows (class "Tarvel") titled so.
    auto isCopy = [&](Window window) {
        XClassHint hint{};
        if (!XGetClassHint(display_, window, &hint)) return false;
        const bool ours = hint.res_class != nullptr && std::string_view(hint.res_class) == "Tarvel";
        if (hint.res_name != nullptr) XFree(hint.res_name);
        if (hint.res_class != nullptr) XFree(hint.res_class);
        if (!ours) return false;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* name = nullptr;
        XGetWindowProperty(display_, window, atoms_.netWmName, 0, 256, False, atoms_.utf8String,
                           &type, &format, &count, &after, &name);
        const bool titled =
            name != nullptr && std::string_view(reinterpret_cast<char*>(name), count) == title;
        if (name != nullptr) XFree(name);
        return titled;
    };
    // The root's children, and theirs: a window manager puts each client in a frame.
    Window found = None;
    auto search = [&](auto& self, Window parent, int depth) -> void {
        Window root = None, up = None, *children = nullptr;
        unsigned int n = 0;
        if (!XQueryTree(display_, parent, &root, &up, &children, &n)) return;
        for (unsigned int i = 0; i < n && found == None; ++i) {
            if (isCopy(children[i])) {
                found = children[i];
            } else if (depth > 1) {
                self(self, children[i], depth - 1);
            }
        }
        if (children != nullptr) XFree(children);
    };
    search(search, root_, 3);
    if (found == None) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = found;
    event.xclient.message_type = atoms_.command;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(command);
    XSendEvent(display_, found, False, NoEventMask, &event);
    XFlush(display_);
    return true;
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
