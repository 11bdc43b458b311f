// Whole-file replace on Windows: the new contents go to a temporary file in the target's
// folder, are flushed, and ReplaceFileW (which keeps the old file's permissions and attributes)
// or, for a new file, MoveFileExW puts that file in the target's place in one step. Names go to
// the system as wide text, so that any name is found whatever the code page.
#include <windows.h>

#include <iterator>
#include <string>

#include "platform/file_replace.h"
#include "platform/win32/file_owner.h"
#include "platform/win32/wide_text.h"

namespace platform {

namespace {

using win32::narrow;
using win32::widen;

// The file a path leads to: a symbolic link is followed, so the link itself stays a link.
std::wstring finalTarget(const std::wstring& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
    HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return path;
    wchar_t resolved[MAX_PATH * 2];
    const DWORD n =
        GetFinalPathNameByHandleW(h, resolved, std::size(resolved), FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (n == 0 || n >= std::size(resolved)) return path;
    return resolved;
}

// The full form of a path, for the calls that do not take a relative one (ReplaceFileW).
std::wstring fullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    const DWORD n = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (n == 0 || n >= size) return path;
    full.resize(n);
    return full;
}

// The folder part of a path, "." when it has none.
std::wstring folderOf(const std::wstring& path) {
    const std::size_t last = path.find_last_of(L"\\/:");
    if (last == std::wstring::npos) return L".";
    if (path[last] == L':') return path.substr(0, last + 1);
    if (last == 0) return path.substr(0, 1);
    return path.substr(0, last);
}

// The system's text for an error code, without its line end.
std::string errorText(DWORD error) {
    wchar_t text[512];
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, std::size(text), nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
    if (n == 0) return "error " + std::to_string(error);
    return narrow(std::wstring_view(text, n));
}

bool writeAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool replaceFileContents(const std::string& path, std::string_view bytes, std::string* failure) {
    // Every refusal goes through here, with the error code of the call that failed.
    auto fail = [failure](DWORD error) {
        if (failure != nullptr) *failure = errorText(error);
        return false;
    };
    const std::wstring widePath = widen(path);
    std::wstring target = widePath;
    const DWORD attributes = GetFileAttributesW(widePath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        // A link that another user put in the file's place is not followed.
        std::string distrust;
        if (!win32::reparsePointTrusted(widePath, distrust)) {
            if (failure != nullptr) *failure = distrust;
            return false;
        }
        target = finalTarget(widePath, attributes);
        const DWORD targetAttributes = GetFileAttributesW(target.c_str());
        if (targetAttributes != INVALID_FILE_ATTRIBUTES &&
            (targetAttributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)) != 0) {
            return fail(ERROR_ACCESS_DENIED);
        }
    }

    target = fullPath(target);
    // A unique, new file next to the target ("trv" and a number, .tmp).
    wchar_t temporary[MAX_PATH];
    if (GetTempFileNameW(folderOf(target).c_str(), L"trv", 0, temporary) == 0) {
        return fail(GetLastError());
    }
    HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary);
        return fail(error);
    }
    // The first failing call's error code is the reason.
    DWORD error = ERROR_SUCCESS;
    auto check = [&error](bool ok) {
        if (!ok && error == ERROR_SUCCESS) {
            const DWORD last = GetLastError();
            error = last != ERROR_SUCCESS ? last : ERROR_WRITE_FAULT;
        }
        return ok;
    };
    SetLastError(ERROR_SUCCESS);
    bool ok = check(writeAll(file, bytes));
    ok = check(FlushFileBuffers(file) != 0) && ok;
    ok = check(CloseHandle(file) != 0) && ok;
    // An existing file is replaced so that it keeps its permissions (its access list, owner and
    // attributes); a new one, or one gone meanwhile, gets the folder's as the rename leaves them.
    if (ok && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        const bool replaced = ReplaceFileW(target.c_str(), temporary, nullptr,
                                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
        if (!replaced && GetLastError() != ERROR_FILE_NOT_FOUND) ok = check(false);
        if (replaced) return true;
    }
    ok = ok && check(MoveFileExW(temporary, target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0);
    if (!ok) {
        DeleteFileW(temporary);
        return fail(error);
    }
    return true;
}

// The temporary names come from GetTempFileNameW and say nothing of the process that made
// them, so none is removed: a file of another copy's save in progress could be taken.
void removeAbandonedTemporaryFiles(const std::string&) {}

}  // namespace platform
