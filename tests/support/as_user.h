// Runs a piece of a test in a forked child as an ordinary user, so that file permissions hold
// even when the tests run as root.
#pragma once

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace settingstest {

constexpr uid_t kNobody = 65534;

// The exit code of `body` run in a child process; as root the child first becomes "nobody".
// 100 and up: the child could not be set up or ended abnormally.
inline int runAsUser(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
                ::_exit(101);
            }
        }
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return 102;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 103;
}

// Lets that user reach `path` (a test's temporary folder).
inline void openToEveryone(const std::string& path) {
    ::chmod(path.c_str(), 0777);
}

}  // namespace settingstest
