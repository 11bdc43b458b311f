// The one device the driver adds: a controller in the treadmill role with no pose, whose
// joystick (/input/joystick/x and /y) carries the walk, sideways on x and forward on y.
#pragma once

#include "vrdriver/openvr_interface.h"

namespace vrdriver {

// What the device names itself and where SteamVR finds its input profile.
inline constexpr const char* kSerialNumber = "tarvel-treadmill";
inline constexpr const char* kControllerType = "tarvel_treadmill";
inline constexpr const char* kInputProfilePath = "{tarvel}/input/tarvel_treadmill_profile.json";
inline constexpr const char* kModelNumber = "Tarvel walking platform";

// vrserver's interfaces the device calls.
struct Host {
    openvr::IVRServerDriverHost* host = nullptr;
    openvr::IVRProperties* properties = nullptr;
    openvr::IVRDriverInput* input = nullptr;
    openvr::IVRDriverLog* log = nullptr;
};

// One line in vrserver's log (vrserver.txt), when there is a log.
inline void log(const Host& host, const char* line) {
    if (host.log != nullptr) host.log->Log(line);
}

class TreadmillDevice final : public openvr::ITrackedDeviceServerDriver {
  public:
    // Before the device is added; `host` lives until Cleanup.
    void attach(const Host& host) {
        host_ = host;
        active_ = false;
    }
    bool active() const { return active_; }

    // The joystick now: sideways on x, forward on y, each in [-1, 1]. Only while active.
    void update(float x, float y);

    openvr::InitError Activate(std::uint32_t objectId) override;
    void Deactivate() override { active_ = false; }
    void EnterStandby() override {}
    void* GetComponent(const char*) override { return nullptr; }
    void DebugRequest(const char*, char* response, std::uint32_t responseSize) override;
    openvr::DriverPose GetPose() override;

  private:
    Host host_;
    bool active_ = false;
    openvr::InputComponentHandle x_ = 0;
    openvr::InputComponentHandle y_ = 0;
};

}  // namespace vrdriver
