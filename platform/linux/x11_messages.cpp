// The message queue of the X11 window system: posted, input and paint
// messages and the quit request, waiting (on the display, wake-ups and the
// tray's session bus), sending, dispatching.
#include <poll.h>
#include <unistd.h>

#include "platform/linux/x11_internal.h"

namespace platform::x11 {

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
    pollfd fds[3];
    nfds_t count = 0;
    if (display_ != nullptr) {
        XFlush(display_);
        if (XPending(display_) > 0) return;
        fds[count++] = {ConnectionNumber(display_), POLLIN, 0};
    }
    if (wakePipe_[0] >= 0) fds[count++] = {wakePipe_[0], POLLIN, 0};
    // The tray's session bus (read by the next pump), and its own deadline:
    // a call to the watcher that gets no answer.
    if (sni_ && sni_->fd() >= 0) {
        fds[count++] = {sni_->fd(), sni_->events(), 0};
        const int busTimeout = sni_->timeoutMs();
        if (busTimeout >= 0 && (timeoutMs < 0 || busTimeout < timeoutMs)) timeoutMs = busTimeout;
    }
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

}  // namespace platform::x11
