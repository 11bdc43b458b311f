// The built program started with its options, as from a shell and from the desktop entry:
// --help, --version and mistakes answer without a display and leave the folder alone; the
// desktop entry's --config-dir keeps the files in the configuration folder; --workdir and
// --port DEVICE connect to a device that the COM number does not name, and keep the number.
// GoogleTest before Xlib, whose None macro would break it.
// clang-format off
#include <gmock/gmock.h>
// clang-format on

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "mainwindow/ui_strings.h"
#include "platform/single_instance.h"
#include "tests/integration/program_run.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr const char* kIni = "[param]\r\ncomID=7\r\n";

struct Outcome {
    std::optional<int> code;
    std::string out;
    std::string err;
};

// Runs the program in `cwd` with no display, its output and errors kept apart.
Outcome runWithoutDisplay(const std::vector<std::string>& options, const std::string& cwd,
                          const TempDir& logs) {
    std::string command = "exec \"$0\"";
    for (std::size_t i = 0; i < options.size(); ++i)
        command += " \"$" + std::to_string(i + 1) + "\"";
    command += " >" + logs.file("out") + " 2>" + logs.file("err");
    std::vector<std::string> argv{"sh", "-c", command, testsupport::programBinary()};
    argv.insert(argv.end(), options.begin(), options.end());
    ChildProcess child(argv, cwd, {}, {"DISPLAY="});
    Outcome outcome;
    outcome.code = child.wait(10s);
    outcome.out = readFile(logs.file("out"));
    outcome.err = readFile(logs.file("err"));
    return outcome;
}

// The names in a folder, one a line, in order.
std::string entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string listing;
    for (const auto& name : names) listing += name + "\n";
    return listing;
}

TEST(CommandLineRun, HelpVersionAndMistakesNeedNoDisplayAndLeaveTheFolderAlone) {
    TempDir parent;
    const std::string work = parent.file("work");
    ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
    writeFile(work + "/tarvel.ini", kIni);
    TempDir logs;
    // A copy that already runs changes none of the answers: they come before the guard.
    platform::SingleInstanceGuard running;
    ASSERT_TRUE(running.acquire(ui_strings::kInstanceName));

    Outcome help = runWithoutDisplay({"--help"}, work, logs);
    EXPECT_EQ(help.code, 0);
    EXPECT_THAT(help.out, HasSubstr("Usage: tarvel [OPTION]..."));
    EXPECT_THAT(help.out, HasSubstr("--port DEVICE"));
    EXPECT_EQ(help.err, "");

    Outcome version = runWithoutDisplay({"--version"}, work, logs);
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, "tarvel " TARVEL_VERSION "\n");

    Outcome unknown = runWithoutDisplay({"--bogus", "--help"}, work, logs);
    EXPECT_EQ(unknown.code, 2);
    EXPECT_EQ(unknown.out, "");
    EXPECT_EQ(unknown.err.substr(0, unknown.err.find('\n') + 1),
              "tarvel: unknown option '--bogus'\n");
    EXPECT_THAT(unknown.err, HasSubstr("\nUsage: tarvel [OPTION]..."));

    Outcome noFolder = runWithoutDisplay({"--workdir", parent.file("missing")}, work, logs);
    EXPECT_EQ(noFolder.code, 1);
    EXPECT_THAT(noFolder.err, HasSubstr("tarvel: cannot work in " + parent.file("missing") +
                                        ": No such file or directory"));

    EXPECT_EQ(readFile(work + "/tarvel.ini"), kIni);
    EXPECT_EQ(entries(work), "tarvel.ini\n");
    EXPECT_FALSE(fileExists(parent.file("missing")));
}

class CommandLineWindowTest : public XSessionTest {
  protected:
    // Waits for the main window, then ends the program as the session would.
    void runUntilShownThenTerminate(ChildProcess& tarvel, const std::string& log) {
        const bool shown = waitUntil(
            [&] {
                const auto found = session_->findAllByName("Tarvel-Omnix", 440);
                return !found.empty() && session_->viewable(found.front());
            },
            15s);
        ASSERT_TRUE(shown) << readFile(log);
        tarvel.signal(SIGTERM);
        EXPECT_EQ(tarvel.wait(10s), 0) << readFile(log);
    }

    TempDir shell_;  // the folder it is started from
    TempDir home_;
};

TEST_F(CommandLineWindowTest, TheDesktopEntryKeepsItsFilesInTheConfigFolder) {
    const std::string config = home_.file("config");  // not there yet
    const std::string folder = config + "/tarvel";
    ChildProcess tarvel({testsupport::programBinary(), "--config-dir"}, shell_.path(),
                        home_.file("log"), {"XDG_CONFIG_HOME=" + config});
    runUntilShownThenTerminate(tarvel, home_.file("log"));

    struct stat st {};
    ASSERT_EQ(stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_THAT(readFile(folder + "/tarvel.ini"), HasSubstr("comID=3\r\n"));
    EXPECT_FALSE(fileExists(shell_.file("tarvel.ini")));
    // The COM link is looked for there too.
    EXPECT_THAT(readFile(home_.file("log")), HasSubstr("no COM3 link in " + folder));
}

TEST_F(CommandLineWindowTest, ANamedDeviceConnectsAndTheSavedComNumberStays) {
    TempDir work;
    writeFile(work.file("tarvel.ini"), kIni);
    // The simulator's pseudo-terminal, reached by its device path, not as COM7.
    ChildProcess simulator({testsupport::simulatorBinary(), "--port", "3"}, work.path(),
                           home_.file("sim.log"));
    ASSERT_TRUE(waitUntil([&] { return fileExists(work.file("COM3")); }, 10s));
    char device[256] = {};
    ASSERT_GT(readlink(work.file("COM3").c_str(), device, sizeof device - 1), 0);

    ChildProcess tarvel({testsupport::programBinary(), "--workdir", work.path(), "--port", device},
                        shell_.path(), home_.file("log"));
    EXPECT_TRUE(waitUntil(
        [&] {
            return readFile(home_.file("sim.log")).find("reader attached") != std::string::npos;
        },
        15s))
        << readFile(home_.file("log"));
    runUntilShownThenTerminate(tarvel, home_.file("log"));

    EXPECT_THAT(readFile(work.file("tarvel.ini")), HasSubstr("comID=7\r\n"))
        << readFile(home_.file("log"));
    EXPECT_THAT(readFile(home_.file("log")), Not(HasSubstr("tarvel: ")))
        << readFile(home_.file("sim.log"));
    EXPECT_FALSE(fileExists(shell_.file("tarvel.ini")));
}

}  // namespace
