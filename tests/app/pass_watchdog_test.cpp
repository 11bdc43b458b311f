// The watchdog of the passes on real UDP sockets (the program test holds a real main thread up):
// the game's OSC axes are zeroed too, and each hold-up after live values is stood in for once.
#include "app/pass_watchdog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/default_settings.h"
#include "tests/support/support.h"

namespace {

using namespace std::chrono_literals;

TEST(PassWatchdog, EachHoldUpAfterLiveValuesZeroesTheOscAxesOnce) {
    testsupport::UdpListener telemetry;
    testsupport::UdpListener osc;
    WalkState walking = testsupport::defaultSettings();
    walking.oscEnabled = 1;
    std::strcpy(walking.oscHost, "127.0.0.1");
    walking.oscPort = osc.port();
    walking.walking = 1;
    walking.angle = -30.0f;

    PassWatchdog watchdog(telemetry.port());
    for (std::uint32_t holdUp = 1; holdUp <= 2; ++holdUp) {
        watchdog.passed(walking, true);
        ASSERT_TRUE(telemetry.receive(10s)) << holdUp;
        // The three axes, each message ending in its float argument: zero.
        for (int i = 0; i < 3; ++i) {
            const auto message = osc.receive(10s);
            ASSERT_TRUE(message) << i;
            EXPECT_EQ(message->substr(message->size() - 4), std::string(4, '\0')) << i;
        }
        EXPECT_EQ(watchdog.standIns(), holdUp);
    }
}

}  // namespace
