// The X11 tray icon: a StatusNotifierItem (sni_tray.cpp) while a watcher on
// the session bus shows it, else an XEmbed system-tray client that docks with
// whatever tray host owns the _NET_SYSTEM_TRAY_S<screen> selection, follows
// hosts that come and go, draws the program icon and turns presses into
// callbacks.
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>

#include "platform/linux/x11_icon_data.h"
#include "platform/linux/x11_internal.h"

namespace platform::x11 {

namespace {

constexpr long kSystemTrayRequestDock = 0;
constexpr long kXembedVersion = 0;
constexpr long kXembedMapped = 1;
constexpr int kMinimumIconSide = 22;
// How long adding the icon waits for the session bus to say whether a
// StatusNotifierWatcher takes it.
constexpr int kFirstAnswerMs = 1000;
// The colour behind the icon where the picture is transparent.
constexpr std::uint32_t kIconBackdrop = 0x191919;  // 0xRRGGBB
// A grey, so it is also the window background's 0x00BBGGRR colour.
static_assert(((kIconBackdrop >> 16) & 0xFF) == (kIconBackdrop & 0xFF));

// A pixel value of a true-colour visual, from 8-bit channels.
unsigned long trueColourPixel(const Visual* visual, std::uint32_t r, std::uint32_t g,
                              std::uint32_t b) {
    auto place = [](unsigned long mask, std::uint32_t value) -> unsigned long {
        if (mask == 0) return 0;
        int shift = 0;
        while (((mask >> shift) & 1) == 0) ++shift;
        int bits = 0;
        while (((mask >> (shift + bits)) & 1) != 0) ++bits;
        const unsigned long scaled =
            bits >= 8 ? (static_cast<unsigned long>(value) << (bits - 8)) : (value >> (8 - bits));
        return (scaled << shift) & mask;
    };
    return place(visual->red_mask, r) | place(visual->green_mask, g) | place(visual->blue_mask, b);
}

}  // namespace

bool X11WindowSystem::addTrayIcon(const TrayIcon& icon) {
    if (display_ == nullptr || tray_.added) return false;
    tray_ = Tray{};
    tray_.added = true;
    tray_.icon = icon;
    // An XEmbed host announces itself with a MANAGER message to the root
    // window.
    XWindowAttributes rootAttributes;
    XGetWindowAttributes(display_, root_, &rootAttributes);
    XSelectInput(display_, root_, rootAttributes.your_event_mask | StructureNotifyMask);
    findTrayManager();
    // The XEmbed icon waits for the bus's first answer, so that a desktop
    // with both kinds of tray does not show it for a moment. That answer
    // normally takes milliseconds: it is awaited briefly, so that
    // trayAvailable() is right at once (a start in the tray asks it next);
    // a slower watcher is followed from the message loop.
    sni_ = std::make_unique<sni::SniTray>(*this, [this] { updateTrayKind(); });
    if (sni_->start(icon, trayMenu_)) {
        sni_->awaitFirstAnswer(kFirstAnswerMs);
    } else {
        sni_.reset();
    }
    updateTrayKind();
    return true;
}

void X11WindowSystem::updateTrayKind() {
    if (!tray_.added) return;
    const bool xembed = !sni_ || (!sni_->deciding() && !sni_->shown());
    if (!xembed && tray_.window != None) {
        // The host notices the destruction and drops the icon.
        XDestroyWindow(display_, tray_.window);
        XFlush(display_);
        tray_.window = None;
    }
    if (!xembed || tray_.window != None) return;

    XSetWindowAttributes attributes{};
    attributes.background_pixel = pixel(kIconBackdrop);
    attributes.event_mask =
        ButtonPressMask | ButtonReleaseMask | ExposureMask | StructureNotifyMask;
    tray_.window =
        XCreateWindow(display_, root_, 0, 0, kMinimumIconSide, kMinimumIconSide, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
    // The tip: tray hosts and their tooltips show the icon window's name.
    setUtf8Name(tray_.window, tray_.icon.tip);
    setClassHint(tray_.window, "tarvel-tray");
    long info[2] = {kXembedVersion, kXembedMapped};
    XChangeProperty(display_, tray_.window, atoms_.xembedInfo, atoms_.xembedInfo, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(info), 2);
    // Without a minimum size some hosts give the icon a single pixel column.
    XSizeHints size{};
    size.flags = PMinSize | PBaseSize;
    size.min_width = size.base_width = kMinimumIconSide;
    size.min_height = size.base_height = kMinimumIconSide;
    XSetWMNormalHints(display_, tray_.window, &size);
    tray_.width = tray_.height = kMinimumIconSide;
    dockTrayIcon();
}

void X11WindowSystem::setTrayMenu(NativeWindow, std::uint32_t, const PopupMenu& menu) {
    trayMenu_ = menu.items;
    if (sni_) sni_->setMenu(trayMenu_);
}

void X11WindowSystem::findTrayManager() {
    // Watching the owner for its end, then asking again, closes the gap in
    // which it could quit unnoticed without grabbing the whole server.
    tray_.manager = None;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const Window owner = XGetSelectionOwner(display_, atoms_.traySelection);
        if (owner != None) XSelectInput(display_, owner, StructureNotifyMask);
        if (XGetSelectionOwner(display_, atoms_.traySelection) == owner) {
            tray_.manager = owner;
            break;
        }
    }
    XFlush(display_);
}

void X11WindowSystem::dockTrayIcon() {
    if (tray_.manager == None || tray_.window == None) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = tray_.manager;
    event.xclient.message_type = atoms_.trayOpcode;
    event.xclient.format = 32;
    event.xclient.data.l[0] = CurrentTime;
    event.xclient.data.l[1] = kSystemTrayRequestDock;
    event.xclient.data.l[2] = static_cast<long>(tray_.window);
    XSendEvent(display_, tray_.manager, False, NoEventMask, &event);
    XFlush(display_);
}

void X11WindowSystem::removeTrayIcon(NativeWindow, std::uint32_t id) {
    if (display_ == nullptr || !tray_.added || tray_.icon.id != id) return;
    sni_.reset();
    if (tray_.window != None) {
        XDestroyWindow(display_, tray_.window);
        XFlush(display_);
    }
    tray_ = Tray{};
}

bool X11WindowSystem::trayAvailable() {
    if (!tray_.added) return false;
    if (sni_ && sni_->shown()) return true;
    return tray_.window != None && tray_.manager != None;
}

bool X11WindowSystem::trayEvent(XEvent& event) {
    const Window window = event.xany.window;
    if (window == root_) {
        if (event.type == ClientMessage && event.xclient.message_type == atoms_.manager &&
            static_cast<Atom>(event.xclient.data.l[1]) == atoms_.traySelection && tray_.added) {
            findTrayManager();
            dockTrayIcon();
        }
        return true;
    }
    if (event.type == DestroyNotify && tray_.manager != None &&
        event.xdestroywindow.window == tray_.manager) {
        tray_.manager = None;
        return true;
    }
    if (!tray_.added || window != tray_.window) return false;

    switch (event.type) {
        case ReparentNotify:
            // A host that quits hands the icon back to the root window; it
            // must not show there as a stray little window.
            if (event.xreparent.parent == root_) XUnmapWindow(display_, tray_.window);
            break;
        case ConfigureNotify:
            tray_.width = event.xconfigure.width;
            tray_.height = event.xconfigure.height;
            break;
        case Expose:
            if (event.xexpose.count == 0) drawIcon(tray_.window, tray_.width, tray_.height);
            break;
        case ButtonPress:
        case ButtonRelease: {
            const bool press = event.type == ButtonPress;
            std::uint32_t mouse = 0;
            if (event.xbutton.button == 1) mouse = press ? kWmLButtonDown : kWmLButtonUp;
            if (event.xbutton.button == 3) mouse = press ? kWmRButtonDown : kWmRButtonUp;
            if (mouse != 0) {
                postMessage(tray_.icon.window, tray_.icon.callbackMessage, tray_.icon.id, mouse);
            }
            break;
        }
        default:
            break;
    }
    return true;
}

void X11WindowSystem::drawIcon(Window window, int width, int height) {
    const int side = std::max(1, std::min(width, height));
    const std::vector<std::uint32_t> argb = programIcon(side);
    XImage* image = XCreateImage(
        display_, visual_, static_cast<unsigned>(DefaultDepth(display_, screen_)), ZPixmap, 0,
        nullptr, static_cast<unsigned>(side), static_cast<unsigned>(side), 32, 0);
    if (image == nullptr) return;
    image->data = static_cast<char*>(
        malloc(static_cast<std::size_t>(image->bytes_per_line) * static_cast<std::size_t>(side)));
    if (image->data == nullptr) {
        XDestroyImage(image);
        return;
    }
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const std::uint32_t p = argb[static_cast<std::size_t>(y * side + x)];
            const std::uint32_t a = p >> 24;
            auto blend = [&](int shift) {
                const std::uint32_t fg = (p >> shift) & 0xFF;
                const std::uint32_t bg = (kIconBackdrop >> shift) & 0xFF;
                return (fg * a + bg * (255 - a) + 127) / 255;
            };
            XPutPixel(image, x, y, trueColourPixel(visual_, blend(16), blend(8), blend(0)));
        }
    }
    XClearWindow(display_, window);
    XPutImage(display_, window, gc_, image, 0, 0, (width - side) / 2, (height - side) / 2,
              static_cast<unsigned>(side), static_cast<unsigned>(side));
    XDestroyImage(image);
    XFlush(display_);
}

}  // namespace platform::x11
