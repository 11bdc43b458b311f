// The program's command line as it is read: both forms of an option's value, and the
// mistakes it refuses with a one-line reason.
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace {

using Action = CommandLine::Action;

TEST(CommandLine, ReadsTheOptionsInBothForms) {
    CommandLine line = parseCommandLine(
        {"--workdir", "/tmp/w", "--port=/dev/ttyUSB0", "--hidden", "--record", "walk.txt"});
    ASSERT_EQ(line.action, Action::Run) << line.error;
    EXPECT_EQ(line.workdir, "/tmp/w");
    EXPECT_EQ(line.portDevice, "/dev/ttyUSB0");
    EXPECT_TRUE(line.hidden);
    EXPECT_FALSE(line.configDir);
    EXPECT_EQ(line.recordFile, "walk.txt");
    EXPECT_EQ(parseCommandLine({"--record=a b.txt"}).recordFile, "a b.txt");

    line = parseCommandLine({"--config-dir", "--port", "/dev/serial/by-id/usb-X"});
    ASSERT_EQ(line.action, Action::Run) << line.error;
    EXPECT_TRUE(line.configDir);
    EXPECT_EQ(line.workdir, "");

    EXPECT_EQ(parseCommandLine({"--port", "/dev/ttyACM0", "-h"}).action, Action::Help);
    EXPECT_EQ(parseCommandLine({"--version"}).action, Action::Version);
    EXPECT_EQ(versionLine().rfind("tarvel ", 0), 0u);
}

TEST(CommandLine, RefusesMistakesWithOneLine) {
    const std::vector<std::vector<std::string>> wrong = {
        {"--bogus"},
        {"-x"},
        {"stray"},
        {"--port"},
        {"--port", ""},
        {"--port", "3"},  // a COM number where a device belongs
        {"--workdir"},
        {"--workdir="},
        {"--hidden=yes"},
        {"--record"},
        {"--record="},
        {"--workdir", "/tmp", "--config-dir"},
        {"--version", "--bogus"},
    };
    for (const auto& args : wrong) {
        const CommandLine line = parseCommandLine(args);
        EXPECT_EQ(line.action, Action::Error) << args[0];
        EXPECT_FALSE(line.error.empty()) << args[0];
        EXPECT_EQ(line.error.find('\n'), std::string::npos) << line.error;
    }
    EXPECT_EQ(parseCommandLine({"--bogus"}).error, "unknown option '--bogus'");
}

}  // namespace
