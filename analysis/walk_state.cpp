// The process-wide WalkState record.
#include "analysis/walk_state.h"

WalkState& WalkState::instance() {
    // Value-initialised: every setting and result starts at zero. Never freed.
    static WalkState* state = new WalkState{};
    return *state;
}
