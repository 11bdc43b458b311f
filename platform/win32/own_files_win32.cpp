// Files of the user's own on Windows: the owner of the settings file and of any reparse point
// on its name, and recordings made with CREATE_NEW on the reparse point itself, never followed.
#include <windows.h>
// After windows.h.
#include <fcntl.h>
#include <io.h>

#include <filesystem>
#include <system_error>

#include "platform/file_names.h"
#include "platform/own_files.h"
#include "platform/win32/file_owner.h"
#include "platform/win32/wide_text.h"

namespace platform {

namespace {

std::string errorText(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

// Whether the file or folder at `path`, if there, and a reparse point on its name are the user's.
bool ownEntry(const std::wstring& path, std::string& why) {
    if (!win32::reparsePointTrusted(path, why)) return false;
    HANDLE file = CreateFileW(path.c_str(), READ_CONTROL,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return true;
    std::string owner;
    const bool own = win32::trustedOwner(file, owner);
    CloseHandle(file);
    if (!own) why = "it belongs to another user (" + owner + ")";
    return own;
}

}  // namespace

bool isOwnFile(const std::string& path, std::string& why) {
    return ownEntry(win32::widen(path), why);
}

std::FILE* createRecordingFile(const std::string& path, bool fresh, std::string& why) {
    why.clear();
    const std::filesystem::path file = fileSystemPath(path);
    const std::filesystem::path folder = file.parent_path();
    if (fresh && !folder.empty()) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            why = error.message();
            return nullptr;
        }
    }
    if (!folder.empty() && !ownEntry(folder.wstring(), why)) {
        why = "the folder " + win32::narrow(folder.filename().wstring()) + ": " + why;
        return nullptr;
    }
    if (!fresh && !ownEntry(file.wstring(), why)) return nullptr;
    // A new recording never goes through a link at its name: CREATE_NEW on the link itself
    // finds it there.
    const HANDLE handle =
        CreateFileW(file.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    fresh ? CREATE_NEW : OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | (fresh ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        why = errorText(GetLastError());
        return nullptr;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        why = "it is not a regular file";
    } else if (!SetEndOfFile(handle)) {
        why = errorText(GetLastError());
    }
    const int fd = why.empty()
                       ? _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY)
                       : -1;
    if (fd < 0) {
        if (why.empty()) why = "cannot open the file";
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "wb");
    if (stream == nullptr) {
        why = "cannot open the file";
        _close(fd);
    }
    return stream;
}

}  // namespace platform
