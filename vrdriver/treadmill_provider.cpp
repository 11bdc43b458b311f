// The provider: vrserver's interfaces taken at Init, the device added, the mark for the OpenXR
// layer held until Cleanup, and the walk handed on at every frame. Also HmdDriverFactory, the
// library's one export.
#include "vrdriver/treadmill_provider.h"

#include <cstring>

#include "platform/steamvr_presence.h"

#if defined(_WIN32)
#define TARVEL_VR_EXPORT extern "C" __declspec(dllexport)
#else
#define TARVEL_VR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace vrdriver {

namespace {

template <class T>
T* genericInterface(openvr::IVRDriverContext* context, const char* version) {
    openvr::InitError error = openvr::InitErrorNone;
    void* found = context->GetGenericInterface(version, &error);
    return error == openvr::InitErrorNone ? static_cast<T*>(found) : nullptr;
}

TreadmillProvider& provider() {
    static TreadmillProvider p;
    return p;
}

}  // namespace

openvr::InitError TreadmillProvider::Init(openvr::IVRDriverContext* context) {
    if (context == nullptr) return openvr::InitErrorInterfaceNotFound;
    Host host;
    host.host = genericInterface<openvr::IVRServerDriverHost>(context, openvr::kServerDriverHost);
    host.properties = genericInterface<openvr::IVRProperties>(context, openvr::kProperties);
    host.input = genericInterface<openvr::IVRDriverInput>(context, openvr::kDriverInput);
    host.log = genericInterface<openvr::IVRDriverLog>(context, openvr::kDriverLog);
    // The log is welcome but not needed.
    if (host.host == nullptr || host.properties == nullptr || host.input == nullptr) {
        return openvr::InitErrorInterfaceNotFound;
    }
    host_ = host;
    device_.attach(host_);
    if (mark_ == nullptr) mark_ = platform::claimSteamVrDriverMark();
    const bool added =
        host_.host->TrackedDeviceAdded(kSerialNumber, openvr::DeviceClassController, &device_);
    log(host_, added
                   ? "tarvel: treadmill device added; it walks while tarvel runs with XR output on"
                   : "tarvel: SteamVR did not take the treadmill device");
    return openvr::InitErrorNone;
}

void TreadmillProvider::Cleanup() {
    device_.Deactivate();
    walk_.close();
    platform::releaseSteamVrDriverMark(mark_);
    mark_ = nullptr;
    host_ = {};
}

const char* const* TreadmillProvider::GetInterfaceVersions() {
    // The versions this driver was built against, as every driver of this interface
    // generation answers them (components it does not have are simply never returned).
    static const char* const kVersions[] = {
        "IVRSettings_003",
        openvr::kTrackedDeviceServerDriver,
        "IVRDisplayComponent_002",
        "IVRDriverDirectModeComponent_007",
        "IVRCameraComponent_003",
        openvr::kServerTrackedDeviceProvider,
        "IVRWatchdogProvider_001",
        "IVRVirtualDisplay_002",
        "IVRDriverManager_001",
        "IVRResources_001",
        "IVRCompositorPluginProvider_001",
        nullptr,
    };
    return kVersions;
}

void TreadmillProvider::RunFrame() {
    if (!device_.active()) return;
    const xrwalk::Axes axes = walk_.read(platform::monotonicNanoseconds()).axes;
    device_.update(axes.horizontal, axes.vertical);
}

}  // namespace vrdriver

// Only the provider interface of the current generation is served; anything else (a watchdog,
// an older or newer provider) gets nothing and "interface not found".
TARVEL_VR_EXPORT void* HmdDriverFactory(const char* interfaceName, int* returnCode) {
    if (interfaceName != nullptr &&
        std::strcmp(interfaceName, openvr::kServerTrackedDeviceProvider) == 0) {
        if (returnCode != nullptr) *returnCode = openvr::InitErrorNone;
        return static_cast<openvr::IServerTrackedDeviceProvider*>(&vrdriver::provider());
    }
    if (returnCode != nullptr) *returnCode = openvr::InitErrorInterfaceNotFound;
    return nullptr;
}
