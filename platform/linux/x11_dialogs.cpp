// The X11 popup menu and message box: small windows of their own, each run by
// a modal loop that keeps the other windows' events for the main queue. While
// either is open the program goes on through its modal hook.
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/linux/x11_internal.h"
#include "platform/modal_idle.h"

namespace platform::x11 {

namespace {

constexpr std::int32_t kMenuFont = 16;
constexpr std::int32_t kMenuItemHeight = 24;
constexpr std::int32_t kMenuPadding = 20;
constexpr std::int32_t kMenuMinWidth = 100;
constexpr Colour kMenuFace = 0xF0F0F0;
constexpr Colour kMenuText = 0x000000;
constexpr Colour kMenuHighlight = 0xD77800;  // RGB(0,120,215)
constexpr Colour kMenuHighlightText = 0xFFFFFF;
constexpr Colour kMenuBorder = 0x808080;

constexpr std::int32_t kBoxFont = 16;
constexpr std::int32_t kBoxButtonWidth = 88;
constexpr std::int32_t kBoxButtonHeight = 26;

bool isPointerEvent(int type) {
    return type == ButtonPress || type == ButtonRelease || type == MotionNotify ||
           type == EnterNotify || type == LeaveNotify;
}

}  // namespace

bool X11WindowSystem::takePopupEvent(const XEvent& event) {
    if (popup_ == None) return false;
    if (event.xany.window != popup_ && !isPointerEvent(event.type) && event.type != KeyPress &&
        event.type != KeyRelease) {
        return false;
    }
    popupEvents_.push_back(event);
    return true;
}

void X11WindowSystem::forgetKey(XKeyEvent& event) {
    const std::uint32_t vk = virtualKeyOfEvent(event);
    keysDown_.erase(vk);
    messageKeysDown_.erase(vk);
}

bool X11WindowSystem::nextPopupEvent(XEvent& event) {
    while (popupEvents_.empty()) {
        // The program's turn: repaints, one pass.
        const ModalTurn turn = modalIdle();
        if (turn.end) return false;
        pump();
        if (popupEvents_.empty()) {
            waitForInput(turn.waitMs);
            drainWakeUps();
            pump();
        }
    }
    event = popupEvents_.front();
    popupEvents_.pop_front();
    return true;
}

std::uint32_t X11WindowSystem::trackPopupMenu(NativeWindow owner, const PopupMenu& menu, Point at) {
    if (display_ == nullptr || menu.items.empty()) return 0;
    std::int32_t width = kMenuMinWidth;
    for (const MenuItem& item : menu.items) {
        width = std::max(width, textWidth(item.text, kMenuFont) + 2 * kMenuPadding);
    }
    const auto count = static_cast<std::int32_t>(menu.items.size());
    const std::int32_t height = count * kMenuItemHeight;
    // Kept on the screen: opened upwards or leftwards near the far edges
    // (border included).
    const Size screen = screenSize();
    std::int32_t x = at.x;
    std::int32_t y = at.y;
    if (x + width + 2 > screen.cx) x = std::max(0, screen.cx - width - 2);
    if (y + height + 2 > screen.cy) y = std::max(0, at.y - height - 2);

    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.save_under = True;
    attributes.background_pixel = pixel(kMenuFace);
    attributes.border_pixel = pixel(kMenuBorder);
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            LeaveWindowMask | KeyPressMask;
    const Window window = XCreateWindow(
        display_, root_, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 1,
        CopyFromParent, InputOutput, CopyFromParent,
        CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    XChangeProperty(display_, window, atoms_.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&atoms_.netWmWindowTypePopupMenu), 1);
    XMapRaised(display_, window);
    XftDraw* draw = XftDrawCreate(display_, window, visual_, colormap_);
    const Cursor arrow = arrowCursor();

    // Another client may still hold a grab for a moment (the tray host during
    // the click that opened the menu): retry briefly. Every key goes to the
    // menu, whichever window has the focus.
    bool grabbedPointer = false;
    bool grabbedKeyboard = false;
    for (int attempt = 0; attempt < 50 && !(grabbedPointer && grabbedKeyboard); ++attempt) {
        if (!grabbedPointer) {
            grabbedPointer =
                XGrabPointer(display_, window, True,
                             ButtonPressMask | ButtonReleaseMask | PointerMotionMask, GrabModeAsync,
                             GrabModeAsync, None, arrow, CurrentTime) == GrabSuccess;
        }
        if (!grabbedKeyboard) {
            grabbedKeyboard = XGrabKeyboard(display_, window, False, GrabModeAsync, GrabModeAsync,
                                            CurrentTime) == GrabSuccess;
        }
        if (!(grabbedPointer && grabbedKeyboard)) usleep(4000);
    }
    capture_ = 0;

    int hover = -1;
    auto paint = [&] {
        for (int i = 0; i < count; ++i) {
            const bool lit = i == hover;
            const Colour face = lit ? kMenuHighlight : kMenuFace;
            XftDrawRect(draw, xftColour(face), 0, i * kMenuItemHeight, static_cast<unsigned>(width),
                        kMenuItemHeight);
            drawTextCell(draw, kMenuPadding,
                         i * kMenuItemHeight + (kMenuItemHeight - kMenuFont) / 2,
                         menu.items[static_cast<std::size_t>(i)].text, kMenuFont,
                         lit ? kMenuHighlightText : kMenuText, face);
        }
        XFlush(display_);
    };
    auto itemAt = [&](int px, int py) {
        if (px < 0 || px >= width || py < 0 || py >= height) return -1;
        return py / kMenuItemHeight;
    };

    std::uint32_t chosen = 0;
    bool open = true;
    // Reading the X connection, here or in the program's message handling,
    // sets the menu's events aside for it.
    popup_ = window;
    XEvent event;
    while (open && nextPopupEvent(event)) {
        if (event.type == KeyRelease) forgetKey(event.xkey);
        if (event.xany.window != window && event.type != KeyPress) {
            // A press on any other window of the program closes the menu and
            // is used up; other pointer input is dropped while it is open.
            if (event.type == ButtonPress) open = false;
            continue;
        }
        switch (event.type) {
            case Expose:
                if (event.xexpose.count == 0) paint();
                break;
            case MotionNotify: {
                const int item = itemAt(event.xmotion.x, event.xmotion.y);
                if (item != hover) {
                    hover = item;
                    paint();
                }
                break;
            }
            case LeaveNotify:
                if (hover != -1) {
                    hover = -1;
                    paint();
                }
                break;
            case ButtonPress: {
                // Acting on the press: the release of the click that opened
                // the menu must not close it. A press outside the menu (the
                // grab reports it here) closes it.
                const int item = itemAt(event.xbutton.x, event.xbutton.y);
                if (item >= 0) chosen = menu.items[static_cast<std::size_t>(item)].id;
                open = false;
                break;
            }
            case KeyPress: {
                const KeySym key = XLookupKeysym(&event.xkey, 0);
                if (key == XK_Escape) {
                    open = false;
                } else if (key == XK_Down) {
                    hover = (hover + 1) % count;
                    paint();
                } else if (key == XK_Up) {
                    hover = hover <= 0 ? count - 1 : hover - 1;
                    paint();
                } else if ((key == XK_Return || key == XK_KP_Enter) && hover >= 0) {
                    chosen = menu.items[static_cast<std::size_t>(hover)].id;
                    open = false;
                }
                break;
            }
            default:
                break;
        }
    }
    popup_ = None;
    // The rest of the menu's input is dropped, but a key let go of while it
    // had the keyboard is up for the program too.
    for (XEvent& event : popupEvents_) {
        if (event.type == KeyRelease) forgetKey(event.xkey);
    }
    popupEvents_.clear();

    // The keyboard and pointer are the program's again when the menu returns:
    // the next key goes to its windows. What came to the menu before the
    // server let go is read as input for no window of the program.
    XUngrabKeyboard(display_, CurrentTime);
    XUngrabPointer(display_, CurrentTime);
    XftDrawDestroy(draw);
    XDestroyWindow(display_, window);
    XSync(display_, False);
    if (chosen != 0) postMessage(owner, kWmCommand, chosen, 0);
    return chosen;
}

int X11WindowSystem::messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                                std::uint32_t) {
    if (display_ == nullptr) {
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
        return kIdOk;
    }
    // One row per line of the text, each centred; a line too wide for the screen is broken at
    // its spaces, as Windows's box does.
    const Size screen = screenSize();
    const std::int32_t widest = std::clamp(screen.cx - 96, 200, 720);
    std::vector<std::string_view> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string_view rest = text.substr(start, end - start);
        for (;;) {
            std::size_t cut = rest.size();
            while (textWidth(rest.substr(0, cut), kBoxFont) > widest) {
                const std::size_t space = rest.rfind(' ', cut - 1);
                if (space == std::string_view::npos || space == 0) break;
                cut = space;
            }
            lines.push_back(rest.substr(0, cut));
            if (cut >= rest.size()) break;
            rest.remove_prefix(cut + 1);
        }
        if (end == text.size()) break;
        start = end + 1;
    }
    constexpr std::int32_t kLinePitch = kBoxFont + 6;
    std::int32_t textW = 0;
    for (std::string_view line : lines) textW = std::max(textW, textWidth(line, kBoxFont));
    const auto rows = static_cast<std::int32_t>(lines.size());
    const std::int32_t width = std::max(240, textW + 64);
    const std::int32_t height = 24 + rows * kLinePitch - 6 + 24 + kBoxButtonHeight + 16;
    const std::int32_t x = (screen.cx - width) / 2;
    const std::int32_t y = (screen.cy - height) / 2;
    const Rect button{(width - kBoxButtonWidth) / 2, height - 16 - kBoxButtonHeight,
                      (width + kBoxButtonWidth) / 2, height - 16};

    XSetWindowAttributes attributes{};
    attributes.background_pixel = pixel(kMenuFace);
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | KeyPressMask |
                            KeyReleaseMask | StructureNotifyMask;
    const Window window = XCreateWindow(
        display_, root_, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
        CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
    setUtf8Name(window, caption);
    Atom protocols[] = {atoms_.wmDeleteWindow};
    XSetWMProtocols(display_, window, protocols, 1);
    XChangeProperty(display_, window, atoms_.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&atoms_.netWmWindowTypeDialog), 1);
    XSizeHints size{};
    size.flags = USPosition | PMinSize | PMaxSize;
    size.x = x;
    size.y = y;
    size.min_width = size.max_width = width;
    size.min_height = size.max_height = height;
    XSetWMNormalHints(display_, window, &size);
    if (WindowRecord* rec = record(owner)) XSetTransientForHint(display_, window, rec->xid);
    XMapRaised(display_, window);
    XftDraw* draw = XftDrawCreate(display_, window, visual_, colormap_);

    bool pressed = false;
    auto paint = [&] {
        for (std::int32_t row = 0; row < rows; ++row) {
            const std::string_view line = lines[static_cast<std::size_t>(row)];
            drawTextCell(draw, (width - textWidth(line, kBoxFont)) / 2, 24 + row * kLinePitch, line,
                         kBoxFont, 0x000000, kMenuFace);
        }
        XSetForeground(display_, gc_, pixel(pressed ? 0xC0C0C0 : 0xE1E1E1));
        XFillRectangle(display_, window, gc_, button.left, button.top,
                       static_cast<unsigned>(button.width()),
                       static_cast<unsigned>(button.height()));
        XSetForeground(display_, gc_, pixel(0x7A7A7A));
        XDrawRectangle(display_, window, gc_, button.left, button.top,
                       static_cast<unsigned>(button.width() - 1),
                       static_cast<unsigned>(button.height() - 1));
        const std::int32_t okW = textWidth("OK", kBoxFont);
        drawTextCell(draw, button.left + (button.width() - okW) / 2,
                     button.top + (button.height() - kBoxFont) / 2, "OK", kBoxFont, 0x000000,
                     pressed ? 0xC0C0C0 : 0xE1E1E1);
        XFlush(display_);
    };
    auto onButton = [&](int px, int py) {
        return px >= button.left && px < button.right && py >= button.top && py < button.bottom;
    };

    // As with the menu: reading the X connection, here or in the program's message handling,
    // sets the box's events and every key and pointer event aside for it, and the program goes
    // on (repaints, passes) through its modal hook while the box waits.
    bool open = true;
    popup_ = window;
    XEvent event;
    while (open && nextPopupEvent(event)) {
        if (event.type == KeyRelease) forgetKey(event.xkey);
        // The box is modal: pointer input to the program's other windows is dropped.
        if (event.xany.window != window && event.type != KeyPress) continue;
        switch (event.type) {
            case Expose:
                if (event.xexpose.count == 0) paint();
                break;
            case MapNotify:
                XSetInputFocus(display_, window, RevertToParent, CurrentTime);
                break;
            case ButtonPress:
                if (event.xbutton.button == 1 && onButton(event.xbutton.x, event.xbutton.y)) {
                    pressed = true;
                    paint();
                }
                break;
            case ButtonRelease:
                if (event.xbutton.button == 1 && pressed) {
                    pressed = false;
                    paint();
                    if (onButton(event.xbutton.x, event.xbutton.y)) open = false;
                }
                break;
            case KeyPress: {
                const KeySym key = XLookupKeysym(&event.xkey, 0);
                if (key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space) {
                    open = false;
                }
                break;
            }
            case ClientMessage:
                if (event.xclient.message_type == atoms_.wmProtocols &&
                    static_cast<Atom>(event.xclient.data.l[0]) == atoms_.wmDeleteWindow) {
                    open = false;
                }
                break;
            default:
                break;
        }
    }
    popup_ = None;
    for (XEvent& event : popupEvents_) {
        if (event.type == KeyRelease) forgetKey(event.xkey);
    }
    popupEvents_.clear();
    XftDrawDestroy(draw);
    XDestroyWindow(display_, window);
    XFlush(display_);
    return kIdOk;
}

}  // namespace platform::x11
