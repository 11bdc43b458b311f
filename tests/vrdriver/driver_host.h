// A small stand-in for vrserver: loads the built driver library as vrserver does
// (HmdDriverFactory, Init with a driver context, Activate of each device it adds, RunFrame,
// Cleanup), and its host, property, input and log interfaces record what the driver does.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "vrdriver/openvr_interface.h"

namespace vrtest {

// The built driver library of this build tree.
std::string driverLibrary();

struct Component {
    std::string name;
    openvr::PropertyContainerHandle container = 0;
    openvr::ScalarType type{};
    openvr::ScalarUnits units{};
    float value = -2.0f;  // never updated
    int updates = 0;
};

struct AddedDevice {
    std::string serial;
    openvr::TrackedDeviceClass deviceClass{};
    openvr::ITrackedDeviceServerDriver* driver = nullptr;
};

class DriverHost : openvr::IVRDriverContext,
                   openvr::IVRServerDriverHost,
                   openvr::IVRProperties,
                   openvr::IVRDriverInput,
                   openvr::IVRDriverLog {
  public:
    DriverHost() = default;
    ~DriverHost();
    DriverHost(const DriverHost&) = delete;
    DriverHost& operator=(const DriverHost&) = delete;

    // Loads the library and finds its factory; false when either fails.
    bool load(const std::string& library);
    // The factory's answer for `version`, with its return code.
    void* factory(const char* version, int* returnCode);
    // The provider's Init, then Activate of every device it added (as vrserver does once the
    // driver returns). The worst of the results.
    openvr::InitError start();
    void runFrame();
    // Deactivate of every device, then Cleanup.
    void stop();

    // What the driver did.
    std::vector<AddedDevice> devices;
    std::map<openvr::TrackedDeviceProperty, std::string> strings;
    std::map<openvr::TrackedDeviceProperty, std::int32_t> ints;
    std::map<openvr::TrackedDeviceProperty, bool> bools;
    std::vector<Component> components;
    std::vector<std::pair<std::uint32_t, openvr::DriverPose>> poses;
    std::vector<std::string> log;
    // The component of that name (null: none).
    const Component* component(const std::string& name) const;
    // The container vrserver gives device `index`.
    static openvr::PropertyContainerHandle containerOf(std::uint32_t index) {
        return 0x100 + index;
    }

  private:
    // IVRDriverContext
    void* GetGenericInterface(const char* version, openvr::InitError* error) override;
    openvr::DriverHandle GetDriverHandle() override { return 1; }
    // IVRServerDriverHost_006
    bool TrackedDeviceAdded(const char* serial, openvr::TrackedDeviceClass deviceClass,
                            openvr::ITrackedDeviceServerDriver* driver) override;
    void TrackedDevicePoseUpdated(std::uint32_t device, const openvr::DriverPose& pose,
                                  std::uint32_t size) override;
    void VsyncEvent(double) override {}
    void VendorSpecificEvent(std::uint32_t, std::int32_t, const openvr::EventData&,
                             double) override {}
    bool IsExiting() override { return false; }
    bool PollNextEvent(openvr::Event*, std::uint32_t) override { return false; }
    void GetRawTrackedDevicePoses(float, openvr::TrackedDevicePose*, std::uint32_t) override {}
    void RequestRestart(const char*, const char*, const char*, const char*) override {}
    std::uint32_t GetFrameTimings(openvr::FrameTiming*, std::uint32_t) override { return 0; }
    void SetDisplayEyeToHead(std::uint32_t, const openvr::Matrix34&,
                             const openvr::Matrix34&) override {}
    void SetDisplayProjectionRaw(std::uint32_t, const openvr::Rect2&,
                                 const openvr::Rect2&) override {}
    void SetRecommendedRenderTargetSize(std::uint32_t, std::uint32_t, std::uint32_t) override {}
    // IVRProperties_001
    openvr::TrackedPropertyError ReadPropertyBatch(openvr::PropertyContainerHandle,
                                                   openvr::PropertyRead*, std::uint32_t) override;
    openvr::TrackedPropertyError WritePropertyBatch(openvr::PropertyContainerHandle container,
                                                    openvr::PropertyWrite* batch,
                                                    std::uint32_t count) override;
    const char* GetPropErrorNameFromEnum(openvr::TrackedPropertyError) override { return "?"; }
    openvr::PropertyContainerHandle TrackedDeviceToPropertyContainer(std::uint32_t i) override {
        return containerOf(i);
    }
    // IVRDriverInput_003
    openvr::InputError CreateBooleanComponent(openvr::PropertyContainerHandle, const char*,
                                              openvr::InputComponentHandle*) override;
    openvr::InputError UpdateBooleanComponent(openvr::InputComponentHandle, bool, double) override;
    openvr::InputError CreateScalarComponent(openvr::PropertyContainerHandle container,
                                             const char* name, openvr::InputComponentHandle* handle,
                                             openvr::ScalarType type,
                                             openvr::ScalarUnits units) override;
    openvr::InputError UpdateScalarComponent(openvr::InputComponentHandle handle, float value,
                                             double timeOffset) override;
    openvr::InputError CreateHapticComponent(openvr::PropertyContainerHandle, const char*,
                                             openvr::InputComponentHandle*) override;
    openvr::InputError CreateSkeletonComponent(openvr::PropertyContainerHandle, const char*,
                                               const char*, const char*, std::int32_t,
                                               const openvr::BoneTransform*, std::uint32_t,
                                               openvr::InputComponentHandle*) override;
    openvr::InputError UpdateSkeletonComponent(openvr::InputComponentHandle, std::int32_t,
                                               const openvr::BoneTransform*,
                                               std::uint32_t) override;
    // IVRDriverLog_001
    void Log(const char* message) override { log.emplace_back(message); }

    void* library_ = nullptr;
    openvr::DriverFactory factory_ = nullptr;
    openvr::IServerTrackedDeviceProvider* provider_ = nullptr;
};

}  // namespace vrtest
