// Single-instance seam: a named, per-user guard that only one process can hold
// at a time, released when the process ends (however it ends).
#pragma once

#include <cstdint>

namespace platform {

class SingleInstanceGuard {
  public:
    SingleInstanceGuard() = default;
    ~SingleInstanceGuard() { release(); }
    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // Takes the guard called `name` for the current user. False when another
    // process holds it (or it cannot be taken); this object then holds nothing.
    bool acquire(const char* name);
    // Lets the guard go; nothing when not held.
    void release();
    bool held() const { return handle_ != -1; }

  private:
    std::intptr_t handle_ = -1;
};

}  // namespace platform
