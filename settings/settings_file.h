// The settings file: loads the settings block of WalkState from an INI file and saves it back,
// as "./tarvel.ini" at start and end of a run and as files the user picks.
#pragma once

#include <string>

#include "analysis/walk_state.h"

// What a load found besides the values.
struct SettingsLoad {
    // The file gave at least one setting.
    bool found = false;
    // The file is there but gave nothing: it could not be read, or it has text but no key of
    // the settings (lines ended by CR alone, UTF-16 without its byte-order mark, a file of
    // another kind...). It probably holds the user's settings in a form this program cannot
    // read, so it is not to be overwritten with the defaults.
    bool unusable = false;
    // When nothing was found, why, to follow the file's name: "does not exist", "is empty",
    // "cannot be read (Permission denied)", "holds no setting this program can read (...)".
    std::string problem;
};

// Reads the settings from the file at `path` into `state`. A missing file, section or key gives
// the key's default; text that is not a number gives 0; the limited settings are forced into
// their ranges. An OSC host that is not a dotted IPv4 address, a port outside 1..65535, or a
// [walk] value outside its range or without a digit gives the default and a line on stderr
// naming the key and the value. Every setting is
// overwritten, nothing else in `state` changes.
SettingsLoad loadSettings(const std::string& path, WalkState& state = WalkState::instance());

// A file the user chose: its settings replace those of `state` only when it gives at least one
// setting; otherwise `state` is left as it was, and the result says why.
SettingsLoad loadChosenSettings(const std::string& path, WalkState& state);

// Writes the settings of `state` to the file at `path`, replacing it as a whole: the file
// holds either its old or its new complete contents at every moment. False when the file could
// not be written; the old file is then left as it was, and the system's reason goes to
// `failure` when one is given.
bool saveSettings(const std::string& path, const WalkState& state = WalkState::instance(),
                  std::string* failure = nullptr);

// The exact text saveSettings writes: the sections [param] and [emulation] (27 lines), then
// [osc], [openxr] and [walk]; one "key=value" line per setting, CR LF line ends, decimals with two
// places.
std::string formatSettings(const WalkState& state);
