// The SteamVR driver's mark that it is running, for the OpenXR layer: held by the driver from
// its Init to its Cleanup and gone with its process whatever way that ends, looked at by the
// layer at most once a second so that a game on SteamVR does not get the walk twice.
#pragma once

namespace platform {

// Sets the mark; null when it cannot be had (another driver of this user holds it).
void* claimSteamVrDriverMark();
void releaseSteamVrDriverMark(void* mark);

// Whether a driver of this user holds the mark now (a few system calls; no wait).
bool steamVrDriverMarked();

}  // namespace platform
