// File chooser seam: the system's modal open and save dialogs with one file-type filter, and
// the extension lookup of a file name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/native_window.h"

namespace platform {

struct FileChooserOptions {
    // A save dialog (asks before an existing file is replaced) instead of an open dialog (which
    // only returns paths whose folder exists).
    bool save = false;
    // The one filter offered: its display text and its pattern, such as "*.ini". Patterns
    // match without regard to letter case, as on Windows.
    const char* filterName = "";
    const char* filterPattern = "*";
    // Save dialogs: appended, after a ".", to a chosen name that has no extension; the
    // replace question is then asked for the completed name. Null for none.
    const char* defaultExtension = nullptr;
};

// Shows the dialog, owned by `owner` when that is not 0, and waits until it is closed.
// True and `path` set to the chosen file's full path when the user chose one; false and
// `path` untouched when the user cancelled or no dialog could be shown. When the user chose a
// path that the dialog could not hand back (longer than it holds), `failure` says so.
bool chooseFile(NativeWindow owner, const FileChooserOptions& options, std::string& path,
                std::string* failure = nullptr);

// Where the extension of the file name at the end of `path` begins: at the name's last ".",
// or path.size() when the name has none. A "." in a folder name does not count, and a blank
// after the last "." means there is no extension (as the Windows shell reads names).
std::size_t findExtension(std::string_view path);

}  // namespace platform
