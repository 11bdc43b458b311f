// Desktop session seam: what the session the program runs in means for its outputs.
#pragma once

namespace platform {

// One line for the user when the session keeps the emulated key presses from reaching
// some programs (on Linux: a Wayland session); null when nothing needs saying.
const char* keyEmulationLimit();

}  // namespace platform
