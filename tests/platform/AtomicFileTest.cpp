#include "platform/AtomicFile.h"

#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace platform {
namespace {

class AtomicFileTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder_.made()); }
    void TearDown() override { setAtomicWriteHookForTesting(nullptr); }
    // A child process starts saving over the file and dies between write and
    // rename; its exit status, or -1.
    static int saveKilledBeforeRename(const std::string& path) {
        pid_t child = fork();
        if (child < 0) return -1;
        if (child == 0) {
            setAtomicWriteHookForTesting([](const std::string&) { _exit(7); });
            writeFileAtomically(path, std::string("next, never seen"));
            _exit(0);
        }
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        DIR* d = opendir(dir_.c_str());
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
        return names;
    }
    kite::test::TemporaryFolder folder_{"atomicfile"};
    std::string dir_ = folder_.path();
};

TEST_F(AtomicFileTest, ReplacesTheWholeFileAndLeavesNoTemporary) {
    std::string path = dir_ + "/prefs.plist";
    ASSERT_TRUE(writeFileAtomically(path, std::string("first version, rather long")));
    ASSERT_TRUE(writeFileAtomically(path, std::string("second")));
    EXPECT_EQ(kite::test::readWholeFile(path), "second");
    EXPECT_EQ(entries(), std::vector<std::string>{"prefs.plist"});
}

TEST_F(AtomicFileTest, KeepsTheModeOfTheReplacedFile) {
    std::string path = dir_ + "/f";
    ASSERT_TRUE(writeFileAtomically(path, std::string("a")));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(writeFileAtomically(path, std::string("b")));
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(AtomicFileTest, FailsWhenTheDirectoryIsMissing) {
    EXPECT_FALSE(writeFileAtomically(dir_ + "/missing/f", std::string("x")));
    EXPECT_TRUE(entries().empty());
}

TEST_F(AtomicFileTest, AFailedRenameRemovesTheTemporaryAndKeepsTheTarget) {
    // A directory in the way makes the rename fail after the data was written.
    std::string path = dir_ + "/taken";
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((path + "/inside").c_str(), 0755), 0);
    EXPECT_FALSE(writeFileAtomically(path, std::string("x")));
    EXPECT_EQ(entries(), std::vector<std::string>{"taken"});
}

TEST_F(AtomicFileTest, AProcessKilledBeforeTheRenameLeavesThePreviousFileWhole) {
    std::string path = dir_ + "/save";
    ASSERT_TRUE(writeFileAtomically(path, std::string("previous")));
    EXPECT_EQ(saveKilledBeforeRename(path), 7);
    EXPECT_EQ(kite::test::readWholeFile(path), "previous");
}

TEST_F(AtomicFileTest, LeftoverTemporariesOfAKilledSaveAreRemovedAndNothingElse) {
    std::string path = dir_ + "/save";
    ASSERT_TRUE(writeFileAtomically(path, std::string("previous")));
    EXPECT_EQ(saveKilledBeforeRename(path), 7);
    std::ofstream(dir_ + "/other.tmp.abcdef") << "another file's";
    std::ofstream(dir_ + "/save.tmp") << "not one of ours";
    EXPECT_EQ(entries().size(), 4u);
    removeLeftoverTemporaries(path);
    std::vector<std::string> left = entries();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"other.tmp.abcdef", "save", "save.tmp"}));
    EXPECT_EQ(kite::test::readWholeFile(path), "previous");
}

TEST_F(AtomicFileTest, WritesAnEmptyFile) {
    std::string path = dir_ + "/empty";
    ASSERT_TRUE(writeFileAtomically(path, nullptr, 0));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
}

}  // namespace
}  // namespace platform
