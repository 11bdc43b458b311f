// No double walk: in a game whose runtime is SteamVR's while the SteamVR driver runs, the
// treadmill device already walks the game, so the layer leaves the sticks as they are.
#pragma once

#include <openxr/openxr.h>

namespace xrlayer {

// At instance creation: learns from the runtime's name whether it is SteamVR's.
void learnRuntime(PFN_xrGetInstanceProcAddr get, XrInstance instance);

// Whether the layer stands aside now: the runtime is SteamVR's and the driver's mark is there
// (looked at no more than once a second; otherwise no call, lock or allocation).
bool standAsideForSteamVr();

}  // namespace xrlayer
