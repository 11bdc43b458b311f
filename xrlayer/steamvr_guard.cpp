// The layer's look at the SteamVR driver: the runtime's name once per instance, the driver's
// mark once a second at most.
#include "xrlayer/steamvr_guard.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "platform/steamvr_presence.h"
#include "platform/xr_walk_block.h"

namespace xrlayer {

namespace {

std::atomic<bool> steamVrRuntime{false};
std::atomic<bool> driverMarked{false};
std::atomic<std::int64_t> nextLookNs{0};

}  // namespace

void learnRuntime(PFN_xrGetInstanceProcAddr get, XrInstance instance) {
    PFN_xrVoidFunction f = nullptr;
    XrInstanceProperties properties{};
    properties.type = XR_TYPE_INSTANCE_PROPERTIES;
    const bool steamVr =
        XR_SUCCEEDED(get(instance, "xrGetInstanceProperties", &f)) && f != nullptr &&
        XR_SUCCEEDED(reinterpret_cast<PFN_xrGetInstanceProperties>(f)(instance, &properties)) &&
        std::strstr(properties.runtimeName, "SteamVR") != nullptr;
    steamVrRuntime.store(steamVr);
    nextLookNs.store(0);
}

bool standAsideForSteamVr() {
    if (!steamVrRuntime.load(std::memory_order_relaxed)) return false;
    const std::int64_t now = platform::monotonicNanoseconds();
    std::int64_t next = nextLookNs.load(std::memory_order_relaxed);
    if (now >= next && nextLookNs.compare_exchange_strong(next, now + 1'000'000'000)) {
        driverMarked.store(platform::steamVrDriverMarked(), std::memory_order_relaxed);
    }
    return driverMarked.load(std::memory_order_relaxed);
}

}  // namespace xrlayer
