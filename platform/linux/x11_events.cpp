// X events translated into the toolkit's messages: pointer buttons, moves and
// wheel, keys as virtual-key codes, close requests, exposure, size and state.
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include "platform/linux/x11_internal.h"
#include "platform/linux/x11_keys.h"

namespace platform::x11 {

namespace {

// Mouse-message key state bits.
constexpr WParam kMkLButton = 0x01;
constexpr WParam kMkRButton = 0x02;
constexpr WParam kMkShift = 0x04;
constexpr WParam kMkControl = 0x08;
constexpr WParam kMkMButton = 0x10;

// Values of the WM_STATE property.
constexpr long kIconicState = 3;
constexpr long kNormalState = 1;

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

}  // namespace

bool X11WindowSystem::trafficPending() {
    if (XEventsQueued(display_, QueuedAlready) > 0) return true;
    if (XNextRequest(display_) != flushedRequest_) return true;
    pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {-1, 0, 0}};
    nfds_t count = 1;
    if (sni_ && sni_->fd() >= 0) {
        if (sni_->timeoutMs() == 0) return true;
        fds[count++] = {sni_->fd(), sni_->events(), 0};
    }
    return poll(fds, count, 0) != 0;
}

void X11WindowSystem::pump() {
    if (display_ == nullptr) return;
    // The main loop asks on every turn, about a thousand times a second; most turns find
    // nothing, and one poll() tells so.
    if (!trafficPending()) return;
    // The tray's bus first: what it delivers becomes posted messages.
    if (sni_) sni_->process();
    while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        translate(event);
    }
    flushedRequest_ = XNextRequest(display_);
}

void X11WindowSystem::translate(XEvent& event) {
    if (takePopupEvent(event) || trayEvent(event)) return;
    switch (event.type) {
        case Expose: {
            WindowRecord* rec = record(event.xexpose.window);
            if (rec == nullptr) return;
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
            while (XEventsQueued(display_, QueuedAlready) > 0) {
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
            if (record(top) == nullptr) {
                // A closed menu's or message box's input: a key let go of
                // there is no longer down.
                if (event.type == KeyRelease) forgetKey(k);
                return;
            }
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
                downAs_.clear();
            }
            return;
        case ClientMessage:
            if (event.xclient.message_type == atoms_.wmProtocols &&
                static_cast<Atom>(event.xclient.data.l[0]) == atoms_.wmDeleteWindow &&
                record(event.xclient.window) != nullptr) {
                input_.push_back({event.xclient.window, kWmClose, 0, 0});
            }
            // A command another copy of the program sent (commandOtherCopy).
            if (event.xclient.message_type == atoms_.command && event.xclient.format == 32 &&
                record(event.xclient.window) != nullptr) {
                input_.push_back({event.xclient.window, kWmCommand,
                                  static_cast<WParam>(event.xclient.data.l[0]), 0});
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

std::uint32_t X11WindowSystem::virtualKeyOfEvent(XKeyEvent& event) {
    // A key comes up as the code it went down as, even when NumLock or Shift
    // changed in between (a keypad key would otherwise stay down).
    if (event.type == KeyRelease) {
        auto it = downAs_.find(event.keycode);
        if (it != downAs_.end()) {
            const std::uint32_t code = it->second;
            downAs_.erase(it);
            return code;
        }
    }
    // The modifier that NumLock sets, looked up again after a mapping change.
    if (numLockMask_ == 0) numLockMask_ = XkbKeysymToModifiers(display_, XK_Num_Lock);
    const std::uint32_t code =
        virtualKeyOfKey(XLookupKeysym(&event, 0), XLookupKeysym(&event, 1),
                        (event.state & numLockMask_) != 0, (event.state & ShiftMask) != 0);
    if (event.type == KeyPress && code != 0) downAs_[event.keycode] = code;
    return code;
}

}  // namespace platform::x11
