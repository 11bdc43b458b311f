// Integration test of the file dialogs with the real zenity on a private Xvfb server, driven
// by xdotool: the arguments the backend passes are ones zenity accepts, and what the user
// types and chooses comes back as the dialog's outcome.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "settings/settings_dialog.h"
#include "tests/support/scoped_env.h"
#include "tests/support/support.h"
#include "tests/support/x_session.h"

namespace {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::TempDir;

// A private X server, with the settings zenity needs for running without a
// desktop session.
class PrivateDisplay {
  public:
    bool ok() const { return session_ != nullptr && session_->ok(); }
    // Ends the server, and with it any dialog still showing on it.
    void stop() { session_.reset(); }

  private:
    testsupport::ScopedEnv gsettingsBackend_{"GSETTINGS_BACKEND", "memory"};
    testsupport::ScopedEnv noAtBridge_{"NO_AT_BRIDGE", "1"};
    std::unique_ptr<uitest::XSession> session_ = std::make_unique<uitest::XSession>();
};

// Runs one dialog on a thread while the test plays the user.
class DialogRun {
  public:
    explicit DialogRun(std::function<bool()> ask)
        : thread_([this, ask] {
              result_ = ask();
              done_ = true;
          }) {}
    ~DialogRun() {
        if (thread_.joinable()) thread_.join();
    }
    // The dialog's result once it closed; the display is stopped if it does not close.
    bool finish(PrivateDisplay& display) {
        if (!testsupport::waitUntil([&] { return done_.load(); }, 30s)) {
            display.stop();
            thread_.join();
            ADD_FAILURE() << "the dialog did not close";
            return false;
        }
        thread_.join();
        return result_;
    }

  private:
    std::atomic<bool> done_{false};
    bool result_ = false;
    std::thread thread_;
};

// Waits for a zenity window (the one whose title matches `title`, if given) to show, then
// focuses it and sends it each of `actions` (xdotool commands) in turn. The search is made
// again until it finds the window: one fails when a window that it looks at goes away
// meanwhile (the previous dialog's, as that dialog ends).
bool actOnDialog(const std::vector<std::string>& actions, const std::string& title = {}) {
    std::string search = title.empty() ? "--class zenity" : "--name '" + title + "'";
    std::string script = "until w=$(xdotool search --onlyvisible " + search +
                         " 2>/dev/null | head -n 1); [ -n \"$w\" ]; do sleep 0.1; done";
    for (const auto& action : actions) {
        script += " && sleep 1 && xdotool windowfocus --sync \"$w\" " + action;
    }
    ChildProcess xdotool({"sh", "-c", script});
    return xdotool.wait(60s) == 0;
}

class ZenityDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* program : {"zenity", "Xvfb", "xdotool"}) {
            if (!testsupport::onPath(program)) GTEST_SKIP() << program << " is not installed";
        }
        display_ = std::make_unique<PrivateDisplay>();
        ASSERT_TRUE(display_->ok()) << "Xvfb did not start";
        cwd_ = std::make_unique<testsupport::ScopedCwd>(dir_.path());
    }
    void TearDown() override {
        cwd_.reset();
        display_.reset();
    }

    TempDir dir_;
    std::unique_ptr<PrivateDisplay> display_;
    std::unique_ptr<testsupport::ScopedCwd> cwd_;
    SettingsFileDialog dialog_;
};

TEST_F(ZenityDialog, SavingUnderATypedNameAddsTheIniExtension) {
    DialogRun run([&] { return dialog_.askSavePath(0); });
    EXPECT_TRUE(actOnDialog({"type --delay 30 walk", "key Return"}));
    EXPECT_TRUE(run.finish(*display_));
    EXPECT_EQ(dialog_.path, dir_.path() + "/walk.ini");
}

TEST_F(ZenityDialog, ReplacingTheCompletedNameIsAskedAbout) {
    testsupport::writeFile(dir_.file("walk.ini"), "existing");
    DialogRun run([&] { return dialog_.askSavePath(0); });
    EXPECT_TRUE(actOnDialog({"type --delay 30 walk", "key Return"}));
    // Now the question about walk.ini; its default answer is yes.
    EXPECT_TRUE(actOnDialog({"key Return"}, "^Question$"));
    EXPECT_TRUE(run.finish(*display_));
    EXPECT_EQ(dialog_.path, dir_.path() + "/walk.ini");
}

TEST_F(ZenityDialog, OpeningAnUpperCaseIniFileIsAccepted) {
    testsupport::writeFile(dir_.file("settings.INI"), "[param]\r\n");
    DialogRun run([&] { return dialog_.askOpenPath(0); });
    EXPECT_TRUE(actOnDialog({"type --delay 30 '" + dir_.file("settings.INI") + "'", "key Return"}));
    EXPECT_TRUE(run.finish(*display_));
    EXPECT_EQ(dialog_.path, dir_.file("settings.INI"));
}

TEST_F(ZenityDialog, CancellingChoosesNothing) {
    dialog_.path = "left over";
    DialogRun run([&] { return dialog_.askSavePath(0); });
    EXPECT_TRUE(actOnDialog({"key Escape"}));
    EXPECT_FALSE(run.finish(*display_));
    EXPECT_EQ(dialog_.path, "");
}

}  // namespace
