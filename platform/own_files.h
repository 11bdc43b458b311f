// Files in a working folder that other users may write to (/tmp): what the program reads,
// follows or records into there must be the user's own (or the administrator's), so that nobody
// else chooses its settings, its port or where its recordings go.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// Whether the file at `path` may be read as the user's: it is missing, or it and every link on
// the way to it belong to the user or to the administrator. False with the reason in `why`
// ("it belongs to another user (uid 1001)").
bool isOwnFile(const std::string& path, std::string& why);

// Opens a recording file for writing, without ever waiting: only a regular file is written
// (a pipe or a device is refused), a link at its name is never followed, and a folder or link
// on the way that belongs to another user is refused. `fresh`: nothing may have the name yet,
// not even a link (its missing folders are made); otherwise an existing file of the user's is
// emptied. Null with the reason in `why` when refused or failed.
std::FILE* createRecordingFile(const std::string& path, bool fresh, std::string& why);

}  // namespace platform
