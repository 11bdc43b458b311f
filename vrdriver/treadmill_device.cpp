// The treadmill device: its properties and input components at activation, its joystick at
// every frame.
#include "vrdriver/treadmill_device.h"

#include <cstring>
#include <iterator>

namespace vrdriver {

namespace {

openvr::PropertyWrite stringProperty(openvr::TrackedDeviceProperty prop, const char* value) {
    return {prop,
            openvr::PropertyWriteSet,
            openvr::PropertySuccess,
            const_cast<char*>(value),
            static_cast<std::uint32_t>(std::strlen(value) + 1),
            openvr::kStringTag,
            openvr::PropertySuccess};
}

}  // namespace

openvr::InitError TreadmillDevice::Activate(std::uint32_t objectId) {
    const openvr::PropertyContainerHandle container =
        host_.properties->TrackedDeviceToPropertyContainer(objectId);
    std::int32_t role = openvr::RoleTreadmill;
    bool neverTracked = true;
    openvr::PropertyWrite writes[] = {
        {openvr::PropControllerRoleHintInt32, openvr::PropertyWriteSet, openvr::PropertySuccess,
         &role, sizeof role, openvr::kInt32Tag, openvr::PropertySuccess},
        {openvr::PropNeverTrackedBool, openvr::PropertyWriteSet, openvr::PropertySuccess,
         &neverTracked, sizeof neverTracked, openvr::kBoolTag, openvr::PropertySuccess},
        stringProperty(openvr::PropControllerTypeString, kControllerType),
        stringProperty(openvr::PropInputProfilePathString, kInputProfilePath),
        stringProperty(openvr::PropSerialNumberString, kSerialNumber),
        stringProperty(openvr::PropModelNumberString, kModelNumber),
        stringProperty(openvr::PropManufacturerNameString, "Tarvel"),
    };
    host_.properties->WritePropertyBatch(container, writes, std::size(writes));
    // Absolute, -1 to 1, like any joystick.
    if (host_.input->CreateScalarComponent(container, "/input/joystick/x", &x_,
                                           openvr::ScalarAbsolute,
                                           openvr::UnitsTwoSided) != openvr::InputErrorNone ||
        host_.input->CreateScalarComponent(container, "/input/joystick/y", &y_,
                                           openvr::ScalarAbsolute,
                                           openvr::UnitsTwoSided) != openvr::InputErrorNone) {
        log(host_, "tarvel: the treadmill's joystick could not be created");
        return openvr::InitErrorInterfaceNotFound;
    }
    // No pose, ever; but connected, so that SteamVR lists it and routes its input.
    const openvr::DriverPose pose = GetPose();
    host_.host->TrackedDevicePoseUpdated(objectId, pose, sizeof pose);
    active_ = true;
    update(0.0f, 0.0f);
    return openvr::InitErrorNone;
}

void TreadmillDevice::update(float x, float y) {
    if (!active_) return;
    host_.input->UpdateScalarComponent(x_, x, 0.0);
    host_.input->UpdateScalarComponent(y_, y, 0.0);
}

void TreadmillDevice::DebugRequest(const char*, char* response, std::uint32_t responseSize) {
    if (response != nullptr && responseSize > 0) response[0] = '\0';
}

openvr::DriverPose TreadmillDevice::GetPose() {
    openvr::DriverPose pose{};
    pose.qWorldFromDriverRotation.w = 1.0;
    pose.qDriverFromHeadRotation.w = 1.0;
    pose.qRotation.w = 1.0;
    pose.result = openvr::TrackingUninitialized;
    pose.poseIsValid = false;
    pose.deviceIsConnected = true;
    return pose;
}

}  // namespace vrdriver
