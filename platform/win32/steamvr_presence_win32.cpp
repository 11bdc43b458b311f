// The SteamVR driver's mark on Windows: a named mutex in the session's own namespace, which
// Windows lets go when the process ends. The layer looks by opening it.
#include <windows.h>

#include "platform/steamvr_presence.h"

namespace platform {

namespace {
constexpr const wchar_t* kMarkName = L"Local\\tarvel-steamvr-driver";
}

void* claimSteamVrDriverMark() {
    HANDLE mark = CreateMutexW(nullptr, FALSE, kMarkName);
    if (mark != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mark);
        return nullptr;
    }
    return mark;
}

void releaseSteamVrDriverMark(void* mark) {
    if (mark != nullptr) CloseHandle(mark);
}

bool steamVrDriverMarked() {
    HANDLE mark = OpenMutexW(SYNCHRONIZE, FALSE, kMarkName);
    if (mark == nullptr) return false;
    CloseHandle(mark);
    return true;
}

}  // namespace platform
