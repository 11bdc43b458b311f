// Environment helpers for tests: a variable set (or removed) for a scope and
// put back afterwards, and a PATH lookup of a program.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace testsupport {

// Sets `name` to `value` (nullopt: removes it) and restores the earlier value,
// or the absence of one, when the object goes.
class ScopedEnv {
  public:
    ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
        if (const char* old = std::getenv(name_.c_str())) previous_ = old;
        set(value);
    }
    ~ScopedEnv() { set(previous_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    // The value the variable had before this scope.
    const std::optional<std::string>& previous() const { return previous_; }

  private:
    void set(const std::optional<std::string>& value) {
        if (value) {
            ::setenv(name_.c_str(), value->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

    std::string name_;
    std::optional<std::string> previous_;
};

// Whether an executable `program` is in one of the PATH folders.
inline bool onPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace testsupport
