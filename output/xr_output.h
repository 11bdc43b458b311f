// XrOutput: the walk published, once per pass, into the per-user block that the OpenXR layer
// inside games reads and adds to the game's thumbsticks (the same axes that OSC sends).
#pragma once

#include <cstdint>

struct WalkState;

namespace xrwalk {
struct Block;
}

class XrOutput {
  public:
    // Once per pass, after the analysis. Switched on ([openxr] enabled=1) the block is opened
    // the first time; from then on every pass publishes, so that the layer can tell a live
    // program from a killed one: the walk's axes in VR mode (appMode 0) while frames arrive,
    // zeros otherwise (switched off, desktop mode, the platform silent or gone).
    void update(const WalkState& state, std::uint32_t frameCount, bool framesArriving);

    // For every end of the program: the block says so, and later updates publish nothing.
    // Safe to call more than once.
    void stop();

  private:
    xrwalk::Block* block_ = nullptr;
    bool stopped_ = false;
    std::int64_t nextTryNs_ = 0;
};
