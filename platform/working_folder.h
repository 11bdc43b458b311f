// Working folder seam: the folder in which the program keeps tarvel.ini and finds its COM
// links. Used by the Linux entry point (the Windows program takes no command line).
#pragma once

#include <string>

namespace platform {

// The program's folder in the user's configuration: $XDG_CONFIG_HOME/tarvel, or
// ~/.config/tarvel when that is not set. Empty when no home folder can be found.
std::string configFolder();

// Makes `path` the working folder. With `create`, the folder and any missing parents are
// created first, readable by the user only. False, with the reason in one line in `error`,
// when that fails.
bool enterWorkingFolder(const std::string& path, bool create, std::string& error);

}  // namespace platform
