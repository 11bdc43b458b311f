// Tests of the whole-file replace: permissions, links, refused targets, failures midway, no
// temporary files left, and saves killed at random moments.
#include "platform/file_replace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "tests/support/as_user.h"
#include "tests/support/default_settings.h"
#include "tests/support/support.h"

namespace {

namespace fs = std::filesystem;
using platform::replaceFileContents;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

class FileReplace : public ::testing::Test {
  protected:
    TempDir dir_;
    std::string path_ = dir_.file("tarvel.ini");
};

TEST_F(FileReplace, CreatesANewFileWithTheUsualPermissions) {
    mode_t old = ::umask(022);
    EXPECT_TRUE(replaceFileContents(path_, "new\r\n"));
    ::umask(old);
    EXPECT_EQ(readFile(path_), "new\r\n");
    EXPECT_EQ(modeOf(path_), 0644u);
    EXPECT_EQ(namesIn(dir_.path()), std::vector<std::string>{"tarvel.ini"});
}

TEST_F(FileReplace, ReplacesAWholeFileAndKeepsItsModeAndOwner) {
    writeFile(path_, std::string(5000, 'o'));
    ::chmod(path_.c_str(), 0640);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path_.c_str(), settingstest::kNobody, 0), 0);
    }
    EXPECT_TRUE(replaceFileContents(path_, "short"));
    EXPECT_EQ(readFile(path_), "short");
    EXPECT_EQ(modeOf(path_), 0640u);
    struct stat st {};
    ::stat(path_.c_str(), &st);
    if (root) {
        EXPECT_EQ(st.st_uid, settingstest::kNobody);
    }
    EXPECT_TRUE(replaceFileContents(path_, ""));
    EXPECT_EQ(readFile(path_), "");
    EXPECT_EQ(namesIn(dir_.path()), std::vector<std::string>{"tarvel.ini"});
}

TEST_F(FileReplace, ALinkStaysALinkAndItsTargetIsReplaced) {
    fs::create_directory(dir_.file("real"));
    writeFile(dir_.file("real/settings.ini"), "old");
    fs::create_symlink("real/settings.ini", dir_.file("relative.ini"));
    fs::create_symlink(dir_.file("relative.ini"), dir_.file("chain.ini"));

    EXPECT_TRUE(replaceFileContents(dir_.file("chain.ini"), "via chain"));
    EXPECT_TRUE(fs::is_symlink(dir_.file("chain.ini")));
    EXPECT_TRUE(fs::is_symlink(dir_.file("relative.ini")));
    EXPECT_EQ(readFile(dir_.file("real/settings.ini")), "via chain");
    EXPECT_EQ(namesIn(dir_.file("real")), std::vector<std::string>{"settings.ini"});

    // A link to a file not there yet creates that file.
    fs::create_symlink("real/later.ini", dir_.file("dangling.ini"));
    EXPECT_TRUE(replaceFileContents(dir_.file("dangling.ini"), "created"));
    EXPECT_TRUE(fs::is_symlink(dir_.file("dangling.ini")));
    EXPECT_EQ(readFile(dir_.file("real/later.ini")), "created");

    // A loop of links is refused.
    fs::create_symlink("loop-b", dir_.file("loop-a"));
    fs::create_symlink("loop-a", dir_.file("loop-b"));
    EXPECT_FALSE(replaceFileContents(dir_.file("loop-a"), "x"));
}

TEST_F(FileReplace, OnlyRegularFilesAreReplaced) {
    fs::create_directory(dir_.file("folder"));
    EXPECT_FALSE(replaceFileContents(dir_.file("folder"), "x"));
    EXPECT_TRUE(fs::is_directory(dir_.file("folder")));
    ASSERT_EQ(::mkfifo(dir_.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(replaceFileContents(dir_.file("fifo"), "x"));
    EXPECT_TRUE(fs::is_fifo(dir_.file("fifo")));
    EXPECT_FALSE(replaceFileContents(dir_.file("missing/tarvel.ini"), "x"));
    EXPECT_FALSE(replaceFileContents(dir_.file("folder/"), "x"));
    EXPECT_EQ(namesIn(dir_.path()), (std::vector<std::string>{"fifo", "folder"}));
}

TEST_F(FileReplace, ARefusalSaysWhy) {
    std::string why;
    fs::create_directory(dir_.file("folder"));
    EXPECT_FALSE(replaceFileContents(dir_.file("folder"), "x", &why));
    EXPECT_EQ(why, "Is a directory");
    EXPECT_FALSE(replaceFileContents(dir_.file("missing/tarvel.ini"), "x", &why));
    EXPECT_EQ(why, "No such file or directory");

    // A read-only file, and a new file in a read-only folder, for an ordinary user.
    settingstest::openToEveryone(dir_.path());
    writeFile(path_, "old");
    ::chmod(path_.c_str(), 0444);
    fs::create_directory(dir_.file("locked"));
    ::chmod(dir_.file("locked").c_str(), 0555);
    for (const std::string& target : {path_, dir_.file("locked/tarvel.ini")}) {
        const int result = settingstest::runAsUser([&] {
            std::string reason;
            if (replaceFileContents(target, "new", &reason)) return 1;
            return reason == "Permission denied" ? 0 : 2;
        });
        EXPECT_EQ(result, 0) << target;
    }
}

// A link that another user could have planted is not followed: one of another user's (at the
// file's name or as a folder on the way), or any in a folder shared by all (sticky and writable
// by everyone). Nothing is written.
TEST_F(FileReplace, ALinkAnotherUserCouldHavePlantedIsRefused) {
    const auto other = settingstest::otherUser();
    if (!other) GTEST_SKIP() << settingstest::kNeedsRoot;
    const std::string mine = dir_.file("bashrc"), shared = dir_.file("s/"),
                      theirs = dir_.file("t/");
    writeFile(mine, "mine\n");
    settingstest::openToEveryone(dir_.path());
    fs::create_directory(shared);
    ::chmod(shared.c_str(), 01777);
    fs::create_directory(theirs);
    ASSERT_EQ(::chown(theirs.c_str(), other->pw_uid, other->pw_gid), 0);
    const std::vector<std::string> links = {shared + "a.ini", theirs + "a.ini", shared + "own.ini",
                                            theirs + "home/bashrc"};
    auto plant = [&] {
        return ::symlink(mine.c_str(), links[0].c_str()) |
               ::symlink(mine.c_str(), links[1].c_str()) |
               ::symlink(dir_.path().c_str(), (theirs + "home").c_str());
    };
    ASSERT_EQ(settingstest::runAsUser(plant, other->pw_uid, other->pw_gid), 0);
    fs::create_symlink(mine, links[2]);
    for (const std::string& link : links) {
        std::string why;
        EXPECT_FALSE(replaceFileContents(link, "settings", &why)) << link;
        EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    }
    EXPECT_EQ(readFile(mine), "mine\n");
}

TEST_F(FileReplace, AWriteThatFailsMidwayLeavesTheOldFileAndNoTemporaryFile) {
    writeFile(path_, "old contents");
    // A file size limit stands in for a full disk: the write stops after 100 bytes.
    pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(replaceFileContents(path_, std::string(4096, 'n')) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(path_), "old contents");
    EXPECT_EQ(namesIn(dir_.path()), std::vector<std::string>{"tarvel.ini"});
}

TEST_F(FileReplace, ManySavesLeaveNoTemporaryFiles) {
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(replaceFileContents(path_, std::string(static_cast<std::size_t>(i * 37), 'a')));
    }
    EXPECT_EQ(readFile(path_).size(), 49u * 37u);
    EXPECT_EQ(namesIn(dir_.path()), std::vector<std::string>{"tarvel.ini"});
}

TEST_F(FileReplace, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewCompleteFile) {
    WalkState a = testsupport::defaultSettings();
    WalkState b = a;
    b.numStep = 1234567;  // a longer text than a's, so a cut-off one would show
    for (float& m : b.loadMax) m = 98765.43f;
    const std::string textA = formatSettings(a), textB = formatSettings(b);
    ASSERT_NE(textA.size(), textB.size());
    ASSERT_TRUE(saveSettings(path_, a));

    // How long one save takes here, to spread the kills over a save's whole course.
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(saveSettings(path_, a));
    auto perSave = (std::chrono::steady_clock::now() - start) / 10;
    auto perSaveUs = std::chrono::duration_cast<std::chrono::microseconds>(perSave).count() + 1;

    std::mt19937 rng(7);
    std::uniform_int_distribution<long> delayUs(0, 3 * perSaveUs);
    int seenA = 0, seenB = 0;
    for (int round = 0; round < 60; ++round) {
        int progress[2];
        ASSERT_EQ(::pipe(progress), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(progress[0]);
            for (int i = 0;; ++i) {
                saveSettings(path_, i % 2 == 0 ? b : a);
                if (::write(progress[1], "s", 1) != 1) ::_exit(1);
            }
        }
        ::close(progress[1]);
        char done;
        ASSERT_EQ(::read(progress[0], &done, 1), 1);  // at least one save completed
        ::usleep(static_cast<useconds_t>(delayUs(rng)));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        ::close(progress[0]);

        std::string text = readFile(path_);
        ASSERT_TRUE(text == textA || text == textB) << "round " << round << ":\n" << text;
        (text == textA ? seenA : seenB)++;
        // A killed save's temporary file never replaces the target; the next start removes it.
        platform::removeAbandonedTemporaryFiles(path_);
        ASSERT_EQ(namesIn(dir_.path()), std::vector<std::string>{"tarvel.ini"});
    }
    EXPECT_GT(seenA, 0);
    EXPECT_GT(seenB, 0);
}

}  // namespace
