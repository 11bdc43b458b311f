// Whole-file replace on Windows: the new contents go to a temporary file in the target's
// folder, are flushed, and MoveFileExA puts that file in the target's place in one step.
#include <windows.h>

#include <string>

#include "platform/file_replace.h"

namespace platform {

namespace {

// The file a path leads to: a symbolic link is followed, so the link itself stays a link.
std::string finalTarget(const std::string& path, DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
    HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return path;
    char resolved[MAX_PATH * 2];
    const DWORD n = GetFinalPathNameByHandleA(h, resolved, sizeof resolved, FILE_NAME_NORMALIZED);
    CloseHandle(h);
    if (n == 0 || n >= sizeof resolved) return path;
    return resolved;
}

// The folder part of a path, "." when it has none. Backslashes that are the second byte of
// a double-byte character do not count.
std::string folderOf(const std::string& path) {
    const char* last = nullptr;
    for (const char* s = path.c_str(); *s != '\0'; s = CharNextA(s)) {
        if (*s == '\\' || *s == '/' || *s == ':') last = s;
    }
    if (last == nullptr) return ".";
    if (*last == ':') return std::string(path.c_str(), last + 1);
    if (last == path.c_str()) return std::string(1, *last);
    return std::string(path.c_str(), last);
}

// The system's text for an error code, without its line end.
std::string errorText(DWORD error) {
    char text[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             error, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
    if (n == 0) return "error " + std::to_string(error);
    return std::string(text, n);
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
    std::string target = path;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        target = finalTarget(path, attributes);
        const DWORD targetAttributes = GetFileAttributesA(target.c_str());
        if (targetAttributes != INVALID_FILE_ATTRIBUTES &&
            (targetAttributes &
             (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)) != 0) {
            return fail(ERROR_ACCESS_DENIED);
        }
    }

    // A unique, new file next to the target ("trv" and a number, .tmp).
    char temporary[MAX_PATH];
    if (GetTempFileNameA(folderOf(target).c_str(), "trv", 0, temporary) == 0) {
        return fail(GetLastError());
    }
    HANDLE file = CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        DeleteFileA(temporary);
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
    ok = ok && check(MoveFileExA(temporary, target.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0);
    if (!ok) {
        DeleteFileA(temporary);
        return fail(error);
    }
    return true;
}

// The temporary names come from GetTempFileNameA and say nothing of the process that made
// them, so none is removed: a file of another copy's save in progress could be taken.
void removeAbandonedTemporaryFiles(const std::string&) {}

}  // namespace platform
