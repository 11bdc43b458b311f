// The settings file dialogs: the "*.ini" filter, the default extension of the save dialog and
// the ".ini" check of the open dialog, on top of the platform's file chooser.
#include "settings/settings_dialog.h"

#include <string_view>

#include "platform/file_chooser.h"
#include "text/ascii.h"

namespace {

constexpr const char* kFilterName = "All supported files";
constexpr const char* kFilterPattern = "*.ini";

bool ask(SettingsFileDialog& dialog, platform::NativeWindow owner, bool save) {
    dialog.path.clear();
    dialog.extension = 0;
    dialog.failure.clear();
    platform::FileChooserOptions options;
    options.save = save;
    options.filterName = kFilterName;
    options.filterPattern = kFilterPattern;
    options.defaultExtension = save ? "ini" : nullptr;
    if (!platform::chooseFile(owner, options, dialog.path, &dialog.failure)) return false;
    dialog.extension = platform::findExtension(dialog.path);
    return true;
}

}  // namespace

bool SettingsFileDialog::askOpenPath(platform::NativeWindow owner) {
    if (!ask(*this, owner, false)) return false;
    return text::equalsIgnoringCase(std::string_view(path).substr(extension), ".ini");
}

bool SettingsFileDialog::askSavePath(platform::NativeWindow owner) {
    return ask(*this, owner, true);
}
