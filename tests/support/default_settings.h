// The settings of a first start (no settings file), which most tests start from.
#pragma once

#include "analysis/walk_state.h"
#include "settings/settings_file.h"

namespace testsupport {

inline WalkState defaultSettings() {
    WalkState s{};
    loadSettings("/nonexistent-folder/tarvel.ini", s);
    return s;
}

}  // namespace testsupport
