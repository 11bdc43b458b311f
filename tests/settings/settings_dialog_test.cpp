// Tests of the settings file dialogs with a stand-in dialog program first in PATH: what the
// program is asked, and how its answers (a path, a cancel) become the dialog's outcome.
#include "settings/settings_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_chooser.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/support.h"

namespace {

using testsupport::FakeDialogs;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

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
