// Modal-wait seam: while the platform waits in a modal dialog or menu of its own, the program
// goes on (repaints, passes) through a hook that it installs and the waits call between their
// own short waits.
#pragma once

#include <functional>

namespace platform {

// What a modal wait does after a call of the hook.
struct ModalTurn {
    // The program is ending: close the dialog or menu now, choosing nothing.
    bool end = false;
    // The longest the wait may block for its own input before it calls the hook again, in
    // milliseconds; negative: no limit.
    int waitMs = -1;
};

// Who takes the program's window messages while the wait is open.
enum class ModalQueue {
    // The wait reads only its own input: the hook takes the program's messages too.
    hook,
    // The system's modal loop takes and dispatches every message itself: the hook leaves the
    // queue alone.
    system,
};

using ModalIdle = std::function<ModalTurn(ModalQueue)>;

// Installs the program's hook; an empty one removes it.
void setModalIdle(ModalIdle idle);

// For the backends' modal waits: one call of the hook. Without a hook the wait has no limit
// and ends once a termination request has come. A call from inside the hook does nothing.
ModalTurn modalIdle(ModalQueue queue = ModalQueue::hook);

}  // namespace platform
