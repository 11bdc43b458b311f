// The modal-wait hook shared by every backend.
#include "platform/modal_idle.h"

#include <utility>

#include "platform/termination.h"

namespace platform {

namespace {

ModalIdle& hook() {
    static ModalIdle h;
    return h;
}

bool inside = false;

}  // namespace

void setModalIdle(ModalIdle idle) {
    hook() = std::move(idle);
}

ModalTurn modalIdle(ModalQueue queue) {
    // A modal wait reached from the hook's own work does not run the hook again.
    if (!hook() || inside) return ModalTurn{terminationRequested(), -1};
    inside = true;
    const ModalTurn turn = hook()(queue);
    inside = false;
    return turn;
}

}  // namespace platform
