// File dialogs on Windows: GetOpenFileNameA and GetSaveFileNameA with one filter, and the
// shell's PathFindExtensionA for the extension of a file name.
#include <windows.h>
// After windows.h, whose types they use.
#include <commdlg.h>
#include <shlwapi.h>

#include <cstring>
#include <string>

#include "platform/file_chooser.h"

namespace platform {

bool chooseFile(NativeWindow owner, const FileChooserOptions& options, std::string& path) {
    // One pair: display text, pattern; the list ends with an empty string.
    std::string filter;
    filter += options.filterName;
    filter += '\0';
    filter += options.filterPattern;
    filter += '\0';
    filter += '\0';

    char file[MAX_PATH];  // 260 characters, holding an empty string
    file[0] = '\0';

    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof(OPENFILENAMEA);  // 88 in a 32-bit build
    ofn.hwndOwner = reinterpret_cast<HWND>(owner);
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    // The dialogs move the working folder to the one browsed to; ./tarvel.ini
    // is read and saved relative to it, so it is put back afterwards.
    char folder[MAX_PATH];
    const DWORD folderLength = GetCurrentDirectoryA(MAX_PATH, folder);
    BOOL chosen;
    if (options.save) {
        ofn.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
        ofn.lpstrDefExt = options.defaultExtension;
        chosen = GetSaveFileNameA(&ofn);
    } else {
        ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
        chosen = GetOpenFileNameA(&ofn);
    }
    if (folderLength > 0 && folderLength < MAX_PATH) SetCurrentDirectoryA(folder);
    if (!chosen) return false;
    path = file;
    return true;
}

std::size_t findExtension(std::string_view path) {
    // PathFindExtensionA knows backslash folders and double-byte characters; a forward slash
    // (never part of a double-byte character) ends a folder name too.
    const std::string copy(path);
    std::size_t nameStart = copy.rfind('/');
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    const char* name = copy.c_str() + nameStart;
    return static_cast<std::size_t>(PathFindExtensionA(name) - copy.c_str());
}

}  // namespace platform
