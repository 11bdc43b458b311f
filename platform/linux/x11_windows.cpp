// The window tree of the X11 window system: classes, one X window and record
// per toolkit window, creating, showing, moving and destroying, geometry, and
// the pointer and its capture.
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>

#include <algorithm>
#include <vector>

#include "platform/linux/x11_internal.h"

namespace platform::x11 {

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
    unsigned long mask = CWBorderPixel | CWEventMask;
    // A double-buffered window covers itself whole at every paint: a background of its own
    // would only flash between an exposure and the next paint.
    if (cls->second.windowClass.doubleBuffered) {
        attributes.background_pixmap = None;
        mask |= CWBackPixmap;
    } else {
        mask |= CWBackPixel;
    }
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
        if (WindowRecord* r = record(gone)) releaseDrawing(*r);
        windows_.erase(gone);
        dirty_.erase(gone);
        if (capture_ == gone) releaseCapture();
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

Rect X11WindowSystem::workArea() {
    const Size screen = screenSize();
    Rect area{0, 0, screen.cx, screen.cy};
    if (display_ == nullptr) return area;
    // The window manager's _NET_WORKAREA holds x, y, width and height for each desktop.
    auto cardinals = [&](const char* name) {
        std::vector<long> values;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, root_, XInternAtom(display_, name, False), 0, 1024, False,
                               XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
            data != nullptr && format == 32) {
            const long* longs = reinterpret_cast<const long*>(data);
            values.assign(longs, longs + count);
        }
        if (data != nullptr) XFree(data);
        return values;
    };
    const std::vector<long> desktop = cardinals("_NET_CURRENT_DESKTOP");
    const std::vector<long> areas = cardinals("_NET_WORKAREA");
    const std::size_t at = desktop.empty() ? 0 : 4 * static_cast<std::size_t>(desktop[0]);
    if (at + 4 > areas.size() || areas[at + 2] <= 0 || areas[at + 3] <= 0) return area;
    const Rect work{static_cast<std::int32_t>(areas[at]), static_cast<std::int32_t>(areas[at + 1]),
                    static_cast<std::int32_t>(areas[at] + areas[at + 2]),
                    static_cast<std::int32_t>(areas[at + 1] + areas[at + 3])};
    // Kept on the primary screen.
    const Rect clipped{std::max(work.left, area.left), std::max(work.top, area.top),
                       std::min(work.right, area.right), std::min(work.bottom, area.bottom)};
    return clipped.width() > 0 && clipped.height() > 0 ? clipped : area;
}

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

}  // namespace platform::x11
