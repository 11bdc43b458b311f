// The X11 window system (Xlib, Xft, fontconfig): one X window per toolkit
// window, X events translated into the toolkit's messages, one message queue
// with posted, input and paint messages, and deferred painting that skips a
// repaint identical to what the window already shows.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/linux/x11_internal.h"
#include "platform/linux/x11_keys.h"
#include "platform/termination.h"

#if defined(__SANITIZE_ADDRESS__)
// fontconfig keeps a few blocks of its configuration to the end of the
// process (also after every font is closed); they are not this program's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
#endif

namespace platform {

std::unique_ptr<WindowSystem> createNativeWindowSystem() {
    return std::make_unique<x11::X11WindowSystem>();
}

namespace x11 {

namespace {

// The stand-in for the Windows UI font, at the same pixel heights.
constexpr const char* kFontFamily = "IPAPGothic";
constexpr const char* kFallbackFamily = "sans";

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

// Mouse-message key state bits.
constexpr WParam kMkLButton = 0x01;
constexpr WParam kMkRButton = 0x02;
constexpr WParam kMkShift = 0x04;
constexpr WParam kMkControl = 0x08;
constexpr WParam kMkMButton = 0x10;

constexpr long kIconicState = 3;
constexpr long kNormalState = 1;

// Errors about windows that went away meanwhile (a tray host that quit, a
// destroyed window) are expected; the default handler would end the program.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

// The key state carried by mouse messages, as it is after the event.
WParam mouseKeyState(unsigned int state, unsigned int button, bool press) {
    WParam keys = 0;
    if (state & Button1Mask) keys |= kMkLButton;
    if (state & Button3Mask) keys |= kMkRButton;
    if (state & Button2Mask) keys |= kMkMButton;
    if (state & ShiftMask) keys |= kMkShift;
    if (state & ControlMask) keys |= kMkControl;
    const WParam bit = button == 1   ? kMkLButton
                       : button == 3 ? kMkRButton
                       : button == 2 ? kMkMButton
                                     : 0;
    return press ? (keys | bit) : (keys & ~bit);
}

// Xft stops at the first invalid UTF-8 sequence; such bytes are shown as '?'.
std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        FcChar32 ch;
        const int n = FcUtf8ToUcs4(reinterpret_cast<const FcChar8*>(text.data() + i), &ch,
                                   static_cast<int>(text.size() - i));
        if (n <= 0) {
            out.push_back('?');
            ++i;
        } else {
            out.append(text.substr(i, static_cast<std::size_t>(n)));
            i += static_cast<std::size_t>(n);
        }
    }
    return out;
}

bool isValidUtf8(std::string_view text) {
    int chars = 0;
    int width = 0;
    return FcUtf8Len(reinterpret_cast<const FcChar8*>(text.data()), static_cast<int>(text.size()),
                     &chars, &width) != FcFalse;
}

// The text itself when it is valid UTF-8, otherwise its repair, kept in
// storage.
std::string_view drawableText(std::string_view text, std::string& storage) {
    if (isValidUtf8(text)) return text;
    storage = validUtf8(text);
    return storage;
}

// The advance of valid UTF-8 text in a font.
std::int32_t advanceOf(Display* display, XftFont* font, std::string_view text) {
    XGlyphInfo info;
    XftTextExtentsUtf8(display, font, reinterpret_cast<const FcChar8*>(text.data()),
                       static_cast<int>(text.size()), &info);
    return info.xOff;
}

}  // namespace

// The X server went away (it was stopped, or the session ended). Xlib ends
// the process after this handler, so what must not be lost is saved here.
static int onConnectionLost(Display*) {
    platform::runLastChanceHandler();
    std::fprintf(stderr, "tarvel: the connection to the display was lost\n");
    std::_Exit(1);
}

X11WindowSystem::X11WindowSystem() {
    if (pipe2(wakePipe_, O_NONBLOCK | O_CLOEXEC) != 0) wakePipe_[0] = wakePipe_[1] = -1;
    XSetErrorHandler(ignoreXError);
    XSetIOErrorHandler(onConnectionLost);
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) return;
    fcntl(ConnectionNumber(display_), F_SETFD, FD_CLOEXEC);
    Bool supported = False;
    XkbSetDetectableAutoRepeat(display_, True, &supported);
    screen_ = DefaultScreen(display_);
    root_ = RootWindow(display_, screen_);
    visual_ = DefaultVisual(display_, screen_);
    colormap_ = DefaultColormap(display_, screen_);
    gc_ = XCreateGC(display_, root_, 0, nullptr);

    const std::string traySelection = "_NET_SYSTEM_TRAY_S" + std::to_string(screen_);
    const char* names[] = {"WM_PROTOCOLS",
                           "WM_DELETE_WINDOW",
                           "WM_STATE",
                           "_NET_WM_NAME",
                           "UTF8_STRING",
                           "_NET_WM_ICON",
                           "_MOTIF_WM_HINTS",
                           "_NET_ACTIVE_WINDOW",
                           "_NET_WM_WINDOW_TYPE",
                           "_NET_WM_WINDOW_TYPE_DIALOG",
                           "_NET_WM_WINDOW_TYPE_POPUP_MENU",
                           "_NET_WM_PID",
                           "_NET_SYSTEM_TRAY_OPCODE",
                           "MANAGER",
                           "_XEMBED_INFO",
                           traySelection.c_str()};
    constexpr int kCount = sizeof(names) / sizeof(names[0]);
    Atom atoms[kCount];
    XInternAtoms(display_, const_cast<char**>(names), kCount, False, atoms);
    atoms_ = {atoms[0], atoms[1], atoms[2],  atoms[3],  atoms[4],  atoms[5],  atoms[6],  atoms[7],
              atoms[8], atoms[9], atoms[10], atoms[11], atoms[12], atoms[13], atoms[14], atoms[15]};
}

X11WindowSystem::~X11WindowSystem() {
    if (display_ != nullptr) {
        for (auto& [handle, rec] : windows_) {
            if (rec.draw) XftDrawDestroy(rec.draw);
        }
        for (auto& [height, f] : fonts_) {
            if (f.font != nullptr) XftFontClose(display_, f.font);
        }
        for (auto& [colour, xft] : colours_) XftColorFree(display_, visual_, colormap_, &xft);
        if (arrow_ != None) XFreeCursor(display_, arrow_);
        if (tray_.window != None) XDestroyWindow(display_, tray_.window);
        XFreeGC(display_, gc_);
        XCloseDisplay(display_);
    }
    for (int fd : wakePipe_) {
        if (fd >= 0) close(fd);
    }
}

std::uint32_t X11WindowSystem::virtualKeyOfEvent(XKeyEvent& event) {
    // The modifier that NumLock sets, looked up again after a mapping change.
    if (numLockMask_ == 0) numLockMask_ = XkbKeysymToModifiers(display_, XK_Num_Lock);
    return virtualKeyOfKey(XLookupKeysym(&event, 0), XLookupKeysym(&event, 1),
                           (event.state & numLockMask_) != 0, (event.state & ShiftMask) != 0);
}

// --- colours, fonts, text -------------------------------------------------

const XftColor* X11WindowSystem::xftColour(Colour colour) {
    auto it = colours_.find(colour);
    if (it != colours_.end()) return &it->second;
    XRenderColor value;
    value.red = static_cast<unsigned short>((colour & 0xFF) * 257);
    value.green = static_cast<unsigned short>(((colour >> 8) & 0xFF) * 257);
    value.blue = static_cast<unsigned short>(((colour >> 16) & 0xFF) * 257);
    value.alpha = 0xFFFF;
    XftColor xft{};
    XftColorAllocValue(display_, visual_, colormap_, &value, &xft);
    return &colours_.emplace(colour, xft).first->second;
}

unsigned long X11WindowSystem::pixel(Colour colour) {
    return xftColour(colour)->pixel;
}

const Font& X11WindowSystem::font(std::int32_t height) {
    auto it = fonts_.find(height);
    if (it != fonts_.end()) return it->second;
    const int pixels = std::max(1, height);
    Font f;
    for (const char* family : {kFontFamily, kFallbackFamily}) {
        const std::string name = std::string(family) + ":pixelsize=" + std::to_string(pixels);
        f.font = XftFontOpenName(display_, screen_, name.c_str());
        if (f.font != nullptr) break;
    }
    if (f.font != nullptr) {
        // Xft rounds ascent and descent up; share the requested cell height
        // out between them in the font's own proportion.
        const int total = std::max(1, f.font->ascent + f.font->descent);
        f.ascent = static_cast<int>(std::lround(double(f.font->ascent) * pixels / total));
    }
    return fonts_.emplace(height, f).first->second;
}

std::int32_t X11WindowSystem::textWidth(std::string_view text, std::int32_t fontHeight) {
    if (display_ == nullptr || text.empty()) return 0;
    const Font& f = font(fontHeight);
    if (f.font == nullptr) return 0;
    std::string fixed;
    return advanceOf(display_, f.font, drawableText(text, fixed));
}

void X11WindowSystem::drawTextCell(XftDraw* draw, std::int32_t x, std::int32_t y,
                                   std::string_view text, std::int32_t fontHeight,
                                   Colour textColour, Colour background) {
    if (text.empty()) return;
    const Font& f = font(fontHeight);
    if (f.font == nullptr) return;
    std::string fixed;
    text = drawableText(text, fixed);
    const std::int32_t width = advanceOf(display_, f.font, text);
    XftDrawRect(draw, xftColour(background), x, y, static_cast<unsigned>(std::max(0, width)),
                static_cast<unsigned>(std::max(0, fontHeight)));
    XftDrawStringUtf8(draw, xftColour(textColour), f.font, x, y + f.ascent,
                      reinterpret_cast<const FcChar8*>(text.data()), static_cast<int>(text.size()));
}

void X11WindowSystem::setUtf8Name(Window window, std::string_view name) {
    const std::string copy(name);
    XStoreName(display_, window, copy.c_str());
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

// --- classes and windows ----------------------------------------------------

WindowRecord* X11WindowSystem::record(NativeWindow window) {
    if (window == 0) return nullptr;
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

Cursor X11WindowSystem::arrowCursor() {
    // One arrow serves every class and menu.
    if (arrow_ == None) arrow_ = XCreateFontCursor(display_, XC_left_ptr);
    return arrow_;
}

bool X11WindowSystem::registerClass(const WindowClass& windowClass) {
    if (windowClass.name.empty() || classes_.count(windowClass.name) != 0) return false;
    ClassRecord cls;
    cls.windowClass = windowClass;
    if (display_ != nullptr) {
        cls.backgroundPixel = pixel(windowClass.background);
        if (windowClass.cursorId == kIdcArrow) cls.cursor = arrowCursor();
    }
    classes_.emplace(windowClass.name, std::move(cls));
    return true;
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

NativeWindow X11WindowSystem::createWindow(const WindowCreate& create) {
    if (display_ == nullptr) return 0;
    auto cls = classes_.find(create.className);
    if (cls == classes_.end()) return 0;
    const bool child = (create.style & kWsChild) != 0;
    WindowRecord* parent = child ? record(create.parent) : nullptr;
    if (child && parent == nullptr) return 0;

    XSetWindowAttributes attributes{};
    attributes.background_pixel = cls->second.backgroundPixel;
    attributes.border_pixel = 0;
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
    if (!child) {
        attributes.event_mask |= KeyPressMask | KeyReleaseMask | StructureNotifyMask |
                                 PropertyChangeMask | FocusChangeMask;
    }
    attributes.cursor = cls->second.cursor;
    unsigned long mask = CWBackPixel | CWBorderPixel | CWEventMask;
    if (attributes.cursor != None) mask |= CWCursor;
    const Window xid =
        XCreateWindow(display_, child ? parent->xid : root_, create.x, create.y,
                      static_cast<unsigned>(std::max(1, create.width)),
                      static_cast<unsigned>(std::max(1, create.height)), 0, CopyFromParent,
                      InputOutput, CopyFromParent, mask, &attributes);
    if (xid == None) return 0;

    const NativeWindow handle = xid;
    WindowRecord& rec = windows_[handle];
    rec.xid = xid;
    rec.cls = &cls->second;
    rec.parent = child ? create.parent : 0;
    rec.x = create.x;
    rec.y = create.y;
    rec.width = create.width;
    rec.height = create.height;
    if (child) {
        parent->children.push_back(handle);
    } else {
        setTopLevelProperties(rec, create);
    }

    CreateStruct createStruct{create.createParam};
    if (sendMessage(handle, kWmCreate, 0, reinterpret_cast<LParam>(&createStruct)) == -1) {
        destroyWindow(handle);
        return 0;
    }
    if (record(handle) == nullptr) return 0;
    if (child) {
        // Children learn their size at creation, top-level windows when first
        // shown.
        record(handle)->sizeSent = true;
        sendMessage(handle, kWmSize, kSizeRestored, makeLParam(create.width, create.height));
        sendMessage(handle, kWmMove, 0, makeLParam(create.x, create.y));
    }
    if (WindowRecord* created = record(handle); created && (create.style & kWsVisible)) {
        showWindow(handle, kSwShow);
    }
    return record(handle) ? handle : 0;
}

void X11WindowSystem::destroyTree(NativeWindow window) {
    WindowRecord* rec = record(window);
    if (rec == nullptr || rec->destroying) return;
    rec->destroying = true;
    sendMessage(window, kWmDestroy, 0, 0);
    const std::vector<NativeWindow> children = record(window)->children;
    for (NativeWindow child : children) destroyTree(child);
}

void X11WindowSystem::destroyWindow(NativeWindow window) {
    WindowRecord* rec = record(window);
    if (rec == nullptr || rec->destroying) return;
    destroyTree(window);

    // Collect the tree, then let the server destroy it in one request.
    std::vector<NativeWindow> tree{window};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        if (WindowRecord* r = record(tree[i])) {
            tree.insert(tree.end(), r->children.begin(), r->children.end());
        }
    }
    rec = record(window);
    const Window xid = rec->xid;
    if (WindowRecord* parent = record(rec->parent)) std::erase(parent->children, window);
    for (NativeWindow gone : tree) {
        if (WindowRecord* r = record(gone); r && r->draw) XftDrawDestroy(r->draw);
        windows_.erase(gone);
        dirty_.erase(gone);
        if (capture_ == gone) releaseCapture();
        for (auto& [id, paint] : openPaints_) {
            if (paint.window == gone) paint.window = 0;
        }
    }
    auto addressedToTree = [&](const Message& m) {
        return std::find(tree.begin(), tree.end(), m.window) != tree.end();
    };
    std::erase_if(posted_, addressedToTree);
    std::erase_if(input_, addressedToTree);
    XDestroyWindow(display_, xid);
    XFlush(display_);
}

void X11WindowSystem::showWindow(NativeWindow window, int command) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return;
    const bool topLevel = rec->parent == 0;
    if (command == kSwHide) {
        rec->visible = false;
        if (topLevel) {
            XWithdrawWindow(display_, rec->xid, screen_);
        } else {
            XUnmapWindow(display_, rec->xid);
        }
        XFlush(display_);
        return;
    }
    if (!topLevel) {
        rec->visible = true;
        XMapWindow(display_, rec->xid);
        return;
    }
    const bool wasVisible = rec->visible;
    rec->visible = true;
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    if (command == kSwMinimize) {
        if (wasVisible) {
            XIconifyWindow(display_, rec->xid, screen_);
        } else {
            // A withdrawn window starts iconic when mapped with that state.
            hints.initial_state = IconicState;
            XSetWMHints(display_, rec->xid, &hints);
            XMapWindow(display_, rec->xid);
        }
    } else {
        hints.initial_state = NormalState;
        XSetWMHints(display_, rec->xid, &hints);
        XMapRaised(display_, rec->xid);
        // Ask the window manager to bring it up from the icon and focus it.
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = rec->xid;
        event.xclient.message_type = atoms_.netActiveWindow;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 1;  // from an application
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
    }
    XFlush(display_);
    if (!rec->sizeSent) {
        rec->sizeSent = true;
        const std::int32_t width = rec->width;
        const std::int32_t height = rec->height;
        const std::int32_t x = rec->x;
        const std::int32_t y = rec->y;
        sendMessage(window, kWmSize, kSizeRestored, makeLParam(width, height));
        sendMessage(window, kWmMove, 0, makeLParam(x, y));
    }
}

void X11WindowSystem::moveWindow(NativeWindow window, std::int32_t x, std::int32_t y) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return;
    rec->x = x;
    rec->y = y;
    XMoveWindow(display_, rec->xid, x, y);
    XRaiseWindow(display_, rec->xid);
}

Rect X11WindowSystem::windowRect(NativeWindow window) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return {};
    std::int32_t left = 0;
    std::int32_t top = 0;
    for (WindowRecord* r = rec; r != nullptr; r = record(r->parent)) {
        left += r->x;
        top += r->y;
    }
    return {left, top, left + rec->width, top + rec->height};
}

Rect X11WindowSystem::clientRect(NativeWindow window) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return {};
    return {0, 0, rec->width, rec->height};
}

Point X11WindowSystem::screenToClient(NativeWindow window, Point screen) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return screen;
    int x = 0;
    int y = 0;
    Window child = None;
    if (XTranslateCoordinates(display_, root_, rec->xid, screen.x, screen.y, &x, &y, &child)) {
        return {x, y};
    }
    const Rect rect = windowRect(window);
    return {screen.x - rect.left, screen.y - rect.top};
}

std::intptr_t X11WindowSystem::windowUserData(NativeWindow window) {
    WindowRecord* rec = record(window);
    return rec ? rec->userData : 0;
}

void X11WindowSystem::setWindowUserData(NativeWindow window, std::intptr_t value) {
    if (WindowRecord* rec = record(window)) rec->userData = value;
}

Size X11WindowSystem::screenSize() {
    if (display_ == nullptr) return {};
    return {DisplayWidth(display_, screen_), DisplayHeight(display_, screen_)};
}

// --- mouse ------------------------------------------------------------------

Point X11WindowSystem::cursorPos() {
    if (display_ == nullptr) return {};
    Window rootReturn = None;
    Window childReturn = None;
    int rootX = 0;
    int rootY = 0;
    int winX = 0;
    int winY = 0;
    unsigned int mask = 0;
    XQueryPointer(display_, root_, &rootReturn, &childReturn, &rootX, &rootY, &winX, &winY, &mask);
    return {rootX, rootY};
}

void X11WindowSystem::setCapture(NativeWindow window) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return;
    XGrabPointer(display_, rec->xid, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                 GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
    capture_ = window;
}

void X11WindowSystem::releaseCapture() {
    if (display_ == nullptr) return;
    XUngrabPointer(display_, CurrentTime);
    XFlush(display_);
    capture_ = 0;
}

// --- painting -----------------------------------------------------------------

NativeWindow X11WindowSystem::topLevelOf(NativeWindow window) {
    while (WindowRecord* rec = record(window)) {
        if (rec->parent == 0) break;
        window = rec->parent;
    }
    return window;
}

bool X11WindowSystem::viewable(NativeWindow window) {
    for (WindowRecord* rec = record(window); rec != nullptr; rec = record(rec->parent)) {
        if (!rec->visible || rec->iconic || rec->destroying) return false;
        if (rec->parent == 0) return true;
    }
    return false;
}

void X11WindowSystem::invalidate(NativeWindow window, bool erase) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return;
    rec->dirty = true;
    rec->erase = rec->erase || erase;
    dirty_.insert(window);
}

void X11WindowSystem::paintTree(NativeWindow window) {
    WindowRecord* rec = record(window);
    if (rec == nullptr) return;
    if (rec->dirty && viewable(window)) sendMessage(window, kWmPaint, 0, 0);
    rec = record(window);
    if (rec == nullptr) return;
    const std::vector<NativeWindow> children = rec->children;
    for (NativeWindow child : children) paintTree(child);
}

void X11WindowSystem::update(NativeWindow window) {
    if (display_ == nullptr) return;
    paintTree(window);
}

PaintContext X11WindowSystem::beginPaint(NativeWindow window) {
    if (WindowRecord* rec = record(window)) {
        if (rec->erase) {
            XClearWindow(display_, rec->xid);
            rec->lastPaintShown = false;
        }
        rec->erase = false;
        rec->dirty = false;
        dirty_.erase(window);
    }
    const std::uintptr_t id = nextPaint_++;
    openPaints_[id].window = window;
    return {window, id};
}

void X11WindowSystem::endPaint(NativeWindow, PaintContext context) {
    auto it = openPaints_.find(context.handle);
    if (it == openPaints_.end()) return;
    OpenPaint paint = std::move(it->second);
    openPaints_.erase(it);
    WindowRecord* rec = record(paint.window);
    if (rec == nullptr) return;
    // Every drawing request is opaque, so repeating the last paint on a
    // window that still shows it would change no pixel.
    if (rec->lastPaintShown && paint.ops == rec->lastPaint) return;
    runPaint(*rec, paint.ops);
    rec->lastPaint = std::move(paint.ops);
    rec->lastPaintShown = true;
}

void X11WindowSystem::runPaint(WindowRecord& rec, const std::vector<PaintOp>& ops) {
    for (const PaintOp& op : ops) {
        switch (op.kind) {
            case PaintOp::Fill:
                XSetForeground(display_, gc_, pixel(op.fill));
                XFillRectangle(display_, rec.xid, gc_, op.rect.left, op.rect.top,
                               static_cast<unsigned>(std::max(0, op.rect.width())),
                               static_cast<unsigned>(std::max(0, op.rect.height())));
                break;
            case PaintOp::RoundRect: {
                const int l = op.rect.left;
                const int t = op.rect.top;
                const int w = op.rect.width();
                const int h = op.rect.height();
                if (w <= 0 || h <= 0) break;
                const int aw = std::clamp(op.ellipseWidth, 1, w);
                const int ah = std::clamp(op.ellipseHeight, 1, h);
                const auto uw = [](int v) { return static_cast<unsigned>(std::max(0, v)); };
                XSetForeground(display_, gc_, pixel(op.fill));
                XFillRectangle(display_, rec.xid, gc_, l + aw / 2, t, uw(w - 2 * (aw / 2)), uw(h));
                XFillRectangle(display_, rec.xid, gc_, l, t + ah / 2, uw(w), uw(h - 2 * (ah / 2)));
                XArc corners[4] = {
                    {static_cast<short>(l), static_cast<short>(t),
                     static_cast<unsigned short>(aw - 1), static_cast<unsigned short>(ah - 1),
                     90 * 64, 90 * 64},
                    {static_cast<short>(l + w - aw), static_cast<short>(t),
                     static_cast<unsigned short>(aw - 1), static_cast<unsigned short>(ah - 1), 0,
                     90 * 64},
                    {static_cast<short>(l), static_cast<short>(t + h - ah),
                     static_cast<unsigned short>(aw - 1), static_cast<unsigned short>(ah - 1),
                     180 * 64, 90 * 64},
                    {static_cast<short>(l + w - aw), static_cast<short>(t + h - ah),
                     static_cast<unsigned short>(aw - 1), static_cast<unsigned short>(ah - 1),
                     270 * 64, 90 * 64},
                };
                XFillArcs(display_, rec.xid, gc_, corners, 4);
                // The pen: one black pixel on the outline.
                XSetForeground(display_, gc_, pixel(0x000000));
                XDrawArcs(display_, rec.xid, gc_, corners, 4);
                XSegment edges[4] = {
                    {static_cast<short>(l + aw / 2), static_cast<short>(t),
                     static_cast<short>(l + w - 1 - aw / 2), static_cast<short>(t)},
                    {static_cast<short>(l + aw / 2), static_cast<short>(t + h - 1),
                     static_cast<short>(l + w - 1 - aw / 2), static_cast<short>(t + h - 1)},
                    {static_cast<short>(l), static_cast<short>(t + ah / 2), static_cast<short>(l),
                     static_cast<short>(t + h - 1 - ah / 2)},
                    {static_cast<short>(l + w - 1), static_cast<short>(t + ah / 2),
                     static_cast<short>(l + w - 1), static_cast<short>(t + h - 1 - ah / 2)},
                };
                XDrawSegments(display_, rec.xid, gc_, edges, 4);
                break;
            }
            case PaintOp::Text:
                if (rec.draw == nullptr) {
                    rec.draw = XftDrawCreate(display_, rec.xid, visual_, colormap_);
                }
                drawTextCell(rec.draw, op.x, op.y, op.text, op.fontHeight, op.textColour,
                             op.background);
                break;
        }
    }
}

void X11WindowSystem::addOp(PaintContext context, PaintOp op) {
    auto it = openPaints_.find(context.handle);
    if (it != openPaints_.end()) it->second.ops.push_back(std::move(op));
}

void X11WindowSystem::fillRect(PaintContext context, Rect rect, Colour colour) {
    PaintOp op;
    op.kind = PaintOp::Fill;
    op.rect = rect;
    op.fill = colour;
    addOp(context, std::move(op));
}

void X11WindowSystem::roundRect(PaintContext context, Rect rect, std::int32_t ellipseWidth,
                                std::int32_t ellipseHeight, Colour fill) {
    PaintOp op;
    op.kind = PaintOp::RoundRect;
    op.rect = rect;
    op.ellipseWidth = ellipseWidth;
    op.ellipseHeight = ellipseHeight;
    op.fill = fill;
    addOp(context, std::move(op));
}

void X11WindowSystem::textOut(PaintContext context, std::int32_t x, std::int32_t y,
                              std::string_view text, std::int32_t fontHeight, Colour textColour,
                              Colour background) {
    if (text.empty()) return;
    PaintOp op;
    op.kind = PaintOp::Text;
    op.x = x;
    op.y = y;
    op.text = std::string(text);
    op.fontHeight = fontHeight;
    op.textColour = textColour;
    op.background = background;
    addOp(context, std::move(op));
}

Size X11WindowSystem::textExtent(PaintContext, std::string_view text, std::int32_t fontHeight) {
    return {textWidth(text, fontHeight), fontHeight};
}

// --- messages -------------------------------------------------------------------

LResult X11WindowSystem::sendMessage(NativeWindow window, std::uint32_t message, WParam wParam,
                                     LParam lParam) {
    WindowRecord* rec = record(window);
    if (rec == nullptr || rec->cls->windowClass.proc == nullptr) return 0;
    return rec->cls->windowClass.proc(window, message, wParam, lParam);
}

void X11WindowSystem::postMessage(NativeWindow window, std::uint32_t message, WParam wParam,
                                  LParam lParam) {
    posted_.push_back({window, message, wParam, lParam});
}

void X11WindowSystem::postQuitMessage(int exitCode) {
    quit_ = exitCode;
}

void X11WindowSystem::drainWakeUps() {
    if (wakePipe_[0] < 0) return;
    char buffer[64];
    while (read(wakePipe_[0], buffer, sizeof buffer) > 0) {
    }
}

void X11WindowSystem::wakeUp() {
    if (wakePipe_[1] < 0) return;
    const char byte = 1;
    // A full pipe already wakes the waiter.
    [[maybe_unused]] ssize_t n = write(wakePipe_[1], &byte, 1);
}

void X11WindowSystem::pump() {
    if (display_ == nullptr) return;
    while (!deferred_.empty()) {
        XEvent event = deferred_.front();
        deferred_.pop_front();
        translate(event);
    }
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        translate(event);
    }
}

void X11WindowSystem::translate(XEvent& event) {
    if (trayEvent(event)) return;
    switch (event.type) {
        case Expose: {
            WindowRecord* rec = record(event.xexpose.window);
            if (rec == nullptr) return;
            // The server has cleared the exposed part to the background.
            rec->lastPaintShown = false;
            rec->dirty = true;
            dirty_.insert(event.xexpose.window);
            return;
        }
        case ButtonPress:
        case ButtonRelease: {
            const XButtonEvent& b = event.xbutton;
            WindowRecord* rec = record(b.window);
            if (rec == nullptr) return;
            const bool press = event.type == ButtonPress;
            const WParam keys = mouseKeyState(b.state, b.button, press);
            std::uint32_t message = 0;
            switch (b.button) {
                case 1:
                    message = press ? kWmLButtonDown : kWmLButtonUp;
                    break;
                case 2:
                    message = press ? kWmMButtonDown : kWmMButtonUp;
                    break;
                case 3:
                    message = press ? kWmRButtonDown : kWmRButtonUp;
                    break;
                case 4:
                case 5: {
                    if (!press) return;
                    // The wheel goes to the top-level window, with screen
                    // coordinates and the delta in the high word.
                    const NativeWindow top = topLevelOf(b.window);
                    const WParam delta = static_cast<std::uint16_t>(b.button == 4 ? 120 : -120);
                    input_.push_back(
                        {top, kWmMouseWheel, (delta << 16) | keys, makeLParam(b.x_root, b.y_root)});
                    return;
                }
                default:
                    return;
            }
            input_.push_back({b.window, message, keys, makeLParam(b.x, b.y)});
            return;
        }
        case MotionNotify: {
            // Only the latest position of a run of moves matters. Only moves
            // that come next are merged, so none overtakes a button or key.
            XEvent next;
            while (deferred_.empty() && XEventsQueued(display_, QueuedAlready) > 0) {
                XPeekEvent(display_, &next);
                if (next.type != MotionNotify || next.xmotion.window != event.xmotion.window) break;
                XNextEvent(display_, &event);
            }
            const XMotionEvent& m = event.xmotion;
            if (record(m.window) == nullptr) return;
            input_.push_back(
                {m.window, kWmMouseMove, mouseKeyState(m.state, 0, false), makeLParam(m.x, m.y)});
            return;
        }
        case KeyPress:
        case KeyRelease: {
            XKeyEvent& k = event.xkey;
            const NativeWindow top = topLevelOf(k.window);
            if (record(top) == nullptr) return;
            const std::uint32_t vk = virtualKeyOfEvent(k);
            if (vk == 0) return;
            const bool press = event.type == KeyPress;
            const bool wasDown = keysDown_.count(vk) != 0;
            if (press) {
                keysDown_.insert(vk);
            } else {
                keysDown_.erase(vk);
            }
            const std::uint32_t scan = (k.keycode > 8 ? k.keycode - 8 : 0) & 0xFF;
            std::uint32_t flags = 1 | (scan << 16);
            if (!press) flags |= 0xC0000000u;
            if (press && wasDown) flags |= 0x40000000u;
            input_.push_back({top, press ? kWmKeyDown : kWmKeyUp, vk, static_cast<LParam>(flags)});
            return;
        }
        case FocusOut:
            // Releases that happen elsewhere never reach this program.
            if (event.xfocus.mode == NotifyNormal) {
                keysDown_.clear();
                messageKeysDown_.clear();
            }
            return;
        case ClientMessage:
            if (event.xclient.message_type == atoms_.wmProtocols &&
                static_cast<Atom>(event.xclient.data.l[0]) == atoms_.wmDeleteWindow &&
                record(event.xclient.window) != nullptr) {
                input_.push_back({event.xclient.window, kWmClose, 0, 0});
            }
            return;
        case ConfigureNotify: {
            WindowRecord* rec = record(event.xconfigure.window);
            if (rec != nullptr && rec->parent == 0)
                translateTopLevelConfigure(*rec, event.xconfigure);
            return;
        }
        case PropertyNotify:
            if (event.xproperty.atom == atoms_.wmState) {
                if (WindowRecord* rec = record(event.xproperty.window)) readWmState(*rec);
            }
            return;
        case MappingNotify:
            XRefreshKeyboardMapping(&event.xmapping);
            if (event.xmapping.request != MappingPointer) numLockMask_ = 0;
            return;
        default:
            return;
    }
}

void X11WindowSystem::translateTopLevelConfigure(WindowRecord& rec, const XConfigureEvent& event) {
    int x = event.x;
    int y = event.y;
    if (!event.send_event) {
        // A real event is relative to the frame the window manager put
        // around the window; ask where the window is on the screen.
        Window child = None;
        XTranslateCoordinates(display_, rec.xid, root_, 0, 0, &x, &y, &child);
    }
    const bool sized = event.width != rec.width || event.height != rec.height;
    const bool moved = x != rec.x || y != rec.y;
    rec.x = x;
    rec.y = y;
    rec.width = event.width;
    rec.height = event.height;
    if (!rec.sizeSent) return;
    const NativeWindow window = rec.xid;
    if (sized)
        input_.push_back({window, kWmSize, kSizeRestored, makeLParam(rec.width, rec.height)});
    if (moved) input_.push_back({window, kWmMove, 0, makeLParam(x, y)});
}

void X11WindowSystem::readWmState(WindowRecord& rec) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    long state = 0;
    if (XGetWindowProperty(display_, rec.xid, atoms_.wmState, 0, 2, False, atoms_.wmState, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
        if (count >= 1 && format == 32) state = reinterpret_cast<long*>(data)[0];
        XFree(data);
    }
    const NativeWindow window = rec.xid;
    if (state == kIconicState && !rec.iconic) {
        rec.iconic = true;
        if (rec.sizeSent) input_.push_back({window, kWmSize, kSizeMinimized, 0});
    } else if (state != kIconicState && rec.iconic) {
        rec.iconic = false;
        if (state == kNormalState && rec.sizeSent) {
            input_.push_back({window, kWmSize, kSizeRestored, makeLParam(rec.width, rec.height)});
        }
    }
}

std::optional<Message> X11WindowSystem::nextMessage(bool remove) {
    pump();
    if (!posted_.empty()) {
        Message m = posted_.front();
        if (remove) posted_.pop_front();
        return m;
    }
    if (quit_) {
        Message m{0, kWmQuit, static_cast<WParam>(*quit_), 0};
        if (remove) quit_.reset();
        return m;
    }
    if (!input_.empty()) {
        Message m = input_.front();
        if (remove) {
            input_.pop_front();
            if (m.message == kWmKeyDown)
                messageKeysDown_.insert(static_cast<std::uint32_t>(m.wParam));
            if (m.message == kWmKeyUp) messageKeysDown_.erase(static_cast<std::uint32_t>(m.wParam));
        }
        return m;
    }
    for (NativeWindow window : dirty_) {
        if (viewable(window)) return Message{window, kWmPaint, 0, 0};
    }
    return std::nullopt;
}

bool X11WindowSystem::peekMessage() {
    return nextMessage(false).has_value();
}

void X11WindowSystem::waitForInput(int timeoutMs) {
    pollfd fds[2];
    nfds_t count = 0;
    if (display_ != nullptr) {
        XFlush(display_);
        if (XPending(display_) > 0 || !deferred_.empty()) return;
        fds[count++] = {ConnectionNumber(display_), POLLIN, 0};
    }
    if (wakePipe_[0] >= 0) fds[count++] = {wakePipe_[0], POLLIN, 0};
    if (count == 0) return;
    // An interruption by a signal returns as well: its handler may have
    // something for the loop to notice.
    poll(fds, count, timeoutMs);
}

bool X11WindowSystem::getMessage(Message& message) {
    for (;;) {
        if (auto next = nextMessage(true)) {
            message = *next;
            return message.message != kWmQuit;
        }
        waitForInput(-1);
        drainWakeUps();
    }
}

bool X11WindowSystem::waitMessage(int timeoutMs) {
    if (peekMessage()) return true;
    // A wake-up byte left in the pipe ends the wait at once.
    waitForInput(timeoutMs);
    drainWakeUps();
    return peekMessage();
}

LResult X11WindowSystem::dispatchMessage(const Message& message) {
    return sendMessage(message.window, message.message, message.wParam, message.lParam);
}

LResult X11WindowSystem::defWindowProc(NativeWindow window, std::uint32_t message, WParam, LParam) {
    switch (message) {
        case kWmClose:
            destroyWindow(window);
            return 0;
        case kWmPaint:
            if (WindowRecord* rec = record(window)) {
                rec->dirty = false;
                dirty_.erase(window);
            }
            return 0;
        default:
            return 0;
    }
}

bool X11WindowSystem::nextModalEvent(XEvent& event, int timeoutMs) {
    for (;;) {
        if (XPending(display_) > 0) {
            XNextEvent(display_, &event);
            return true;
        }
        XFlush(display_);
        pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        const int ready = poll(fds, wakePipe_[0] >= 0 ? 2 : 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        // A wake-up ends the modal loop; the byte stays for the main wait.
        if (wakePipe_[0] >= 0 && (fds[1].revents & POLLIN)) return false;
    }
}

}  // namespace x11
}  // namespace platform
