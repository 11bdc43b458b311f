// Helpers shared by the tests: temporary folders, working-directory scopes,
// whole-file I/O, child processes and a UDP listener on loopback.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary directory, removed with its
// contents when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Changes the working directory for the lifetime of the object.
class ScopedCwd {
  public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();

  private:
    std::string previous_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// A child process started with fork/exec; killed (SIGKILL) and reaped when
// the object goes, unless it was waited for.
class ChildProcess {
  public:
    // argv[0] is looked up in PATH unless it contains a slash. `cwd` empty
    // keeps the test's working directory. Output goes to `logFile` when given.
    ChildProcess(const std::vector<std::string>& argv, const std::string& cwd = {},
                 const std::string& logFile = {}, const std::vector<std::string>& extraEnv = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    int pid() const { return pid_; }
    bool running();
    void signal(int sig);
    // Waits for the exit; the exit code, 128+signal, or nullopt on time-out.
    std::optional<int> wait(std::chrono::milliseconds timeout);

  private:
    int pid_ = -1;
    std::optional<int> status_;
};

void sleepMs(int ms);

// Polls `condition` every 5 ms until it holds or `timeout` passes.
template <class F>
bool waitUntil(F condition, std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        sleepMs(5);
    }
    return true;
}

// The directory holding the test executables and the program binaries.
std::string binaryDir();

// The built program.
inline std::string programBinary() {
    return binaryDir() + "/tarvel";
}

// The built simulator.
inline std::string simulatorBinary() {
    return binaryDir() + "/tarvel-sim";
}

// The comma-separated fields of a telemetry datagram's first line.
inline std::vector<std::string> datagramFields(const std::string& datagram) {
    std::vector<std::string> fields;
    const std::string line = datagram.substr(0, datagram.find('\n'));
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos;
         start = comma + 1) {
        fields.push_back(line.substr(start, comma - start));
    }
    if (start < line.size()) fields.push_back(line.substr(start));
    return fields;
}

// Whether a telemetry datagram shows an empty platform: every result of the analysis zero.
inline bool datagramAtRest(const std::string& datagram) {
    const std::vector<std::string> f = datagramFields(datagram);
    if (f.size() < 10) return false;
    for (std::size_t i : {2, 3, 4, 6, 7, 8, 9}) {
        if (f[i] != "0.000000") return false;
    }
    return true;
}

// A UDP socket bound to 127.0.0.1:port (0: the system picks one).
class UdpListener {
  public:
    explicit UdpListener(std::uint16_t port = 0);
    ~UdpListener();
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;
    std::uint16_t port() const { return port_; }
    // One datagram, or nullopt when none arrived within the time-out.
    std::optional<std::string> receive(std::chrono::milliseconds timeout);
    // Drops what is queued.
    void drain();

  private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace testsupport
