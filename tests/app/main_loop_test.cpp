// The main loop on the fake window system: a refresh before every message and
// every pass, messages before passes, no pass and no busy turning while the
// link is not connected, the pause after each pass, and exit requests.
#include "app/main_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fake_window_system.h"

namespace {

std::vector<std::string>* journal = nullptr;

platform::LResult recordingProc(platform::NativeWindow, std::uint32_t message, platform::WParam,
                                platform::LParam) {
    if (message == platform::kWmUser) journal->push_back("M");
    return 0;
}

class MainLoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        journal = &events;
        platform::WindowClass cls;
        cls.proc = recordingProc;
        cls.name = "recorder";
        fake.registerClass(cls);
        platform::WindowCreate create;
        create.className = "recorder";
        window = fake.createWindow(create);

        steps.refresh = [this] { events.push_back("R"); };
        steps.connected = [this] { return connected; };
        steps.pass = [this] {
            events.push_back("P");
            ++passes;
            if (onPass) onPass(passes);
        };
        steps.pause = [this] { events.push_back("S"); };
        steps.exitRequested = [this] { return exitRequested; };
        steps.exit = [this] {
            events.push_back("X");
            fake.postQuitMessage(0);
        };
    }
    void TearDown() override { journal = nullptr; }

    void post() { fake.postMessage(window, platform::kWmUser, 0, 0); }
    std::string sequence() const {
        std::string out;
        for (const auto& e : events) out += e;
        return out;
    }

    testsupport::FakeWindowSystem fake;
    platform::NativeWindow window = 0;
    LoopSteps steps;
    std::vector<std::string> events;
    bool connected = false;
    bool exitRequested = false;
    int passes = 0;
    std::function<void(int)> onPass;
};

TEST_F(MainLoopTest, NotConnectedItRefreshesBeforeEachMessageAndWaitsInsteadOfSpinning) {
    post();
    post();
    post();
    int idle = 0;
    fake.whenIdle = [&] {
        events.push_back("W");
        if (++idle == 2) {
            fake.postQuitMessage(5);
        } else {
            post();
        }
    };
    EXPECT_EQ(runMainLoop(fake, steps), 5);
    // Three messages, a wait, the message that came during it, a second wait
    // that brought the quit message.
    EXPECT_EQ(sequence(), "RMRMRMRWRMRWR");
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(fake.waits, 2);
}

TEST_F(MainLoopTest, AWakeUpWithoutAMessageOnlyCostsARefresh) {
    int idle = 0;
    fake.whenIdle = [&] {
        events.push_back("W");
        if (++idle == 3) fake.postQuitMessage(0);
    };
    EXPECT_EQ(runMainLoop(fake, steps), 0);
    EXPECT_EQ(sequence(), "RWRWRWR");
}

TEST_F(MainLoopTest, ConnectedItRunsAPassOnEveryIdleTurnAndMessagesComeFirst) {
    connected = true;
    post();
    onPass = [&](int n) {
        if (n == 1) {
            post();
            post();
        }
        if (n == 3) fake.postQuitMessage(0);
    };
    EXPECT_EQ(runMainLoop(fake, steps), 0);
    EXPECT_EQ(sequence(), "RMRPSRMRMRPSRPSR");
    EXPECT_EQ(fake.waits, 0);
}

TEST_F(MainLoopTest, PassesStartWhenTheLinkConnectsDuringAMessage) {
    // The connect command runs inside a message; the next idle turn passes.
    fake.whenIdle = [&] {
        events.push_back("W");
        post();
    };
    onPass = [&](int n) {
        if (n == 2) fake.postQuitMessage(0);
    };
    steps.refresh = [&] {
        events.push_back("R");
        if (events.size() > 3) connected = true;
    };
    EXPECT_EQ(runMainLoop(fake, steps), 0);
    EXPECT_EQ(sequence(), "RWRMRPSRPSR");
}

TEST_F(MainLoopTest, AnExitRequestRunsTheExitCommandOnce) {
    int idle = 0;
    fake.whenIdle = [&] {
        events.push_back("W");
        if (++idle == 1) {
            exitRequested = true;  // a signal arrived while waiting
        } else {
            fake.postQuitMessage(9);
        }
    };
    // The request stays set; the exit command must not run a second time.
    steps.exit = [&] {
        events.push_back("X");
        post();
    };
    EXPECT_EQ(runMainLoop(fake, steps), 9);
    EXPECT_EQ(sequence(), "RWXRMRWR");
}

TEST_F(MainLoopTest, ExitWhileConnectedEndsWithTheQuitCode) {
    connected = true;
    onPass = [&](int n) {
        if (n == 2) exitRequested = true;
    };
    EXPECT_EQ(runMainLoop(fake, steps), 0);
    EXPECT_EQ(sequence(), "RPSRPSXR");
}

}  // namespace
