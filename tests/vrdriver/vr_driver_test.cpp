// The built SteamVR driver in the test host, as vrserver loads it: the treadmill device, its
// joystick following the walk block exactly (and exactly 0 without a fresh walk), the mark the
// OpenXR layer looks at, and nothing served but the provider of the current interface.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "output/xr_walk_block.h"
#include "platform/steamvr_presence.h"
#include "platform/xr_walk_block.h"
#include "tests/support/support.h"
#include "tests/vrdriver/driver_host.h"
#if !defined(_WIN32)
#include "tests/support/scoped_env.h"
#endif

namespace {

class VrDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(host_.load(vrtest::driverLibrary())) << vrtest::driverLibrary();
        ASSERT_EQ(program_.open(), platform::XrWalkWriter::Opened::Yes);
    }

    void publish(xrwalk::Axes axes, std::int64_t ageMs = 0) {
        ASSERT_TRUE(
            program_.publish(axes, 1, platform::monotonicNanoseconds() - ageMs * 1'000'000));
    }
    // The joystick after one RunFrame.
    std::pair<float, float> frame() {
        host_.runFrame();
        return {host_.component("/input/joystick/x")->value,
                host_.component("/input/joystick/y")->value};
    }

#if !defined(_WIN32)
    testsupport::TempDir dir_;  // 0700: the block's folder
    testsupport::ScopedEnv runtime_{"XDG_RUNTIME_DIR", dir_.path()};
#endif
    vrtest::DriverHost host_;
    platform::XrWalkWriter program_;
};

TEST_F(VrDriverTest, AddsATreadmillWhoseJoystickFollowsTheWalk) {
    ASSERT_EQ(host_.start(), openvr::InitErrorNone);
    ASSERT_EQ(host_.devices.size(), 1u);
    EXPECT_EQ(host_.devices[0].deviceClass, openvr::DeviceClassController);
    EXPECT_EQ(host_.ints[openvr::PropControllerRoleHintInt32], 4);  // treadmill
    EXPECT_EQ(host_.strings[openvr::PropInputProfilePathString],
              "{tarvel}/input/tarvel_treadmill_profile.json");
    EXPECT_EQ(host_.strings[openvr::PropControllerTypeString], "tarvel_treadmill");
    EXPECT_FALSE(host_.strings[openvr::PropSerialNumberString].empty());
    EXPECT_FALSE(host_.strings[openvr::PropModelNumberString].empty());
    for (const char* name : {"/input/joystick/x", "/input/joystick/y"}) {
        const vrtest::Component* c = host_.component(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(c->container, vrtest::DriverHost::containerOf(0));
        EXPECT_EQ(c->type, openvr::ScalarAbsolute);
        EXPECT_EQ(c->units, openvr::UnitsTwoSided);
    }
    // What README tells the user to look for in vrserver.txt.
    ASSERT_FALSE(host_.log.empty());
    EXPECT_EQ(host_.log[0].rfind("tarvel: treadmill device added", 0), 0u) << host_.log[0];
    ASSERT_EQ(host_.poses.size(), 1u);
    EXPECT_FALSE(host_.poses[0].second.poseIsValid);
    EXPECT_TRUE(host_.poses[0].second.deviceIsConnected);

    EXPECT_EQ(frame(), std::pair(0.0f, 0.0f)) << "before the program ever ran";
    publish({0.25f, -0.125f, 0.5f});  // forward, sideways, turn
    EXPECT_EQ(frame(), std::pair(-0.125f, 0.25f));
    publish({-1.0f, 1.0f, 0.0f});
    EXPECT_EQ(frame(), std::pair(1.0f, -1.0f));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& [axes, age, why] :
         {std::tuple{xrwalk::Axes{0.25f, 0.1f, 0.0f}, 300, "older than 250 ms"},
          {xrwalk::Axes{1.5f, 0.1f, 0.0f}, 0, "out of range"},
          {xrwalk::Axes{nan, 0.1f, 0.0f}, 0, "not a number"}}) {
        publish({0.5f, 0.5f, 0.0f});
        ASSERT_EQ(frame(), std::pair(0.5f, 0.5f));
        publish(axes, age);
        EXPECT_EQ(frame(), std::pair(0.0f, 0.0f)) << why;
    }
    publish({0.5f, 0.5f, 0.0f});
    ASSERT_TRUE(program_.publish({0.5f, 0.5f, 0.0f}, 0, 0));  // the program's end
    EXPECT_EQ(frame(), std::pair(0.0f, 0.0f)) << "after the program ended";
}

TEST_F(VrDriverTest, MarksItselfForTheLayerFromInitToCleanup) {
    EXPECT_FALSE(platform::steamVrDriverMarked());
    ASSERT_EQ(host_.start(), openvr::InitErrorNone);
    EXPECT_TRUE(platform::steamVrDriverMarked());
    host_.stop();
    EXPECT_FALSE(platform::steamVrDriverMarked());
    // Loaded again after Cleanup, as vrserver may, it serves again.
    ASSERT_EQ(host_.start(), openvr::InitErrorNone);
    publish({0.25f, 0.0f, 0.0f});
    EXPECT_EQ(frame().second, 0.25f);
}

TEST_F(VrDriverTest, ServesNothingButTheCurrentProviderInterface) {
    for (const char* version : {"IServerTrackedDeviceProvider_003", "IVRWatchdogProvider_001",
                                "IServerTrackedDeviceProvider_0045", ""}) {
        int code = 0;
        EXPECT_EQ(host_.factory(version, &code), nullptr) << version;
        EXPECT_EQ(code, openvr::InitErrorInterfaceNotFound) << version;
    }
    EXPECT_EQ(host_.factory(nullptr, nullptr), nullptr);
}

}  // namespace
