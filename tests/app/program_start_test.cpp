// How the program starts as its options and the session ask: hidden in the tray (only when
// there is a tray to come back from), and the note on stderr that desktop mode's keys do not
// reach native Wayland programs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "analysis/walk_state.h"
#include "app/program.h"
#include "link/sensor_link.h"
#include "tests/support/fake_window_system.h"
#include "tests/support/recording_injector.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"

using testsupport::ScopedEnv;

namespace {

class ProgramStartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        instanceName_ = "tarvel-start-test-" + std::to_string(getpid());
        options.instanceName = instanceName_.c_str();
        options.injector = &injector;
        options.telemetryPort = listener.port();
        WalkState::instance() = WalkState{};
    }
    void TearDown() override { SensorLink::instance().reset(); }

    // Runs the program until its first idle turn, notes whether the main window is visible
    // then, and ends it through the tray menu's exit item.
    bool visibleAtStart() {
        bool visible = false;
        fake.whenIdle = [&] {
            const platform::NativeWindow main = fake.findByTitle("Tarvel-Omnix");
            visible = fake.window(main)->visible;
            fake.menuChoice = 40004;
            fake.postMessage(main, platform::kWmTrayIcon, 0, platform::kWmRButtonDown);
            fake.whenIdle = nullptr;
        };
        EXPECT_EQ(runProgram(options), 0);
        return visible;
    }

    // What the program says on stderr in a run with this appMode.
    std::string saysInMode(int appMode) {
        testsupport::writeFile(dir_.file("tarvel.ini"),
                               "[emulation]\r\nappMode=" + std::to_string(appMode) + "\r\n");
        ::testing::internal::CaptureStderr();
        visibleAtStart();
        return ::testing::internal::GetCapturedStderr();
    }

    testsupport::TempDir dir_;
    testsupport::ScopedCwd cwd_{dir_.path()};
    testsupport::FakeWindowSystem fake;
    testsupport::RecordingInjector injector;
    testsupport::UdpListener listener;
    std::string instanceName_;
    ProgramOptions options;
};

TEST_F(ProgramStartTest, StartsHiddenInTheTrayOnlyWhenThereIsOne) {
    EXPECT_TRUE(visibleAtStart());
    options.startHidden = true;
    EXPECT_FALSE(visibleAtStart());
    fake.trayHostRunning = false;
    EXPECT_TRUE(visibleAtStart()) << "no tray to bring a hidden window back from";
}

TEST_F(ProgramStartTest, DesktopModeInAWaylandSessionSaysSoOnce) {
    const std::string note = "tarvel: this is a Wayland session: desktop mode's key presses";
    {
        ScopedEnv display("WAYLAND_DISPLAY", "wayland-0");
        ScopedEnv type("XDG_SESSION_TYPE", std::nullopt);
        const std::string said = saysInMode(1);
        EXPECT_THAT(said, ::testing::HasSubstr(note));
        EXPECT_EQ(said.find(note), said.rfind(note));
        EXPECT_THAT(saysInMode(0), ::testing::Not(::testing::HasSubstr("Wayland")));
    }
    {
        ScopedEnv display("WAYLAND_DISPLAY", std::nullopt);
        ScopedEnv type("XDG_SESSION_TYPE", "wayland");
        EXPECT_THAT(saysInMode(1), ::testing::HasSubstr(note));
    }
    ScopedEnv display("WAYLAND_DISPLAY", std::nullopt);
    ScopedEnv type("XDG_SESSION_TYPE", "x11");
    EXPECT_THAT(saysInMode(1), ::testing::Not(::testing::HasSubstr("Wayland")));
}

}  // namespace
