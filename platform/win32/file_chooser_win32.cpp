// File dialogs on Windows: GetOpenFileNameW and GetSaveFileNameW with one filter, and the
// shell's PathFindExtensionW for the extension of a file name; names go to and come back from
// the system as wide text, so that any file name can be chosen whatever the code page. The
// dialog runs on a thread of its own while this one goes on, and ending the program ends it.
#include <windows.h>
// After windows.h, whose types they use.
#include <cderr.h>
#include <commdlg.h>
#include <objbase.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_chooser.h"
#include "platform/modal_idle.h"
#include "platform/termination.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_internal.h"

namespace platform {

using win32::narrow;
using win32::widen;

namespace {

// How often an ending program asks the dialog's thread again to close what it shows: a dialog
// still being created, or one that a question ("replace it?") answered No returns to.
constexpr DWORD kCancelAgainMs = 50;
// How long an ending program waits for the dialog to close before it ends without it.
constexpr ULONGLONG kEndingWaitMs = 2000;

// The longest path the dialogs hand back: the longest a wide path may be.
constexpr DWORD kPathCapacity = 32768;

// What the dialog's thread works on, shared with it: an ending program may give up waiting and
// leave the thread (and this) behind.
struct DialogCall {
    OPENFILENAMEW ofn{};
    std::wstring filter;
    std::wstring extension;
    std::vector<wchar_t> file = std::vector<wchar_t>(kPathCapacity, L'\0');
    bool save = false;
    BOOL chosen = FALSE;
    DWORD error = 0;
};

DWORD WINAPI runDialog(void* argument) {
    const std::unique_ptr<std::shared_ptr<DialogCall>> held(
        static_cast<std::shared_ptr<DialogCall>*>(argument));
    DialogCall& call = **held;
    // The common dialogs need a single-threaded apartment on the thread that shows them.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    call.chosen = call.save ? GetSaveFileNameW(&call.ofn) : GetOpenFileNameW(&call.ofn);
    call.error = call.chosen ? 0 : CommDlgExtendedError();
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

// Runs the dialog on a thread of its own, the owner disabled meanwhile as a modal dialog's
// owner is; the owner comes back to the front afterwards. The dialog stays owned by it, so it
// stays above it. False when the dialog chose nothing or was left behind.
bool runDialogAside(const std::shared_ptr<DialogCall>& call) {
    auto* held = new std::shared_ptr<DialogCall>(call);
    DWORD threadId = 0;
    const HANDLE thread = CreateThread(nullptr, 0, runDialog, held, 0, &threadId);
    if (thread == nullptr) {
        // No thread to be had: the dialog runs here, the passes going on inside its loop.
        const win32::SystemModal open;
        runDialog(held);
        return call->chosen != FALSE;
    }
    const HWND owner = call->ofn.hwndOwner;
    const bool wasDisabled = owner != nullptr && EnableWindow(owner, FALSE);
    const bool ended = win32::awaitDialog(thread, threadId);
    CloseHandle(thread);
    if (!ended) return false;
    if (owner != nullptr && !wasDisabled) {
        EnableWindow(owner, TRUE);
        if (IsWindowVisible(owner)) SetForegroundWindow(owner);
    }
    return call->chosen != FALSE;
}

}  // namespace

// The program's hook takes this thread's messages meanwhile and goes on with the passes; without
// a hook this wait dispatches them itself, as the dialog's own loop would. Once the program
// ends, only the messages sent to this thread are taken (the dialog's thread may wait for their
// answer) while the dialog is asked to close again and again, for kEndingWaitMs at most.
bool win32::awaitDialog(void* thread, unsigned long threadId) {
    bool ending = false;
    ULONGLONG endingSince = 0;
    for (;;) {
        ModalTurn turn{.end = true};
        if (!ending) turn = modalIdle();
        if (turn.end && !ending) endingSince = GetTickCount64();
        ending = turn.end;
        DWORD waitMs = turn.waitMs < 0 ? INFINITE : static_cast<DWORD>(turn.waitMs);
        if (ending) {
            if (GetTickCount64() - endingSince >= kEndingWaitMs) {
                runLastChanceHandler();
                return false;
            }
            win32::cancelDialogs(threadId);
            waitMs = kCancelAgainMs;
        }
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &thread, waitMs, ending ? QS_SENDMESSAGE : QS_ALLINPUT,
                                        ending ? 0 : MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) return true;
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
                endingSince = GetTickCount64();
                break;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

bool chooseFile(NativeWindow owner, const FileChooserOptions& options, std::string& path,
                std::string* failure) {
    const auto call = std::make_shared<DialogCall>();
    call->save = options.save;
    // One pair: display text, pattern; the list ends with an empty string.
    call->filter = widen(options.filterName);
    call->filter += L'\0';
    call->filter += widen(options.filterPattern);
    call->filter += L'\0';
    call->filter += L'\0';
    call->extension = options.defaultExtension ? widen(options.defaultExtension) : L"";

    OPENFILENAMEW& ofn = call->ofn;
    ofn.lStructSize = sizeof(OPENFILENAMEW);  // 88 in a 32-bit build
    ofn.hwndOwner = reinterpret_cast<HWND>(owner);
    ofn.lpstrFilter = call->filter.c_str();
    ofn.lpstrFile = call->file.data();  // holding an empty string
    ofn.nMaxFile = kPathCapacity;
    // Browsing does not move the working folder (the main thread goes on meanwhile, and other
    // files of the program are found there).
    if (options.save) {
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        ofn.lpstrDefExt = options.defaultExtension ? call->extension.c_str() : nullptr;
    } else {
        ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    }
    const bool chosen = runDialogAside(call);
    if (!chosen) {
        if (call->error == FNERR_BUFFERTOOSMALL && failure != nullptr) {
            *failure = "the chosen path is longer than " + std::to_string(kPathCapacity - 1) +
                       " characters";
        }
        return false;
    }
    path = narrow(call->file.data());
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
