// XSession: Xvfb started with -displayfd, helpers on an observer connection.
#include "tests/support/x_session.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/support/support.h"

namespace uitest {

using namespace std::chrono_literals;

namespace {

// Starts a program with its output discarded; it gets SIGKILL when the test
// process dies. `keepFd` stays open in the child (-1: none).
int spawn(const std::vector<std::string>& argv, int keepFd = -1) {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(126);
    const int devnull = open("/dev/null", O_RDWR);
    if (devnull >= 0) {
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
    }
    for (int fd = 3; fd < 1024; ++fd) {
        if (fd != keepFd) close(fd);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

// The observer walks and inspects windows that belong to other clients, and
// any of them can be destroyed between listing and asking about it (a second
// program copy exiting, a menu closing). Xlib's default handler would end the
// whole test on that BadWindow; the helpers see the failed call instead.
int tolerateVanishedWindows(Display*, XErrorEvent* error) {
    if (error->error_code != BadWindow && error->error_code != BadDrawable &&
        error->error_code != BadMatch) {
        char text[128] = {};
        XGetErrorText(error->display, error->error_code, text, sizeof text);
        fprintf(stderr, "X error on the observer connection: %s (request %d)\n", text,
                error->request_code);
    }
    return 0;
}

void stop(int& pid) {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
}

}  // namespace

XSession::XSession(bool windowManager) {
    int fds[2];
    if (pipe(fds) != 0) return;
    xvfbPid_ = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-nolisten", "tcp",
                      "-screen", "0", "1024x768x24"},
                     fds[1]);
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    close(fds[0]);
    if (number.empty()) return;
    display_ = ":" + number;
    displayEnv_.emplace("DISPLAY", display_);
    busEnv_.emplace("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tarvel-test-bus");
    runtimeEnv_.emplace("XDG_RUNTIME_DIR", runtime_.path());
    XSetErrorHandler(tolerateVanishedWindows);
    observer_ = XOpenDisplay(display_.c_str());
    if (observer_ == nullptr) return;
    if (windowManager) {
        windowManagerPid_ = spawn({"openbox", "--sm-disable"});
        // The manager is up once it frames a window that asks to be mapped;
        // a map request that comes while it is still starting can go unheard,
        // so the probe asks again until it is framed.
        const Window root = DefaultRootWindow(observer_);
        const Window probe = XCreateSimpleWindow(observer_, root, 0, 0, 10, 10, 0, 0, 0);
        testsupport::waitUntil(
            [&] {
                XMapWindow(observer_, probe);
                XSync(observer_, False);
                testsupport::sleepMs(50);
                Window rootReturn = None;
                Window parent = None;
                Window* children = nullptr;
                unsigned int count = 0;
                XQueryTree(observer_, probe, &rootReturn, &parent, &children, &count);
                if (children != nullptr) XFree(children);
                return parent != root;
            },
            10s);
        XDestroyWindow(observer_, probe);
        XSync(observer_, False);
    }
}

XSession::~XSession() {
    stop(trayHostPid_);
    stop(windowManagerPid_);
    if (observer_ != nullptr) XCloseDisplay(observer_);
    stop(xvfbPid_);
}

void XSession::startTrayHost() {
    trayHostPid_ = spawn({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                          "--height", "24"});
    const Atom selection = XInternAtom(observer_, "_NET_SYSTEM_TRAY_S0", False);
    testsupport::waitUntil([&] { return XGetSelectionOwner(observer_, selection) != None; }, 10s);
}

void XSession::stopTrayHost() {
    stop(trayHostPid_);
    const Atom selection = XInternAtom(observer_, "_NET_SYSTEM_TRAY_S0", False);
    testsupport::waitUntil([&] { return XGetSelectionOwner(observer_, selection) == None; }, 10s);
}

Rgb XSession::pixel(int x, int y) {
    const std::vector<Rgb> one = grab(x, y, 1, 1);
    return one.empty() ? Rgb{-1, -1, -1} : one.front();
}

std::vector<Rgb> XSession::grab(int x, int y, int w, int h) {
    std::vector<Rgb> out;
    XImage* image =
        XGetImage(observer_, DefaultRootWindow(observer_), x, y, static_cast<unsigned>(w),
                  static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (image == nullptr) return out;
    out.reserve(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            const unsigned long p = XGetPixel(image, i, j);
            out.push_back({static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
                           static_cast<int>(p & 0xFF)});
        }
    }
    XDestroyImage(image);
    return out;
}

std::pair<int, int> XSession::origin(Window window) {
    int x = 0;
    int y = 0;
    Window child = None;
    XTranslateCoordinates(observer_, window, DefaultRootWindow(observer_), 0, 0, &x, &y, &child);
    return {x, y};
}

namespace {

// Adds the windows of the tree below `w` named `name` and at least minWidth
// wide to `out`; with `firstOnly` it stops at the first one.
void collectNamed(Display* d, Window w, const std::string& name, int minWidth, bool firstOnly,
                  std::vector<Window>& out) {
    // WM_NAME read as window lists read it: converted from its type (STRING, compound text).
    XTextProperty text{};
    char** list = nullptr;
    int listed = 0;
    if (XGetWMName(d, w, &text) && text.value != nullptr) {
        if (Xutf8TextPropertyToTextList(d, &text, &list, &listed) >= Success && listed > 0) {
            XWindowAttributes a;
            if (name == list[0] &&
                (minWidth <= 0 || (XGetWindowAttributes(d, w, &a) && a.width >= minWidth))) {
                out.push_back(w);
            }
            XFreeStringList(list);
        }
        XFree(text.value);
        if (firstOnly && !out.empty()) return;
    }
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &count)) return;
    for (unsigned int i = 0; i < count && !(firstOnly && !out.empty()); ++i) {
        collectNamed(d, children[i], name, minWidth, firstOnly, out);
    }
    if (children != nullptr) XFree(children);
}

}  // namespace

Window XSession::findByName(const std::string& name) {
    std::vector<Window> found;
    collectNamed(observer_, DefaultRootWindow(observer_), name, 0, true, found);
    return found.empty() ? None : found.front();
}

std::vector<Window> XSession::findAllByName(const std::string& name, int minWidth) {
    std::vector<Window> found;
    collectNamed(observer_, DefaultRootWindow(observer_), name, minWidth, false, found);
    return found;
}

bool XSession::viewable(Window window) {
    XWindowAttributes a;
    return window != None && XGetWindowAttributes(observer_, window, &a) &&
           a.map_state == IsViewable;
}

Window XSession::findPopup() {
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = None;
    if (!XQueryTree(observer_, DefaultRootWindow(observer_), &root, &parent, &children, &count)) {
        return None;
    }
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(observer_, children[i], &a) && a.override_redirect &&
            a.map_state == IsViewable && a.width >= 50) {
            found = children[i];
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

Window XSession::openPopupAt(int x, int y) {
    Window popup = None;
    for (int attempt = 0; attempt < 4 && popup == None; ++attempt) {
        click(x, y, 3);
        testsupport::waitUntil([&] { return (popup = findPopup()) != None; }, 5000ms);
    }
    return popup;
}

void XSession::moveTo(int x, int y) {
    XTestFakeMotionEvent(observer_, 0, x, y, CurrentTime);
    XSync(observer_, False);
}

void XSession::button(unsigned int button, bool press) {
    XTestFakeButtonEvent(observer_, button, press ? True : False, CurrentTime);
    XSync(observer_, False);
}

void XSession::click(int x, int y, unsigned int button) {
    moveTo(x, y);
    this->button(button, true);
    this->button(button, false);
}

void XSession::key(unsigned long keysym, bool press) {
    XTestFakeKeyEvent(observer_, XKeysymToKeycode(observer_, keysym), press ? True : False,
                      CurrentTime);
    XSync(observer_, False);
}

bool XSession::keyDown(unsigned long keysym) {
    char keys[32];
    XQueryKeymap(observer_, keys);
    const KeyCode code = XKeysymToKeycode(observer_, keysym);
    return (keys[code / 8] >> (code % 8)) & 1;
}

void XSession::requestClose(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(observer_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(observer_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(observer_, window, False, NoEventMask, &event);
    XSync(observer_, False);
}

}  // namespace uitest
