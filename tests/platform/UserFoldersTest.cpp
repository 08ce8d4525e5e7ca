#include "platform/UserFolders.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/ForkedRun.h"
#include "support/TemporaryFolder.h"

namespace platform {
namespace {

// A user id with no passwd entry, for a process that is nobody in particular.
constexpr uid_t kOtherUser = 54321;

mode_t modeOf(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

class UserFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.made());
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    static std::string passwdHome() {
        const passwd* entry = getpwuid(getuid());
        return entry && entry->pw_dir ? entry->pw_dir : "";
    }

    kite::test::TemporaryFolder folder{"stargrid-folders"};
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(UserFoldersTest, AHomeThatIsNotAnAbsoluteFolderGivesWayToThePasswdEntrys) {
    const std::string home = passwdHome();
    ASSERT_FALSE(home.empty());
    ASSERT_NE(home, "/");
    setenv("HOME", folder.path().c_str(), 1);
    EXPECT_EQ(homeFolder(), folder.path());
    for (const char* wrong : {"", "relative/home", "/", "//"}) {
        setenv("HOME", wrong, 1);
        EXPECT_EQ(homeFolder(), home) << '"' << wrong << '"';
    }
    unsetenv("HOME");
    EXPECT_EQ(homeFolder(), home);
}

TEST_F(UserFoldersTest, WithNoHomeAtAllNothingIsMadeInASharedFolder) {
    // A user without a passwd entry and without HOME: its folders must not go where any other user
    // could make them first.
    if (getuid() != 0) GTEST_SKIP() << "switching to another user needs root";
    const kite::test::ForkedOutcome run = kite::test::runForked([] {
        if (setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) return 10;
        unsetenv("HOME");
        unsetenv("XDG_DATA_HOME");
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_RUNTIME_DIR");
        unsetenv("XDG_CACHE_HOME");
        if (!homeFolder().empty()) return 11;
        if (documentsFolder().rfind("/tmp", 0) == 0 || configFolder().rfind("/tmp", 0) == 0) return 12;
        if (documentsFolder() != "/nonexistent/stargrid") return 13;
        return runtimeFolder().empty() ? 0 : 14;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(countOf(run.output, "UserFolders: no home folder (HOME and the passwd entry name none), and XDG_DATA_HOME "
                                  "is unset"),
              1u)
        << run.output;
}

TEST_F(UserFoldersTest, NarrowingOnlyTakesPermissionsAwayAndNeverThroughALink) {
    setenv("XDG_DATA_HOME", (folder.path() + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder.path() + "/config").c_str(), 1);
    const std::string data = folder.path() + "/data/stargrid";
    ASSERT_EQ(documentsFolder(), data);
    EXPECT_EQ(modeOf(data), 0700u);
    // Its owner closed it further: it stays so.
    ASSERT_EQ(chmod(data.c_str(), 0500), 0);
    EXPECT_EQ(documentsFolder(), data);
    EXPECT_EQ(modeOf(data), 0500u);
    // Open to others: those bits go, no more.
    ASSERT_EQ(chmod(data.c_str(), 0757), 0);
    documentsFolder();
    EXPECT_EQ(modeOf(data), 0700u);
    // A link to a file, or to a folder: what it points to is not the game's to change.
    const std::string file = folder.put("elsewhere/file", "not the game's");
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    ASSERT_EQ(mkdir((folder.path() + "/config").c_str(), 0700), 0);
    ASSERT_EQ(symlink(file.c_str(), (folder.path() + "/config/stargrid").c_str()), 0);
    configFolder();
    EXPECT_EQ(modeOf(file), 0644u);
    const std::string shared = folder.path() + "/shared";
    ASSERT_EQ(mkdir(shared.c_str(), 0755), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0755), 0);
    ASSERT_EQ(unlink((folder.path() + "/config/stargrid").c_str()), 0);
    ASSERT_EQ(symlink(shared.c_str(), (folder.path() + "/config/stargrid").c_str()), 0);
    EXPECT_EQ(configFolder(), folder.path() + "/config/stargrid");
    EXPECT_EQ(modeOf(shared), 0755u);
}

TEST_F(UserFoldersTest, ADataHomeThatIsAFileIsSaidOnceAProcess) {
    const std::string file = folder.put("data-file", "");
    const kite::test::ForkedOutcome run = kite::test::runForked([&file] {
        setenv("XDG_DATA_HOME", file.c_str(), 1);
        for (int call = 0; call < 20; ++call) documentsFolder();
        return 0;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.output, "UserFolders: cannot make " + file + "/stargrid: Not a directory\n");
}

TEST_F(UserFoldersTest, TheRuntimeFolderIsThePlayersOwnOrNone) {
    const std::string cache = folder.path() + "/cache";
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    // Without XDG_RUNTIME_DIR: a folder of the player's own under the cache folder, never /tmp.
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(runtimeFolder(), cache + "/stargrid/runtime");
    EXPECT_EQ(modeOf(cache + "/stargrid/runtime"), 0700u);
    // One of the player's own found open is narrowed.
    const std::string runtime = folder.path() + "/runtime";
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    ASSERT_EQ(chmod(runtime.c_str(), 0777), 0);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    EXPECT_EQ(runtimeFolder(), runtime);
    EXPECT_EQ(modeOf(runtime), 0700u);
    // Anything else is refused, said once a process.
    const std::string file = folder.put("runtime-file", "");
    const std::string link = folder.path() + "/runtime-link";
    ASSERT_EQ(symlink(runtime.c_str(), link.c_str()), 0);
    const std::string others = folder.path() + "/others";
    ASSERT_EQ(mkdir(others.c_str(), 0777), 0);
    ASSERT_EQ(chmod(others.c_str(), 0777), 0);
    const bool chowned = chown(others.c_str(), kOtherUser, kOtherUser) == 0;
    const kite::test::ForkedOutcome run = kite::test::runForked([&] {
        for (int time = 0; time < 2; ++time) {
            for (const std::string& refused : {file, link, std::string("relative"), others}) {
                setenv("XDG_RUNTIME_DIR", refused.c_str(), 1);
                if (!runtimeFolder().empty() && (refused != others || chowned)) return 1;
            }
        }
        return 0;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(countOf(run.output, "UserFolders: the runtime folder " + file + " is refused: it is not a folder\n"), 1u);
    EXPECT_EQ(countOf(run.output, "UserFolders: the runtime folder " + link + " is refused: it is a link\n"), 1u);
    EXPECT_EQ(countOf(run.output, "UserFolders: the runtime folder relative is refused: it is not an absolute path\n"),
              1u);
    if (chowned) {
        EXPECT_EQ(countOf(run.output, "UserFolders: the runtime folder " + others + " is refused: it belongs to user " +
                                          std::to_string(kOtherUser) + "\n"),
                  1u);
        EXPECT_EQ(modeOf(others), 0777u) << "another user's folder is left as it is";
    }
}

}  // namespace
}  // namespace platform
