// The file dialogs of the settings commands: ask the user for a settings file to load or a
// path to save the settings to.
#pragma once

#include <cstddef>
#include <string>

#include "platform/native_window.h"

// The outcome of the last file dialog.
struct SettingsFileDialog {
    std::string path;           // the chosen full path; empty before each dialog
    std::size_t extension = 0;  // where the file name's extension begins in `path` (its last
                                // "."), or path.size() when the name has none
    std::string failure;        // why a chosen path could not be had (too long); else empty

    // Open dialog for "*.ini" files. True when the user chose a file whose extension is ".ini"
    // in any letter case; `path` then holds it. Also false when the user cancelled or no
    // dialog could be shown, and then `path` is empty.
    bool askOpenPath(platform::NativeWindow owner);

    // Save dialog for "*.ini" files, which asks before an existing file is replaced and adds
    // ".ini" to a name typed without an extension. True when the user chose a path, whatever
    // its extension; `path` then holds it. False (and `path` empty) when cancelled.
    bool askSavePath(platform::NativeWindow owner);
};
