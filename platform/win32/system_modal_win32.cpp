// The program's turns inside the system's modal loops (popup menus, dialogs, message boxes,
// moving the window): a thread timer, whose callback every modal loop dispatches, and
// WM_ENTERIDLE, which a dialog's loop sends whenever it runs out of messages, hand the loop
// to the program's modal hook until input waits for the system's loop again.
#include <windows.h>

#include <cstring>

#include "platform/modal_idle.h"
#include "platform/win32/win32_internal.h"

namespace platform::win32 {

namespace {

// The shortest period of a timer (USER_TIMER_MINIMUM). While nothing is done between two ticks
// (a menu's loop sends WM_ENTERIDLE only once), passes pause at most this long.
constexpr UINT kTickMs = 10;

int depth = 0;
UINT_PTR timer = 0;
bool turning = false;

BOOL CALLBACK cancelDialog(HWND window, LPARAM) {
    char name[8];
    // Dialogs and message boxes are of the system's dialog class; IDCANCEL closes them like Esc,
    // and a question without a Cancel button (a file dialog's "replace it?") is answered No.
    if (GetClassNameA(window, name, sizeof name) > 0 && std::strcmp(name, "#32770") == 0) {
        const bool onlyNo = GetDlgItem(window, IDCANCEL) == nullptr && GetDlgItem(window, IDNO);
        PostMessageW(window, WM_COMMAND, onlyNo ? IDNO : IDCANCEL, 0);
    }
    return TRUE;
}

// The program is ending: the open menu and the thread's dialogs close, choosing nothing.
void endModalLoops() {
    EndMenu();
    cancelDialogs(GetCurrentThreadId());
}

void CALLBACK onTick(HWND, UINT, UINT_PTR, DWORD) {
    runModalTurns();
}

}  // namespace

void cancelDialogs(unsigned long threadId) {
    EnumThreadWindows(threadId, cancelDialog, 0);
}

void beginSystemModal() {
    if (depth++ == 0) timer = SetTimer(nullptr, 0, kTickMs, onTick);
}

void endSystemModal() {
    if (depth == 0 || --depth > 0) return;
    if (timer != 0) KillTimer(nullptr, timer);
    timer = 0;
}

void runModalTurns() {
    if (depth == 0 || turning) return;
    turning = true;
    for (;;) {
        const ModalTurn turn = modalIdle(ModalQueue::system);
        if (turn.end) {
            endModalLoops();
            break;
        }
        // Back to the system's loop as soon as anything waits for it, seen or not.
        const DWORD waitMs = turn.waitMs < 0 ? 0 : static_cast<DWORD>(turn.waitMs);
        if (turn.waitMs < 0 || MsgWaitForMultipleObjectsEx(0, nullptr, waitMs, QS_ALLINPUT,
                                                           MWMO_INPUTAVAILABLE) != WAIT_TIMEOUT) {
            break;
        }
    }
    turning = false;
}

}  // namespace platform::win32
