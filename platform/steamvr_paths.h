// Where SteamVR keeps its list of drivers for this user, and where this program runs from (to
// find the driver folder installed with it).
#pragma once

#include <string>

namespace platform {

// This user's openvrpaths.vrpath: $XDG_CONFIG_HOME/openvr (~/.config/openvr when unset) on
// Linux, %LOCALAPPDATA%\openvr on Windows. Empty when there is no such folder to name.
std::string openVrPathsFile();

// The folder of the running program's executable; empty when it cannot be told.
std::string executableFolder();

}  // namespace platform
