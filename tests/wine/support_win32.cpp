// The shared test helpers (tests/support/support.h) that need Windows, for its test programs:
// temporary folders, child processes through CreateProcessA, and a Winsock UDP listener.
// windows.h after winsock2.h, or it pulls in the old winsock.h.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "tests/support/support.h"

namespace testsupport {

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const fs::path candidate =
            base / ("tarvel-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(counter.fetch_add(1)) + "-" + std::to_string(GetTickCount()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string binaryDir() {
    char buf[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return ".";
    return fs::path(std::string(buf, n)).parent_path().string();
}

namespace {

// One command line from the arguments, quoted the way the C runtime splits it again.
std::string commandLine(const std::vector<std::string>& argv) {
    std::string line;
    for (const auto& arg : argv) {
        if (!line.empty()) line += ' ';
        if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) {
            line += arg;
            continue;
        }
        line += '"';
        std::size_t backslashes = 0;
        for (char c : arg) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"')
                line.append(backslashes * 2 + 1, '\\');
            else
                line.append(backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

// The process handle of each child by its id: held open until the object goes, so that the
// exit code stays readable and the id is not reused meanwhile.
std::map<int, HANDLE>& processHandles() {
    static std::map<int, HANDLE> handles;
    return handles;
}

HANDLE processOf(int pid) {
    const auto found = processHandles().find(pid);
    return found == processHandles().end() ? nullptr : found->second;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& cwd,
                           const std::string& logFile, const std::vector<std::string>& extraEnv) {
    std::string line = commandLine(argv);
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    HANDLE log = INVALID_HANDLE_VALUE;
    if (!logFile.empty()) {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        log = CreateFileA(logFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inherit, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (log != INVALID_HANDLE_VALUE) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
            startup.hStdOutput = log;
            startup.hStdError = log;
        }
    }
    // The environment: this process's, plus the extra NAME=value entries.
    std::string environment;
    if (!extraEnv.empty()) {
        char* block = GetEnvironmentStringsA();
        for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1) {
            environment.append(p, std::strlen(p) + 1);
        }
        FreeEnvironmentStringsA(block);
        for (const auto& e : extraEnv) environment.append(e.c_str(), e.size() + 1);
        environment += '\0';
    }
    PROCESS_INFORMATION info;
    std::memset(&info, 0, sizeof info);
    const BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, log != INVALID_HANDLE_VALUE, 0,
                       environment.empty() ? nullptr : environment.data(),
                       cwd.empty() ? nullptr : cwd.c_str(), &startup, &info);
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
    if (!started) throw std::runtime_error("CreateProcessA failed for " + line);
    CloseHandle(info.hThread);
    pid_ = static_cast<int>(info.dwProcessId);
    processHandles()[pid_] = info.hProcess;
}

ChildProcess::~ChildProcess() {
    HANDLE process = processOf(pid_);
    if (process == nullptr) return;
    if (!status_) {
        TerminateProcess(process, 137);
        WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
    processHandles().erase(pid_);
}

bool ChildProcess::running() {
    if (status_) return false;
    HANDLE process = processOf(pid_);
    if (process == nullptr) return false;
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) return true;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    status_ = static_cast<int>(code);
    return false;
}

void ChildProcess::signal(int sig) {
    if (!status_) TerminateProcess(processOf(pid_), static_cast<UINT>(128 + sig));
}

UdpListener::UdpListener(std::uint16_t port) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
    int big = 4 << 20;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&big), sizeof big);
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        closesocket(s);
        throw std::runtime_error("bind failed: " + std::to_string(WSAGetLastError()));
    }
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    fd_ = static_cast<int>(s);
}

UdpListener::~UdpListener() {
    if (fd_ >= 0) closesocket(static_cast<SOCKET>(fd_));
    WSACleanup();
}

std::optional<std::string> UdpListener::receive(std::chrono::milliseconds timeout) {
    const SOCKET s = static_cast<SOCKET>(fd_);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval tv{static_cast<long>(timeout.count() / 1000),
               static_cast<long>((timeout.count() % 1000) * 1000)};
    if (select(0, &readable, nullptr, nullptr, &tv) <= 0) return std::nullopt;
    char buf[65536];
    const int n = recv(s, buf, sizeof buf, 0);
    if (n < 0) return std::nullopt;
    return std::string(buf, static_cast<std::size_t>(n));
}

void UdpListener::drain() {
    while (receive(std::chrono::milliseconds(0))) {
    }
}

}  // namespace testsupport
