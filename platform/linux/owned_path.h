// Walking a path one folder at a time through open folder handles, so that nobody can swap a
// folder or link on the way between a check and the use: what the save, the settings load, the
// COM<n> link and the recorder open in folders that other users may write to.
#pragma once

#include <string>

namespace platform::owned_path {

// Which links and folders the walk accepts.
struct Rule {
    // Refuse a link in a folder that every user may write to and only owners may delete from
    // (/tmp), even one of the user's own.
    bool noLinksInSharedFolders = false;
    // Refuse a folder entered on the way that belongs to another user (the start is not checked).
    bool ownFolders = false;
    // Make a missing folder on the way (0777 less the umask).
    bool createFolders = false;
    // Follow a link at the last name too; otherwise the name is left as it is, link or not.
    bool followLast = true;
};

// An open folder and a name in it, not yet followed: the last part of the path.
struct Folder {
    Folder() = default;
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    ~Folder();
    int fd = -1;
    // Empty when the path ends in "/" (or names a folder such as "." or "/").
    std::string name;
};

// Whether a file of `uid` may be followed or read: the user's own or the administrator's.
bool trustedOwner(unsigned uid);

// "it belongs to another user (uid N)" and the like, for a refusal naming the file.
std::string otherOwnerText(unsigned uid);

// Opens the folder that holds the last name of `path` (relative paths start at the working
// folder), following links on the way, and a link at the end, only when they are the user's
// own or root's (and, as the rule says, outside shared folders). False with the reason in `why`:
// the system's text of the failing call ("No such file or directory"), or a refusal that says
// which link or folder was not the user's (then `refused`, when given, is set; errno holds the
// failing call's error otherwise).
bool openFolderOf(const std::string& path, const Rule& rule, Folder& out, std::string& why,
                  bool* refused = nullptr);

}  // namespace platform::owned_path
