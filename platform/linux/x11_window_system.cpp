// The X11 window system (Xlib, Xft, fontconfig), one X window per toolkit
// window: the backend's entry point, and opening and closing the display.
#include <X11/XKBlib.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/linux/x11_internal.h"
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

// Errors about windows that went away meanwhile (a tray host that quit, a
// destroyed window) are expected; the default handler would end the program.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

// The X server went away (it was stopped, or the session ended). Xlib ends
// the process after this handler, so what must not be lost is saved here.
int onConnectionLost(Display*) {
    platform::runLastChanceHandler();
    std::fprintf(stderr, "tarvel: the connection to the display was lost\n");
    std::_Exit(1);
}

}  // namespace

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
    // No GraphicsExpose or NoExpose event after each copy of a paint buffer.
    XGCValues values{};
    values.graphics_exposures = False;
    gc_ = XCreateGC(display_, root_, GCGraphicsExposures, &values);

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
                           traySelection.c_str(),
                           "_TARVEL_COMMAND"};
    constexpr int kCount = sizeof(names) / sizeof(names[0]);
    Atom atoms[kCount];
    XInternAtoms(display_, const_cast<char**>(names), kCount, False, atoms);
    atoms_ = {atoms[0],  atoms[1],  atoms[2],  atoms[3],  atoms[4],  atoms[5],
              atoms[6],  atoms[7],  atoms[8],  atoms[9],  atoms[10], atoms[11],
              atoms[12], atoms[13], atoms[14], atoms[15], atoms[16]};
}

X11WindowSystem::~X11WindowSystem() {
    sni_.reset();
    if (display_ != nullptr) {
        for (auto& [handle, rec] : windows_) releaseDrawing(rec);
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

}  // namespace x11
}  // namespace platform
