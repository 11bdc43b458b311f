// File dialogs on Windows: GetOpenFileNameW and GetSaveFileNameW with one filter, and the
// shell's PathFindExtensionW for the extension of a file name; names go to and come back from
// the system as wide text, so that any file name can be chosen whatever the code page.
#include <windows.h>
// After windows.h, whose types they use.
#include <commdlg.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/file_chooser.h"
#include "platform/win32/wide_text.h"
#include "platform/win32/win32_internal.h"

namespace platform {

using win32::narrow;
using win32::widen;

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
    // The dialogs move the working folder to the one browsed to; ./tarvel.ini
    // is read and saved relative to it, so it is put back afterwards.
    wchar_t folder[MAX_PATH];
    const DWORD folderLength = GetCurrentDirectoryW(MAX_PATH, folder);
    BOOL chosen;
    {
        const win32::SystemModal open;
        if (options.save) {
            ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
            ofn.lpstrDefExt = options.defaultExtension ? extension.c_str() : nullptr;
            chosen = GetSaveFileNameW(&ofn);
        } else {
            ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
            chosen = GetOpenFileNameW(&ofn);
        }
    }
    if (folderLength > 0 && folderLength < MAX_PATH) SetCurrentDirectoryW(folder);
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
