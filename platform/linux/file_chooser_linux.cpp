// File dialogs on Linux: zenity, or else kdialog, run as a child process (found in PATH,
// started without a shell) that prints the chosen path; no toolkit is loaded into the program.
// The program goes on while the dialog is open, and ending the program ends the dialog.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_chooser.h"
#include "platform/modal_idle.h"
#include "text/ascii.h"
#include "text/path.h"

namespace platform {

namespace {

// More output than any path: the rest of it is read and dropped.
constexpr std::size_t kMaxOutput = 64 * 1024;
// How long a dialog that the program ends gets to go before it is killed.
constexpr int kStopGraceMs = 1000;

enum class Tool { Zenity, Kdialog };

struct Chooser {
    Tool tool;
    std::string program;
};

bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The full path of `name` in PATH, or empty when it is not there.
std::string findInPath(const std::string& name) {
    const char* env = std::getenv("PATH");
    std::string_view dirs = env ? env : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        std::size_t colon = dirs.find(':');
        std::string_view dir = dirs.substr(0, colon);
        std::string candidate = (dir.empty() ? std::string(".") : std::string(dir)) + "/" + name;
        if (isExecutableFile(candidate)) return candidate;
        if (colon == std::string_view::npos) return {};
        dirs.remove_prefix(colon + 1);
    }
}

bool findChooser(Chooser& chooser) {
    if (std::string p = findInPath("zenity"); !p.empty()) {
        chooser = {Tool::Zenity, p};
        return true;
    }
    if (std::string p = findInPath("kdialog"); !p.empty()) {
        chooser = {Tool::Kdialog, p};
        return true;
    }
    return false;
}

struct RunResult {
    bool succeeded = false;  // started and exited with status 0
    bool ended = false;      // ended by the program, which is ending
    std::string output;
};

// Waits for the child's exit and returns its status; -1 when it cannot be waited for.
int reap(pid_t pid, int options = 0) {
    int status = 0;
    pid_t waited;
    do {
        waited = ::waitpid(pid, &status, options);
    } while (waited < 0 && errno == EINTR);
    if (waited == 0) return -2;  // still running (WNOHANG)
    return waited == pid ? status : -1;
}

// Asks the child to end, and kills it if it is still there after the grace time.
void stop(pid_t pid) {
    ::kill(pid, SIGTERM);
    for (int waited = 0; waited < kStopGraceMs; waited += 10) {
        if (reap(pid, WNOHANG) != -2) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    reap(pid);
}

// Collects what the child prints until it closes its output, calling the program's modal hook
// meanwhile. False when the hook ended the wait.
bool collect(int fd, std::string& output) {
    char buffer[4096];
    while (true) {
        const ModalTurn turn = modalIdle();
        if (turn.end) return false;
        pollfd ready{fd, POLLIN, 0};
        const int r = ::poll(&ready, 1, turn.waitMs);
        if (r == 0 || (r < 0 && errno == EINTR)) continue;
        if (r < 0) return true;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        const std::size_t room = kMaxOutput - std::min(kMaxOutput, output.size());
        output.append(buffer, std::min(room, static_cast<std::size_t>(n)));
    }
}

// Runs `program` with `args`, its input from /dev/null, its error output dropped, and
// collects what it prints until it ends.
RunResult run(const std::string& program, const std::vector<std::string>& args) {
    RunResult result;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return result;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    // The dialog starts with default signal handling and nothing blocked, whatever this
    // process has set up for itself.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t reset;
    sigemptyset(&reset);
    for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&reset, sig);
    posix_spawnattr_setsigdefault(&attributes, &reset);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    int spawned = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        return result;
    }

    result.ended = !collect(out[0], result.output);
    ::close(out[0]);
    if (result.ended) {
        stop(pid);
        return result;
    }
    const int status = reap(pid);
    result.succeeded = status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

// A glob that matches without regard to letter case: "*.ini" becomes "*.[iI][nN][iI]".
std::string caselessPattern(std::string_view pattern) {
    std::string out;
    for (char c : pattern) {
        const char lower = text::toLower(c);
        const char upper = text::toUpper(c);
        if (lower == upper) {
            out += c;
            continue;
        }
        out += '[';
        out += lower;
        out += upper;
        out += ']';
    }
    return out;
}

std::string currentFolder() {
    std::string dir(4096, '\0');
    if (!::getcwd(dir.data(), dir.size())) return "/";
    dir.resize(dir.find('\0'));
    return dir;
}

// Runs the chooser once; `start` is the folder (ending in "/") or file it starts at.
bool runChooser(const Chooser& chooser, NativeWindow owner, const FileChooserOptions& options,
                const std::string& start, std::string& chosen) {
    std::vector<std::string> args;
    std::string pattern = caselessPattern(options.filterPattern);
    if (chooser.tool == Tool::Zenity) {
        args = {"--file-selection", "--filename=" + start,
                std::string("--file-filter=") + options.filterName + " | " + pattern};
        if (options.save) {
            args.push_back("--save");
            args.push_back("--confirm-overwrite");
        }
        if (owner != 0) {
            args.push_back("--modal");
            args.push_back("--attach=" + std::to_string(owner));
        }
    } else {
        args = {options.save ? "--getsavefilename" : "--getopenfilename", start,
                pattern + "|" + options.filterName};
        if (owner != 0) {
            args.push_back("--attach");
            args.push_back(std::to_string(owner));
        }
    }
    RunResult result = run(chooser.program, args);
    if (!result.succeeded) return false;
    std::string& out = result.output;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    if (out.empty() || out.find('\n') != std::string::npos) return false;
    chosen = out;
    return true;
}

RunResult askToReplace(const Chooser& chooser, NativeWindow owner, const std::string& file) {
    std::string text = file + " already exists.\nDo you want to replace it?";
    std::vector<std::string> args;
    if (chooser.tool == Tool::Zenity) {
        args = {"--question", "--no-markup", "--text=" + text};
        if (owner != 0) {
            args.push_back("--modal");
            args.push_back("--attach=" + std::to_string(owner));
        }
    } else {
        args = {"--warningyesno", text};
        if (owner != 0) {
            args.push_back("--attach");
            args.push_back(std::to_string(owner));
        }
    }
    return run(chooser.program, args);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool folderExists(const std::string& path) {
    struct stat st {};
    return ::stat(text::folderOf(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool chooseFile(NativeWindow owner, const FileChooserOptions& options, std::string& path,
                std::string*) {
    Chooser chooser;
    if (!findChooser(chooser)) return false;
    std::string start = currentFolder();
    if (start.back() != '/') start += '/';
    std::string chosen;
    while (true) {
        if (!runChooser(chooser, owner, options, start, chosen)) return false;
        if (!options.save || !options.defaultExtension || findExtension(chosen) != chosen.size()) {
            break;
        }
        // The dialog asked about the name as typed; the completed name is asked about here,
        // and a "no" goes back to the dialog.
        chosen = chosen + "." + options.defaultExtension;
        if (!exists(chosen)) break;
        // A question that the program's end closed is no answer either way.
        const RunResult answer = askToReplace(chooser, owner, chosen);
        if (answer.ended) return false;
        if (answer.succeeded) break;
        start = chosen;
    }
    if (!options.save && !folderExists(chosen)) return false;
    path = chosen;
    return true;
}

std::size_t findExtension(std::string_view path) {
    std::size_t dot = path.size();
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '/' || path[i] == ' ') {
            dot = path.size();
        } else if (path[i] == '.') {
            dot = i;
        }
    }
    return dot;
}

}  // namespace platform
