// Runs a piece of a test in a forked child as an ordinary user, so that file permissions hold
// even when the tests run as root; and a second local user for what other users may do.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

namespace settingstest {

constexpr uid_t kNobody = 65534;

// The exit code of `body` run in a child process; as root the child first becomes `uid`
// ("nobody" unless told). 100 and up: the child could not be set up or ended abnormally.
inline int runAsUser(const std::function<int()>& body, uid_t uid = kNobody, gid_t gid = kNobody) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
                ::_exit(101);
            }
        }
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return 102;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 103;
}

// A second local user: a user and group id that no account holds. Root can become it without
// an account, so the tests add nothing to the system. Only uid and gid are filled; nullopt
// unless root.
inline std::optional<passwd> otherUser() {
    if (::geteuid() != 0) return std::nullopt;
    for (uid_t id = 61000; id < 62000; ++id) {
        if (::getpwuid(id) == nullptr && ::getgrgid(id) == nullptr) {
            passwd p{};
            p.pw_uid = id;
            p.pw_gid = id;
            return p;
        }
    }
    return std::nullopt;
}
inline constexpr const char* kNeedsRoot = "needs root to act as a second local user";

// Lets that user reach `path` (a test's temporary folder).
inline void openToEveryone(const std::string& path) {
    ::chmod(path.c_str(), 0777);
}

}  // namespace settingstest
