// The driver as vrserver sees it: the provider of the treadmill device, its Init and Cleanup,
// and RunFrame, which hands the walk block's axes to the device's joystick.
#pragma once

#include "platform/steamvr_presence.h"
#include "platform/xr_walk_block.h"
#include "vrdriver/openvr_interface.h"
#include "vrdriver/treadmill_device.h"

namespace vrdriver {

class TreadmillProvider final : public openvr::IServerTrackedDeviceProvider {
  public:
    // Unloaded without Cleanup, the library still lets the mark go.
    ~TreadmillProvider() { platform::releaseSteamVrDriverMark(mark_); }

    openvr::InitError Init(openvr::IVRDriverContext* context) override;
    void Cleanup() override;
    const char* const* GetInterfaceVersions() override;
    // One read of the block (the reader opens it, or finds it again, at most once a second),
    // two component updates: no lock, no allocation, no other call to the system.
    void RunFrame() override;
    bool ShouldBlockStandbyMode() override { return false; }
    void EnterStandby() override {}
    void LeaveStandby() override {}

  private:
    Host host_;
    TreadmillDevice device_;
    platform::XrWalkReader walk_;
    void* mark_ = nullptr;
};

}  // namespace vrdriver
