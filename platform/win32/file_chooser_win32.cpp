// File dialogs on Windows: GetOpenFileNameW and GetSaveFileNameW with one filter, and the
// shell's PathFindExtensionW for the extension of a file name; names go to and come back from
// the system as wide text, so that any file name can be chosen whatever the code page. The
// dialog runs on a thread of its own while this one goes on, and ending the program ends it.
#include <windows.h>
// After windows.h, whose types they use.
#include <commdlg.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/file_chooser.h"
#include "platform/modal_idle.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_internal.h"

namespace platform {

using win32::narrow;
using win32::widen;

namespace {

// How often an ending program asks the dialog's thread again to close what it shows: a dialog
// still being created, or one that a question ("replace it?") answered No returns to.
constexpr DWORD kCancelAgainMs = 50;

struct DialogCall {
    OPENFILENAMEW* ofn;
    bool save;
    BOOL chosen = FALSE;
};

DWORD WINAPI runDialog(void* argument) {
    auto* call = static_cast<DialogCall*>(argument);
    call->chosen = call->save ? GetSaveFileNameW(call->ofn) : GetOpenFileNameW(call->ofn);
    return 0;
}

// Waits for the dialog's thread to end, calling the program's modal hook meanwhile, which takes
// this thread's messages and goes on with the passes; without a hook this wait dispatches them
// itself, as the dialog's own loop would. Once the program ends, the dialog is closed and only
// the messages sent to this thread are taken (the dialog's thread may wait for their answer).
void awaitDialog(HANDLE thread, DWORD threadId) {
    bool ending = false;
    for (;;) {
        ModalTurn turn{.end = true};
        if (!ending) turn = modalIdle();
        ending = turn.end;
        DWORD waitMs = turn.waitMs < 0 ? INFINITE : static_cast<DWORD>(turn.waitMs);
        if (ending) {
            win32::cancelDialogs(threadId);
            waitMs = kCancelAgainMs;
        }
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &thread, waitMs, ending ? QS_SENDMESSAGE : QS_ALLINPUT,
                                        ending ? 0 : MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) return;
        MSG message;
        if (ending || turn.waitMs >= 0) {
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Left for the thread's own loop, which ends on it.
                PostQuitMessage(static_cast<int>(message.wParam));
                ending = true;
                break;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// Runs the dialog on a thread of its own, the owner disabled meanwhile as a modal dialog's
// owner is; the owner comes back to the front afterwards. The dialog stays owned by it, so it
// stays above it.
BOOL runDialogAside(OPENFILENAMEW& ofn, bool save) {
    DialogCall call{&ofn, save};
    DWORD threadId = 0;
    const HANDLE thread = CreateThread(nullptr, 0, runDialog, &call, 0, &threadId);
    if (thread == nullptr) {
        // No thread to be had: the dialog runs here, the passes going on inside its loop.
        const win32::SystemModal open;
        runDialog(&call);
        return call.chosen;
    }
    const HWND owner = ofn.hwndOwner;
    const bool wasDisabled = owner != nullptr && EnableWindow(owner, FALSE);
    awaitDialog(thread, threadId);
    CloseHandle(thread);
    if (owner != nullptr && !wasDisabled) {
        EnableWindow(owner, TRUE);
        if (IsWindowVisible(owner)) SetForegroundWindow(owner);
    }
    return call.chosen;
}

}  // namespace

bool chooseFile(NativeWindow owner, const FileChooserOptions& options, std::string& path) {
    // One pair: display text, pattern; the list ends with an empty string.
    std::wstring filter = widen(options.filterName);
    filter += L'\0';
    filter += widen(options.filterPattern);
    filter += L'\0';
    filter += L'\0';
    const std::wstring extension = options.defaultExtension ? widen(options.defaultExtension) : L"";

    wchar_t file[MAX_PATH];  // 260 characters, holding an empty string
    file[0] = L'\0';

    OPENFILENAMEW ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof(OPENFILENAMEW);  // 88 in a 32-bit build
    ofn.hwndOwner = reinterpret_cast<HWND>(owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    // Browsing does not move the working folder (the main thread goes on meanwhile, and other
    // files of the program are found there).
    if (options.save) {
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        ofn.lpstrDefExt = options.defaultExtension ? extension.c_str() : nullptr;
    } else {
        ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    }
    const BOOL chosen = runDialogAside(ofn, options.save);
    if (!chosen) return false;
    path = narrow(file);
    return true;
}

std::size_t findExtension(std::string_view path) {
    // PathFindExtensionW knows backslash folders; a forward slash ends a folder name too.
    // No byte of a UTF-8 sequence is a slash or a dot, so the name starts after the last slash
    // of the bytes, and the extension's place in the wide name converts back by length.
    std::size_t nameStart = path.rfind('/');
    nameStart = nameStart == std::string_view::npos ? 0 : nameStart + 1;
    const std::wstring name = widen(path.substr(nameStart));
    const wchar_t* dot = PathFindExtensionW(name.c_str());
    const std::size_t before = narrow(std::wstring_view(name.c_str(), dot - name.c_str())).size();
    return std::min(path.size(), nameStart + before);
}

}  // namespace platform
