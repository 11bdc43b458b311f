// Whole-file replace seam: writes a file's new contents so that a crash, a kill or a full
// disk never leaves it truncated or half written.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Replaces the contents of the file at `path` with `bytes`, or creates the file.
//
// The bytes go to a temporary file in the same folder, which is flushed to disk and then
// renamed over the target, so at every moment the file holds either its old or its new
// complete contents. A target that is a symbolic link stays a link: the file it points to is
// replaced, but only when every link on the way is the user's own (or the administrator's)
// and none sits in a folder shared by all users (/tmp); any other link is refused, so that
// another user cannot choose which of our files a save replaces. An existing file keeps its
// permissions (and, where allowed, its owner).
//
// Returns false, leaving the old file as it was and no temporary file behind, when the file
// could not be written: the folder is missing or not writable, the file exists but may not be
// written, it is not a regular file (a folder, a device), a link is not to be trusted, or a
// write or flush failed. The reason then goes to `failure` when one is given ("Permission
// denied").
bool replaceFileContents(const std::string& path, std::string_view bytes,
                         std::string* failure = nullptr);

// Removes the temporary files that saves of `path` left behind when they were killed midway
// (their process is gone). Files of saves still running, and anything not the user's own, stay.
void removeAbandonedTemporaryFiles(const std::string& path);

}  // namespace platform
