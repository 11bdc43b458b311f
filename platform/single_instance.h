// Single-instance seam: a named guard, one per user and desktop session, that
// only one process can hold at a time, released when the process ends (however
// it ends).
#pragma once

#include <cstdint>

namespace platform {

class SingleInstanceGuard {
  public:
    SingleInstanceGuard() = default;
    ~SingleInstanceGuard() { release(); }
    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // Takes the guard called `name` for the current user and session. False only
    // when another process holds it. When the guard cannot be had for another
    // reason, true while holding nothing: the program runs unguarded rather
    // than refuse to start.
    bool acquire(const char* name);
    // Lets the guard go; nothing when not held.
    void release();
    bool held() const { return handle_ != -1; }

  private:
    std::intptr_t handle_ = -1;
};

}  // namespace platform
