// The shared test helpers that need only the standard library, the same on Linux and on
// Windows: the working-folder guard, whole-file reads and writes, and waits.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/support.h"

namespace testsupport {

namespace fs = std::filesystem;

ScopedCwd::ScopedCwd(const std::string& dir) : previous_(fs::current_path().string()) {
    fs::current_path(dir);
}

ScopedCwd::~ScopedCwd() {
    std::error_code ec;
    fs::current_path(previous_, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    waitUntil([&] { return !running(); }, timeout);
    return status_;
}

}  // namespace testsupport
