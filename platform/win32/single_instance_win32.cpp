// Single-instance guard on Windows: the named mutex, created owned, in the session's own
// namespace. The system frees it when the process ends, however it ends.
#include <windows.h>

#include "platform/single_instance.h"
#include "platform/win32/wide_text.h"

namespace platform {

bool SingleInstanceGuard::acquire(const char* name) {
    release();
    HANDLE mutex = CreateMutexW(nullptr, TRUE, win32::widen(name).c_str());
    if (mutex == nullptr) {
        // Another user's copy holds a mutex of that name that we may not open: taken. Any
        // other failure (the name belongs to an object of another kind) leaves the program
        // running unguarded rather than refusing to start.
        return GetLastError() != ERROR_ACCESS_DENIED;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // Held by the copy that runs already: let go of our handle to it.
        ReleaseMutex(mutex);
        CloseHandle(mutex);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mutex);
    return true;
}

void SingleInstanceGuard::release() {
    if (handle_ == -1) return;
    HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    handle_ = -1;
}

}  // namespace platform
