// The main loop on the fake window system: a refresh before every message and
// every pass, messages before passes, no pass and no busy turning while the
// link is not connected, the pause after each pass, and exit requests; and its
// turns during a modal dialog, which drop the user's input; the pace of the refresh.
#include "app/main_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/refresh_pace.h"
#include "tests/support/fake_window_system.h"

namespace {

std::vector<std::string>* journal = nullptr;

platform::LResult recordingProc(platform::NativeWindow, std::uint32_t message, platform::WParam,
                                platform::LParam) {
    if (message != platform::kWmCreate)
        journal->push_back(message == platform::kWmUser ? "M" : "I");
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
        steps.releaseInput = [this] { events.push_back("U"); };
        steps.modalPass = [this] { events.push_back("Q"); };
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
    long count(const char* event) const { return std::count(events.begin(), events.end(), event); }
    // What the window shows is never older than the turn: a refresh came right before every
    // message and every pass; and every pass was followed by its pause.
    void expectRefreshedTurnsAndPausedPasses() const {
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i] == "M" || events[i] == "P") {
                EXPECT_TRUE(i > 0 && events[i - 1] == "R") << sequence();
            }
            if (events[i] == "P") {
                EXPECT_TRUE(i + 1 < events.size() && events[i + 1] == "S") << sequence();
            }
        }
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
    // Every message handled, one wait whenever none was left, and no pass.
    EXPECT_EQ(count("M"), 4);
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(fake.waits, 2);
    expectRefreshedTurnsAndPausedPasses();
}

TEST_F(MainLoopTest, TheWaitForAMessageEndsWhenTheProgramHasSomethingToDo) {
    int owed = 7;
    steps.idleWaitMs = [&] { return owed; };
    fake.whenIdle = [&] {
        if (owed < 0) fake.postQuitMessage(0);
        owed = -1;
    };
    EXPECT_EQ(runMainLoop(fake, steps), 0);
    EXPECT_EQ(fake.waitTimeouts, (std::vector<int>{7, -1}));
}

TEST(RefreshPace, AtMostOncePerDisplayFrameAndWhatIsLeftOutIsOwed) {
    using namespace std::chrono_literals;
    RefreshPace pace;
    const RefreshPace::Clock::time_point t{1h};
    EXPECT_TRUE(pace.due(t));
    EXPECT_EQ(pace.owedMs(t), -1);
    EXPECT_FALSE(pace.due(t + 5ms));
    EXPECT_EQ(pace.owedMs(t + 5ms), 12);
    EXPECT_FALSE(pace.due(t + 16ms));
    EXPECT_TRUE(pace.due(t + 17ms));
    EXPECT_EQ(pace.owedMs(t + 20ms), -1);
}

TEST_F(MainLoopTest, AWakeUpWithoutAMessageOnlyCostsARefresh) {
    int idle = 0;
    fake.whenIdle = [&] {
        events.push_back("W");
        if (++idle == 3) fake.postQuitMessage(0);
    };
    EXPECT_EQ(runMainLoop(fake, steps), 0);
    // Each wake-up: a refresh and a wait again, nothing else.
    EXPECT_EQ(count("W"), 3);
    EXPECT_EQ(count("M") + passes, 0);
}

TEST_F(MainLoopTest, ConnectedItRunsAPassOnEveryIdleTurnAndMessagesComeFirst) {
    connected = true;
    post();
    int passesWithMessagesWaiting = 0;
    onPass = [&](int n) {
        if (fake.peekMessage()) ++passesWithMessagesWaiting;
        if (n == 1) {
            post();
            post();
        }
        if (n == 3) fake.postQuitMessage(0);
    };
    EXPECT_EQ(runMainLoop(fake, steps), 0);
    EXPECT_EQ(count("M"), 3);
    EXPECT_EQ(passesWithMessagesWaiting, 0);
    EXPECT_EQ(fake.waits, 0);
    expectRefreshedTurnsAndPausedPasses();
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
    // No pass before the message that connected, one on each idle turn after it.
    const std::string order = sequence();
    EXPECT_LT(order.find('M'), order.find('P')) << order;
    EXPECT_EQ(passes, 2);
    expectRefreshedTurnsAndPausedPasses();
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
    EXPECT_EQ(count("X"), 1);
    // The message the exit command posted was still handled.
    EXPECT_EQ(count("M"), 1);
}

TEST_F(MainLoopTest, ExitWhileConnectedEndsWithTheQuitCode) {
    connected = true;
    onPass = [&](int n) {
        if (n == 2) exitRequested = true;
    };
    EXPECT_EQ(runMainLoop(fake, steps), 0);
    EXPECT_EQ(count("X"), 1);
    EXPECT_EQ(passes, 2);
    expectRefreshedTurnsAndPausedPasses();
}

TEST_F(MainLoopTest, ModalTurnsHandleMessagesDropInputAndPassWithoutPausing) {
    connected = true;
    fake.postMessage(window, platform::kWmLButtonDown, 0, 0);
    post();
    fake.postMessage(window, platform::kWmKeyDown, platform::kVkReturn, 0);
    fake.postMessage(window, platform::kWmCommand, 127, 0);
    fake.postMessage(window, platform::kWmTrayIcon, 0, platform::kWmRButtonDown);
    std::vector<int> waits;
    for (int turn = 0; turn < 6; ++turn) {
        const platform::ModalTurn t = runModalTurn(fake, steps);
        EXPECT_FALSE(t.end);
        waits.push_back(t.waitMs);
    }
    // One message per turn, each after the key emulation's release and a refresh; only the
    // non-input one reaches the window, and the input is gone, not kept for later. The pass
    // is the one without key emulation, and its pause is the modal wait's.
    EXPECT_EQ(sequence(), "URURMURURURURQ");
    EXPECT_EQ(waits, (std::vector<int>{0, 0, 0, 0, 0, 1}));
    EXPECT_FALSE(fake.peekMessage());

    // When the system's modal loop takes the messages, the turn leaves them to it.
    post();
    events.clear();
    EXPECT_EQ(runModalTurn(fake, steps, platform::ModalQueue::system).waitMs, 1);
    EXPECT_EQ(sequence(), "URQ");
    EXPECT_TRUE(fake.peekMessage());
    platform::Message waiting;
    fake.getMessage(waiting);

    // Not connected: no pass, and a wait that is not endless.
    connected = false;
    events.clear();
    const platform::ModalTurn idle = runModalTurn(fake, steps);
    EXPECT_EQ(sequence(), "UR");
    EXPECT_GT(idle.waitMs, 0);

    // A quit message ends the modal wait and stays for the main loop.
    fake.postQuitMessage(7);
    EXPECT_TRUE(runModalTurn(fake, steps).end);
    platform::Message message;
    EXPECT_FALSE(fake.getMessage(message));
    EXPECT_EQ(message.wParam, 7u);

    // So does an exit request, before anything else.
    exitRequested = true;
    events.clear();
    EXPECT_TRUE(runModalTurn(fake, steps).end);
    EXPECT_EQ(sequence(), "");
}

}  // namespace
