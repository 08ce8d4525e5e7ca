#include "platform/UserFolders.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Pasteboard.h"
#include "platform/UrlHandover.h"
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

    // "<name>/runtime" in the test's folder, the player's own; the two made with these modes.
    std::string runtimeIn(const std::string& name, mode_t above, mode_t mode) {
        const std::string runtime = folder.path() + "/" + name + "/runtime";
        EXPECT_TRUE(makeFolders(runtime));
        EXPECT_EQ(chmod((folder.path() + "/" + name).c_str(), above) | chmod(runtime.c_str(), mode), 0);
        return runtime;
    }
    // Each folder as XDG_RUNTIME_DIR, twice, in a process of its own: status 1 when one was taken.
    static kite::test::ForkedOutcome refusedRuntimeFolders(const std::vector<std::string>& folders) {
        return kite::test::runForked([&folders] {
            for (int time = 0; time < 2; ++time) {
                for (const std::string& refused : folders) {
                    setenv("XDG_RUNTIME_DIR", refused.c_str(), 1);
                    if (!runtimeFolder().empty()) return 1;
                }
            }
            return 0;
        });
    }
    static std::string refusal(const std::string& folder, const std::string& reason) {
        return "UserFolders: the runtime folder " + folder + " is refused: " + reason + kAdvice;
    }
    static constexpr char kAdvice[] = "; point XDG_RUNTIME_DIR at a folder of your own, mode 0700\n";

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
        if (!documentsFolder().empty() || !configFolder().empty()) return 12;
        return runtimeFolder().empty() ? 0 : 14;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.output;
    // Each line says what is missing, and names no folder the player never set.
    const std::string noHome = "UserFolders: no home folder (HOME and the passwd entry name none), and ";
    EXPECT_EQ(run.output, noHome + "XDG_DATA_HOME is unset\n" + noHome + "XDG_CONFIG_HOME is unset\n" + noHome +
                              "XDG_CACHE_HOME is unset\nUserFolders: there is no runtime folder: XDG_RUNTIME_DIR is "
                              "unset, and there is no cache folder to hold one\n");
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
    // A link to a file, or to a folder, in the game's folder's place is refused: what it points to is not
    // the game's to use or change.
    const std::string file = folder.put("elsewhere/file", "not the game's");
    ASSERT_EQ(chmod(file.c_str(), 0644), 0);
    ASSERT_EQ(mkdir((folder.path() + "/config").c_str(), 0700), 0);
    ASSERT_EQ(symlink(file.c_str(), (folder.path() + "/config/stargrid").c_str()), 0);
    EXPECT_EQ(configFolder(), "");
    EXPECT_EQ(modeOf(file), 0644u);
    const std::string shared = folder.path() + "/shared";
    ASSERT_EQ(mkdir(shared.c_str(), 0755), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0755), 0);
    ASSERT_EQ(unlink((folder.path() + "/config/stargrid").c_str()), 0);
    ASSERT_EQ(symlink(shared.c_str(), (folder.path() + "/config/stargrid").c_str()), 0);
    EXPECT_EQ(configFolder(), "");
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
    EXPECT_EQ(run.output, "UserFolders: XDG_DATA_HOME names a file, not a folder: " + file + "\n");
}

// A folder named in the environment is quoted with its control characters escaped: a newline cannot split
// the line, an escape sequence cannot reach the terminal.
TEST_F(UserFoldersTest, AFolderNameIsQuotedWithItsControlCharactersEscaped) {
    const std::string file = folder.put("data\033[2J\nfile", "");
    const kite::test::ForkedOutcome run = kite::test::runForked([&file] {
        setenv("XDG_DATA_HOME", file.c_str(), 1);
        documentsFolder();
        setenv("XDG_RUNTIME_DIR", "relative\033]0;title\a", 1);
        runtimeFolder();
        return 0;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.output, "UserFolders: XDG_DATA_HOME names a file, not a folder: " + folder.path() +
                              "/data\\x1b[2J\\x0afile\n" +
                              refusal("relative\\x1b]0;title\\x07", "it is not an absolute path"));
}

TEST_F(UserFoldersTest, TheRuntimeFolderIsThePlayersOwnOrNone) {
    const std::string cache = folder.path() + "/cache";
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    // Without XDG_RUNTIME_DIR: a folder of the player's own under the cache folder, never /tmp.
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(runtimeFolder(), cache + "/stargrid/runtime");
    EXPECT_EQ(modeOf(cache + "/stargrid/runtime"), 0700u);
    // Anything else is refused, said once a process.
    const std::string file = folder.put("runtime-file", "");
    const std::string others = folder.path() + "/others";
    ASSERT_EQ(mkdir(others.c_str(), 0777), 0);
    ASSERT_EQ(chmod(others.c_str(), 0777), 0);
    const bool chowned = chown(others.c_str(), kOtherUser, kOtherUser) == 0;
    const kite::test::ForkedOutcome run = refusedRuntimeFolders({file, "relative", chowned ? others : file});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(countOf(run.output, refusal(file, "it is not a folder")), 1u);
    EXPECT_EQ(countOf(run.output, refusal("relative", "it is not an absolute path")), 1u);
    if (chowned) {
        EXPECT_EQ(countOf(run.output, refusal(others, "it belongs to user 54321")), 1u);
        EXPECT_EQ(modeOf(others), 0777u) << "another user's folder is left as it is";
    }
}

TEST_F(UserFoldersTest, ASharedRuntimeFolderIsRefusedSayingWhatToDo) {
    const kite::test::ForkedOutcome run = refusedRuntimeFolders({"/tmp"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.rfind("UserFolders: the runtime folder /tmp is refused: ", 0), 0u) << run.output;
    EXPECT_EQ(countOf(run.output, kAdvice), 1u) << run.output;
}

TEST_F(UserFoldersTest, ARuntimeFolderOthersCanChangeIsRefusedAndLeftAsItIs) {
    if (getuid() != 0) GTEST_SKIP() << "a folder of another user needs root to make";
    // Each the player's own: left open, like /tmp (root's, as the tests run as root), or in a folder where
    // others can rename it; the runtime folder is not the game's to narrow.
    const std::pair<std::string, std::string> refused[] = {
        {runtimeIn("open", 0700, 0755), "it is open to others (mode 0755)"},
        {runtimeIn("shared", 0700, 01777), "it is open to others (mode 1777)"},
        {runtimeIn("unsticky", 0777, 0700),
         "the folder it is in is open to others without the sticky bit (mode 0777), so they can swap it for another"},
        {runtimeIn("others", 0755, 0700), "the folder it is in belongs to user 54321, who can swap it for another"}};
    ASSERT_EQ(chown((folder.path() + "/others").c_str(), kOtherUser, kOtherUser), 0);
    const kite::test::ForkedOutcome run =
        refusedRuntimeFolders({refused[0].first, refused[1].first, refused[2].first, refused[3].first});
    EXPECT_EQ(run.status, 0) << run.output;
    for (const auto& [runtime, reason] : refused)
        EXPECT_EQ(countOf(run.output, refusal(runtime, reason)), 1u) << run.output;
    EXPECT_EQ(modeOf(refused[0].first), 0755u);
    EXPECT_EQ(modeOf(refused[1].first), 01777u);
    const std::string sticky = runtimeIn("sticky", 01777, 0700);
    setenv("XDG_RUNTIME_DIR", sticky.c_str(), 1);
    EXPECT_EQ(runtimeFolder(), sticky) << "in a sticky folder nobody renames another's entries";
}

TEST_F(UserFoldersTest, AnotherUsersGameFoldersAreNeitherUsedNorChanged) {
    if (getuid() != 0) GTEST_SKIP() << "a folder of another user needs root to make";
    // In base folders in one open to all, as /tmp is, another user made the game's folders first.
    const std::string shared = folder.path() + "/shared";
    ASSERT_EQ(mkdir(shared.c_str(), 0700) | chmod(shared.c_str(), 01777), 0);
    const std::pair<std::string, const char*> bases[] = {
        {"data", "XDG_DATA_HOME"}, {"config", "XDG_CONFIG_HOME"}, {"cache", "XDG_CACHE_HOME"}};
    for (const auto& [base, variable] : bases) {
        const std::string theirs = shared + "/" + base + "/stargrid";
        ASSERT_TRUE(makeFolders(theirs) && chmod(theirs.c_str(), 0777) == 0 && chown(theirs.c_str(), 54321, 0) == 0);
        setenv(variable, (shared + "/" + base).c_str(), 1);
    }
    unsetenv("XDG_RUNTIME_DIR");
    const kite::test::ForkedOutcome run = kite::test::runForked([] {
        for (int time = 0; time < 2; ++time) {
            if (!(documentsFolder() + configFolder() + cacheFolder(true) + cacheFolder(false) + runtimeFolder())
                     .empty())
                return 1;
        }
        return 0;
    });
    EXPECT_EQ(run.status, 0) << run.output;
    for (const auto& [base, variable] : bases) {
        const std::string theirs = shared + "/" + base + "/stargrid";
        EXPECT_EQ(countOf(run.output,
                          "UserFolders: the " + base + " folder " + theirs + " is refused: it belongs to user 54321\n"),
                  1u)
            << run.output;
        EXPECT_TRUE(modeOf(theirs) == 0777u && std::filesystem::is_empty(theirs)) << theirs;
    }
}

TEST_F(UserFoldersTest, LinksAboveTheGamesFoldersAreFollowed) {
    // The session's folder named through a link: it is the session's, not the game's.
    ASSERT_EQ(mkdir((folder.path() + "/session").c_str(), 0700) |
                  symlink("session", (folder.path() + "/session-link").c_str()),
              0);
    setenv("XDG_RUNTIME_DIR", (folder.path() + "/session-link").c_str(), 1);
    EXPECT_EQ(runtimeFolder(), folder.path() + "/session-link");
    // A home reached through a link (/home on another volume), its ~/.local linked by a dotfile manager,
    // and no XDG variable: the pasteboards and the handover work there.
    const std::string home = folder.path() + "/volume/player";
    ASSERT_TRUE(makeFolders(home) && makeFolders(folder.path() + "/dotfiles/local"));
    ASSERT_EQ(symlink((folder.path() + "/dotfiles/local").c_str(), (home + "/.local").c_str()), 0);
    ASSERT_EQ(symlink(home.c_str(), (folder.path() + "/home").c_str()), 0);
    setenv("HOME", (folder.path() + "/home").c_str(), 1);
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) unsetenv(name);
    ASSERT_TRUE(Pasteboard::general().setString("text", "through links"));
    EXPECT_EQ(Pasteboard::general().string("text"), "through links");
    std::optional<Pasteboard> kept = Pasteboard::named("kept", true);
    ASSERT_TRUE(kept && kept->setPersistent(true));
    EXPECT_TRUE(std::filesystem::exists(folder.path() + "/dotfiles/local/share/stargrid/pasteboards/named.kept"));
    const std::unique_ptr<UrlHandover> handover = UrlHandover::listen("stargrid-links", {});
    EXPECT_TRUE(handover && UrlHandover::listening({"stargrid-links"}));
}

}  // namespace
}  // namespace platform
