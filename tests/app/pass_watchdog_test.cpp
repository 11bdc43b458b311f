// The watchdog of the passes on real UDP sockets: a main thread that stops passing after live
// values leaves the listeners with values at rest, once per hold-up.
#include "app/pass_watchdog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/support/default_settings.h"
#include "tests/support/support.h"

namespace {

using namespace std::chrono_literals;

TEST(PassWatchdog, AMainThreadHeldUpAfterLiveValuesLeavesTheListenersAtRestOnce) {
    testsupport::UdpListener telemetry;
    testsupport::UdpListener osc;
    WalkState walking = testsupport::defaultSettings();
    walking.oscEnabled = 1;
    std::strcpy(walking.oscHost, "127.0.0.1");
    walking.oscPort = osc.port();
    walking.walking = 1;
    walking.upperAverage = 2.5f;
    walking.lowerMovingAverage = 1.5f;
    walking.angle = -30.0f;

    PassWatchdog watchdog(telemetry.port());
    // Passes at rest need no stand-in: nothing goes out however long the thread is away.
    watchdog.passed(walking, false);
    watchdog.passed(walking, true);

    const auto rest = telemetry.receive(10s);
    ASSERT_TRUE(rest);
    const auto fields = testsupport::datagramFields(*rest);
    ASSERT_EQ(fields.size(), 17u);
    EXPECT_EQ(fields[2], "0.000000");  // upperAverage
    EXPECT_EQ(fields[6], "0.000000");  // lowerMovingAverage
    EXPECT_EQ(fields[9], "0.000000");  // angle
    EXPECT_EQ(fields[5], "0.300000");  // the settings as they were
    // The three axes at zero: each message ends in its float argument.
    for (int i = 0; i < 3; ++i) {
        const auto message = osc.receive(10s);
        ASSERT_TRUE(message) << i;
        EXPECT_EQ(message->substr(message->size() - 4), std::string(4, '\0')) << i;
    }
    EXPECT_EQ(watchdog.standIns(), 1u);

    // The next hold-up after live values again: once more.
    watchdog.passed(walking, true);
    ASSERT_TRUE(telemetry.receive(10s));
    EXPECT_EQ(watchdog.standIns(), 2u);
}

}  // namespace
