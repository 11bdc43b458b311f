// Tests of the settings file dialogs with a stand-in dialog program first in PATH: what the
// program is asked, and how its answers (a path, a cancel) become the dialog's outcome.
#include "settings/settings_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_chooser.h"
#include "tests/support/support.h"

namespace {

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

// Logs its arguments and answers the n-th file dialog with the line in answer<n> (exit 1, a
// cancel, when there is none) and every question with the code in "question".
const char* const kFakeDialog = R"(#!/bin/sh
for a in "$@"; do printf '%s\n' "$a" >> "$FAKE_DIALOG_DIR/args"; done
printf '%s\n' '----' >> "$FAKE_DIALOG_DIR/args"
case "$1" in
  --question|--warningyesno) read code < "$FAKE_DIALOG_DIR/question"; exit "$code" ;;
esac
n=0
[ -f "$FAKE_DIALOG_DIR/count" ] && read n < "$FAKE_DIALOG_DIR/count"
n=$((n + 1))
printf '%s\n' "$n" > "$FAKE_DIALOG_DIR/count"
if [ -f "$FAKE_DIALOG_DIR/answer$n" ]; then
  read answer < "$FAKE_DIALOG_DIR/answer$n"
  printf '%s\n' "$answer"
  exit 0
fi
exit 1
)";

// Puts a folder holding the stand-in under the given names alone on PATH.
class FakeDialogs {
  public:
    explicit FakeDialogs(const std::vector<std::string>& programNames) {
        std::filesystem::create_directory(bin_);
        for (const auto& name : programNames) {
            writeFile(bin_ + "/" + name, kFakeDialog);
            ::chmod((bin_ + "/" + name).c_str(), 0755);
        }
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        ::setenv("PATH", bin_.c_str(), 1);
        ::setenv("FAKE_DIALOG_DIR", dir_.path().c_str(), 1);
    }
    ~FakeDialogs() {
        ::setenv("PATH", oldPath_.c_str(), 1);
        ::unsetenv("FAKE_DIALOG_DIR");
    }

    // The answer of the n-th file dialog (counting from 1).
    void answer(int n, const std::string& path) {
        writeFile(dir_.file("answer" + std::to_string(n)), path + "\n");
    }
    void answerQuestionsWith(int code) { writeFile(dir_.file("question"), std::to_string(code)); }

    // The argument lists of the calls so far.
    std::vector<std::vector<std::string>> calls() const {
        std::vector<std::vector<std::string>> result(1);
        std::string text = readFile(dir_.file("args"));
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find('\n', pos);
            std::string line = text.substr(pos, end - pos);
            pos = end + 1;
            if (line == "----") {
                result.emplace_back();
            } else {
                result.back().push_back(line);
            }
        }
        result.pop_back();
        return result;
    }

    std::string folder(const std::string& name) const { return dir_.file(name); }

  private:
    TempDir dir_;
    std::string bin_ = dir_.file("bin");
    std::string oldPath_;
};

bool has(const std::vector<std::string>& args, const std::string& arg) {
    return std::find(args.begin(), args.end(), arg) != args.end();
}

TEST(SettingsFileDialog, ACancelledDialogGivesFalseAndAnEmptyPath) {
    FakeDialogs fake({"zenity"});
    SettingsFileDialog dialog;
    dialog.path = "left over";
    EXPECT_FALSE(dialog.askOpenPath(0));
    EXPECT_EQ(dialog.path, "");
    dialog.path = "left over";
    EXPECT_FALSE(dialog.askSavePath(0));
    EXPECT_EQ(dialog.path, "");
    EXPECT_EQ(fake.calls().size(), 2u);
}

TEST(SettingsFileDialog, OpenAcceptsTheIniExtensionInAnyCase) {
    FakeDialogs fake({"zenity"});
    const std::string chosen = fake.folder("settings.INI");
    fake.answer(1, chosen);
    SettingsFileDialog dialog;
    EXPECT_TRUE(dialog.askOpenPath(0));
    EXPECT_EQ(dialog.path, chosen);
    EXPECT_EQ(dialog.path.substr(dialog.extension), ".INI");

    auto args = fake.calls().at(0);
    EXPECT_EQ(args.at(0), "--file-selection");
    EXPECT_TRUE(has(args, "--file-filter=All supported files | *.[iI][nN][iI]"));
    EXPECT_FALSE(has(args, "--save"));
    EXPECT_FALSE(has(args, "--modal"));
}

TEST(SettingsFileDialog, OpenRefusesOtherExtensionsAndNamesWithout) {
    FakeDialogs fake({"zenity"});
    fake.answer(1, fake.folder("settings.txt"));
    fake.answer(2, fake.folder("settings"));
    fake.answer(3, fake.folder("settings.ini.bak"));
    fake.answer(4, fake.folder("no-such-folder/settings.ini"));
    SettingsFileDialog dialog;
    EXPECT_FALSE(dialog.askOpenPath(0));
    EXPECT_EQ(dialog.path, fake.folder("settings.txt"));  // chosen, but not to be loaded
    EXPECT_FALSE(dialog.askOpenPath(0));
    EXPECT_EQ(dialog.extension, dialog.path.size());
    EXPECT_FALSE(dialog.askOpenPath(0));
    EXPECT_FALSE(dialog.askOpenPath(0));  // the open dialog returns only existing folders
}

TEST(SettingsFileDialog, SaveAddsTheIniExtensionToANameWithout) {
    FakeDialogs fake({"zenity"});
    fake.answer(1, fake.folder("walk"));
    fake.answer(2, fake.folder("walk.txt"));
    SettingsFileDialog dialog;
    EXPECT_TRUE(dialog.askSavePath(0));
    EXPECT_EQ(dialog.path, fake.folder("walk.ini"));
    EXPECT_EQ(dialog.path.substr(dialog.extension), ".ini");
    EXPECT_TRUE(dialog.askSavePath(0));  // any extension the user typed is kept
    EXPECT_EQ(dialog.path, fake.folder("walk.txt"));

    auto args = fake.calls().at(0);
    EXPECT_TRUE(has(args, "--save"));
    EXPECT_TRUE(has(args, "--confirm-overwrite"));
    EXPECT_TRUE(has(args, "--file-filter=All supported files | *.[iI][nN][iI]"));
}

TEST(SettingsFileDialog, ReplacingTheCompletedNameIsAskedFirst) {
    FakeDialogs fake({"zenity"});
    writeFile(fake.folder("walk.ini"), "existing");
    fake.answer(1, fake.folder("walk"));
    fake.answer(2, fake.folder("run"));
    fake.answerQuestionsWith(1);  // "no": back to the dialog, which gives "run"
    SettingsFileDialog dialog;
    EXPECT_TRUE(dialog.askSavePath(0));
    EXPECT_EQ(dialog.path, fake.folder("run.ini"));
    auto calls = fake.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].at(0), "--question");
    EXPECT_TRUE(has(calls[2], "--filename=" + fake.folder("walk.ini")));

    fake.answer(3, fake.folder("walk"));
    fake.answerQuestionsWith(0);  // "yes"
    EXPECT_TRUE(dialog.askSavePath(0));
    EXPECT_EQ(dialog.path, fake.folder("walk.ini"));
}

TEST(SettingsFileDialog, TheOwnerWindowIsPassedOn) {
    FakeDialogs fake({"zenity"});
    SettingsFileDialog dialog;
    dialog.askOpenPath(0x2a00007);
    auto args = fake.calls().at(0);
    EXPECT_TRUE(has(args, "--attach=44040199"));
    EXPECT_TRUE(has(args, "--modal"));
}

TEST(SettingsFileDialog, KdialogServesWhenZenityIsMissing) {
    FakeDialogs fake({"kdialog"});
    fake.answer(1, fake.folder("walk"));
    SettingsFileDialog dialog;
    EXPECT_TRUE(dialog.askSavePath(77));
    EXPECT_EQ(dialog.path, fake.folder("walk.ini"));
    auto args = fake.calls().at(0);
    EXPECT_EQ(args.at(0), "--getsavefilename");
    EXPECT_EQ(args.at(2), "*.[iI][nN][iI]|All supported files");
    EXPECT_TRUE(has(args, "--attach"));
    EXPECT_TRUE(has(args, "77"));
}

TEST(SettingsFileDialog, WithoutADialogProgramNothingIsChosen) {
    FakeDialogs fake({});
    SettingsFileDialog dialog;
    dialog.path = "left over";
    EXPECT_FALSE(dialog.askOpenPath(0));
    EXPECT_EQ(dialog.path, "");
    EXPECT_FALSE(dialog.askSavePath(0));
    EXPECT_EQ(dialog.path, "");
}

TEST(FindExtension, FindsTheLastDotOfTheFileName) {
    using platform::findExtension;
    EXPECT_EQ(findExtension("/home/u/tarvel.ini"), 14u);
    EXPECT_EQ(findExtension("/home/u/a.b.ini"), 11u);
    EXPECT_EQ(findExtension("/home/u.d/walk"), 14u);  // a dot in a folder name does not count
    EXPECT_EQ(findExtension("walk."), 4u);
    EXPECT_EQ(findExtension("/home/u/.ini"), 8u);
    EXPECT_EQ(findExtension(""), 0u);
    EXPECT_EQ(findExtension("/home/u/my walk.ini"), 15u);
    EXPECT_EQ(findExtension("/home/u/v1.2 backup"), 19u);  // a blank after the dot: none
}

}  // namespace
