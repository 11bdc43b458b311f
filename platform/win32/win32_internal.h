// Shared state of the Windows backends: how the window procedure layer reports the end of
// the Windows session to the termination-request watcher, and the program's turns inside the
// system's modal loops.
#pragma once

namespace platform::win32 {

// Called by the window procedure layer when a window receives WM_ENDSESSION telling that
// the session ends. Returns once the request is recorded.
void noteSessionEnding();

// A modal loop of the system (a menu, a dialog, a message box, a window move) starts or ends on
// this thread; they nest. While one is open the program's turns go on inside it.
void beginSystemModal();
void endSystemModal();

// The system's modal loop has nothing to do (WM_ENTERIDLE, the timer): the program's turns
// run until input waits for the loop. Nothing while no modal loop is open.
void runModalTurns();

// Closes the dialogs and message boxes of the thread `threadId`, choosing nothing (posted, so
// they close once that thread's loop takes it).
void cancelDialogs(unsigned long threadId);

// Waits for the thread `thread` (a HANDLE) that shows a file dialog to end, the program going on
// meanwhile. When the program ends, the dialog is closed; one that is still open two seconds
// later is left behind, the settings saved first (the last-chance handler): false then.
bool awaitDialog(void* thread, unsigned long threadId);

// Open from construction to destruction around a call that runs a modal loop.
struct SystemModal {
    SystemModal() { beginSystemModal(); }
    ~SystemModal() { endSystemModal(); }
    SystemModal(const SystemModal&) = delete;
    SystemModal& operator=(const SystemModal&) = delete;
};

}  // namespace platform::win32
