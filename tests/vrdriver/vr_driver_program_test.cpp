// The driver in the test host beside the real program on the simulator: the treadmill walks
// while the program walks in VR mode with XR output on, and stands (exactly 0) when the output
// is switched off, when the program is killed and after it ends.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

#include "mainwindow/uiex.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"
#include "tests/support/x_session.h"
#include "tests/vrdriver/driver_host.h"

namespace {

using namespace std::chrono_literals;
using testsupport::waitUntil;

TEST(VrDriverProgram, TheTreadmillWalksOnlyWhileTheProgramWalks) {
    uitest::XSession session(true);
    ASSERT_TRUE(session.ok()) << "no Xvfb";
    testsupport::TempDir dir;
    testsupport::ScopedEnv runtime{"XDG_RUNTIME_DIR", dir.path()};
    testsupport::writeFile(dir.file("tarvel.ini"), "[openxr]\r\nenabled=1\r\n");
    vrtest::DriverHost host;
    ASSERT_TRUE(host.load(vrtest::driverLibrary()));
    ASSERT_EQ(host.start(), openvr::InitErrorNone);
    const auto forward = [&] {
        host.runFrame();
        return host.component("/input/joystick/y")->value;
    };
    const auto walking = [&] { return waitUntil([&] { return forward() > 0.2f; }, 60s); };
    const auto standing = [&] {
        return waitUntil(
            [&] { return forward() == 0.0f && host.component("/input/joystick/x")->value == 0.0f; },
            10s);
    };
    testsupport::ChildProcess simulator(
        {testsupport::simulatorBinary(), "--port", "3", "--quiet", "--sequence", "walk:600"},
        dir.path(), dir.file("sim.log"));
    ASSERT_TRUE(waitUntil([&] { return testsupport::fileExists(dir.file("COM3")); }, 10s));
    const auto start = [&] {
        return std::make_unique<testsupport::ChildProcess>(
            std::vector<std::string>{testsupport::programBinary()}, dir.path(),
            dir.file("tarvel.log"));
    };
    const auto click = [&](int x, int y) {
        Window window = 0;
        ASSERT_TRUE(
            waitUntil([&] { return (window = session.findByName("Tarvel-Omnix")) != 0; }, 10s));
        const auto [wx, wy] = session.origin(window);
        session.click(wx + x + 10, wy + y + 10);
    };
    auto program = start();
    ASSERT_TRUE(walking()) << testsupport::readFile(dir.file("tarvel.log"));
    click(UIEx::kXrToggleX, UIEx::kXrToggleY);  // XR出力：無効
    EXPECT_TRUE(standing()) << "switched off";
    click(UIEx::kXrToggleX, UIEx::kXrToggleY);
    ASSERT_TRUE(walking());
    program->signal(SIGKILL);
    ASSERT_TRUE(program->wait(10s).has_value());
    EXPECT_TRUE(standing()) << "after the program was killed";
    program = start();
    ASSERT_TRUE(walking());
    program->signal(SIGTERM);
    EXPECT_EQ(program->wait(10s), std::optional<int>(0));
    EXPECT_TRUE(standing()) << "after the program ended";
    host.stop();
}

}  // namespace
