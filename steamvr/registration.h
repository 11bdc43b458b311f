// The driver folder's place in SteamVR's list of drivers (openvrpaths.vrpath, "external_drivers"):
// whether it is there, and adding or removing it with every other entry and key kept as it was.
#pragma once

#include <string>

namespace steamvr {

enum class Registration {
    NoSteamVr,      // no openvrpaths.vrpath: SteamVR was never run by this user
    Unreadable,     // the file is there but is not the JSON object SteamVR writes
    NotRegistered,  // the folder is not listed
    Registered,     // the folder is listed
};

// The state of `driverFolder` in the file at `pathsFile`.
Registration registrationOf(const std::string& pathsFile, const std::string& driverFolder);

// Lists (`on`) or unlists the folder, writing the file atomically and only when it changes.
// Nothing is written when the file is missing or unreadable. Returns the state afterwards
// (NotRegistered/Registered when the file could not be written: `failure` then says why).
Registration setRegistration(const std::string& pathsFile, const std::string& driverFolder, bool on,
                             std::string* failure = nullptr);

// The driver folder installed with the running program: <bin>/../lib/tarvel/steamvr/tarvel
// (Linux), <exe folder>/steamvr/tarvel (Windows), or the build tree's; empty when none is there.
std::string installedDriverFolder();

// The state of this installation's folder in this user's file, or the change asked for: the
// "register"/"unregister"/"status" of the command line and the window's switch. `message`
// gets one line for the user. False when the change could not be made.
bool runRegistrationCommand(const std::string& verb, std::string& message);

}  // namespace steamvr
