// XrOutput: the walk published, once per pass, into the per-user block that the OpenXR layer
// inside games reads and adds to the game's thumbsticks (the same axes that OSC sends).
#pragma once

#include <cstdint>

#include "platform/xr_walk_block.h"

struct WalkState;

class XrOutput {
  public:
    // Why the walk does not reach the block (each said once on stderr when it starts).
    enum class Problem {
        None,
        Busy,         // another copy of the program writes the user's block
        NotPrivate,   // its folder or file is not the user's alone
        Unavailable,  // it cannot be created or given its space
        WriteFailed,  // a write failed; the block is opened again a second later
    };

    // Once per pass, after the analysis. Switched on ([openxr] enabled=1) the block is opened
    // the first time; from then on every pass publishes, so that the layer can tell a live
    // program from a killed one: the walk's axes in VR mode (appMode 0) while frames arrive,
    // zeros otherwise (switched off, desktop mode, the platform silent or gone). A block that
    // cannot be had, or whose file was removed or replaced, is opened again a second later.
    void update(const WalkState& state, std::uint32_t frameCount, bool framesArriving);

    // For every end of the program: the block says so, and later updates publish nothing.
    // Safe to call more than once.
    void stop();

    Problem problem() const { return problem_; }

  private:
    void note(Problem p);

    platform::XrWalkWriter writer_;
    bool stopped_ = false;
    std::int64_t nextTryNs_ = 0;
    Problem problem_ = Problem::None;
};
