// The messenger stand-in's own files, from outside: mimeapps.list and the .desktop entry it installs,
// and its log, when they are links, FIFOs, folders or unreadable, when installs run at once, and
// under the player's one home.
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pwd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TemporaryFolder.h"

namespace {

using kite::test::readWholeFile;
using Clock = std::chrono::steady_clock;

constexpr char kEntry[] = "stargrid-pigeon-standin.desktop";
constexpr char kOtherDefault[] = "text/html=firefox.desktop";
constexpr uid_t kOtherUser = 54321;

struct StandinRun {
    int status = -1;  // -1: ended by a signal, or stuck and killed after 20 s
    std::string said;
};

// The stand-in run with the argument and an environment of the test's changed as `environment` says
// (a value of nothing removes the variable); `inChild` runs in the child just before the program.
StandinRun runStandin(const std::string& argument, const std::map<std::string, std::optional<std::string>>& environment,
               const std::function<void()>& inChild = {}) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        for (const auto& [name, value] : environment) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        if (inChild) inChild();
        ::dup2(out[1], STDERR_FILENO);
        ::execl(STARGRID_PIGEON_STANDIN, STARGRID_PIGEON_STANDIN, argument.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    StandinRun run;
    const auto until = Clock::now() + std::chrono::seconds(20);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd ready{out[0], POLLIN, 0};
        if (left <= 0 || ::poll(&ready, 1, static_cast<int>(left)) <= 0) {
            ::kill(child, SIGKILL);
            break;
        }
        char bytes[512];
        const ssize_t got = ::read(out[0], bytes, sizeof bytes);
        if (got <= 0) break;
        run.said.append(bytes, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

int modeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}
bool isLink(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}
bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// A player's folders of their own under a scratch folder, with the stand-in's environment pointing at them.
class StandinFilesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(root_.made()); }

    StandinRun standin(const std::string& argument, const std::function<void()>& inChild = {}) {
        return runStandin(argument,
                          {{"XDG_DATA_HOME", data_},
                           {"XDG_CONFIG_HOME", config_},
                           {"XDG_CACHE_HOME", cache_},
                           {"PIGEON_STANDIN_LOG", std::nullopt},
                           {"PIGEON_STANDIN_ANSWER", "send"}},
                          inChild);
    }
    std::string put(const std::string& relative, const std::string& text) { return root_.put(relative, text); }

    kite::test::TemporaryFolder root_{"stargrid-standin"};
    const std::string data_ = root_.path() + "/data";
    const std::string config_ = root_.path() + "/config";
    const std::string cache_ = root_.path() + "/cache";
    const std::string list_ = config_ + "/mimeapps.list";
    const std::string entry_ = data_ + "/applications/" + kEntry;
    const std::string log_ = cache_ + "/stargrid/pigeon-standin.log";
};

// A list that is there but cannot be read holds the player's defaults: neither command replaces it,
// and each says so and fails.
TEST_F(StandinFilesTest, AListThatCannotBeReadIsLeftAsItIsWithTheReason) {
    const std::string kept = "[Default Applications]\n" + std::string(kOtherDefault) + "\n";
    ::mkdir(config_.c_str(), 0700);
    ::mkdir(list_.c_str(), 0700);
    for (const char* command : {"--install", "--uninstall"}) {
        const StandinRun run = standin(command);
        EXPECT_EQ(run.status, 1) << command << ": " << run.said;
        EXPECT_NE(run.said.find("pigeon-standin: cannot read " + list_ + ": a folder; it is left as it is"),
                  std::string::npos)
            << run.said;
    }
    ::rmdir(list_.c_str());

    ASSERT_EQ(::mkfifo(list_.c_str(), 0600), 0);
    StandinRun run = standin("--install");
    EXPECT_EQ(run.status, 1) << run.said;
    EXPECT_NE(run.said.find("cannot read " + list_ + ": not a regular file (a FIFO)"), std::string::npos) << run.said;
    EXPECT_FALSE(exists(entry_)) << "the entry is written only once the list can be changed too";
    ::unlink(list_.c_str());

    // One the player cannot read: as another user, whose files these are.
    put("config/mimeapps.list", kept);
    ASSERT_EQ(::chmod(list_.c_str(), 0), 0);
    ::mkdir(data_.c_str(), 0700);
    for (const std::string& path : {root_.path(), data_, config_, list_})
        ASSERT_EQ(::lchown(path.c_str(), kOtherUser, kOtherUser), 0) << path;
    const auto asOtherUser = [] {
        if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0) ::_exit(126);
    };
    for (const char* command : {"--install", "--uninstall"}) {
        run = standin(command, asOtherUser);
        EXPECT_EQ(run.status, 1) << command << ": " << run.said;
        EXPECT_NE(run.said.find("cannot read " + list_ + ": Permission denied; it is left as it is"),
                  std::string::npos)
            << run.said;
        EXPECT_EQ(readWholeFile(list_), kept);
        EXPECT_EQ(modeOf(list_), 0);
    }
    EXPECT_FALSE(exists(entry_));
}

// A list kept elsewhere and linked (as dotfile managers do) is changed where it lies; the link stays.
TEST_F(StandinFilesTest, AListThatIsALinkIsUpdatedWhereItPoints) {
    const std::string target = put("dotfiles/mimeapps.list", "[Default Applications]\n" + std::string(kOtherDefault) + "\n");
    ::mkdir(config_.c_str(), 0700);
    ASSERT_EQ(::symlink("../dotfiles/mimeapps.list", list_.c_str()), 0);

    StandinRun run = standin("--install");
    EXPECT_EQ(run.status, 0) << run.said;
    EXPECT_TRUE(isLink(list_));
    EXPECT_EQ(readWholeFile(target), "[Default Applications]\nx-scheme-handler/pigeon=" + std::string(kEntry) +
                                         "\nx-scheme-handler/pigeonapi=" + kEntry + "\n" + kOtherDefault + "\n");
    run = standin("--uninstall");
    EXPECT_EQ(run.status, 0) << run.said;
    EXPECT_TRUE(isLink(list_));
    EXPECT_EQ(readWholeFile(target), "[Default Applications]\n" + std::string(kOtherDefault) + "\n");

    // A link to nothing names no list to update.
    ::unlink(target.c_str());
    run = standin("--install");
    EXPECT_EQ(run.status, 1) << run.said;
    EXPECT_NE(run.said.find("cannot follow the link " + list_), std::string::npos) << run.said;
    EXPECT_TRUE(isLink(list_));
    EXPECT_FALSE(exists(target));
}

// Each install writes its files under a temporary name of its own: one left by another (or by an
// older version) is no obstacle, and installs running at once all succeed.
TEST_F(StandinFilesTest, InstallsAtOnceEachWriteTheirFilesWhole) {
    ::mkdir(data_.c_str(), 0700);
    ::mkdir((data_ + "/applications").c_str(), 0700);
    ASSERT_EQ(::mkdir((entry_ + ".new").c_str(), 0700), 0);
    StandinRun run = standin("--install");
    EXPECT_EQ(run.status, 0) << run.said;
    EXPECT_NE(readWholeFile(entry_).find("MimeType=x-scheme-handler/pigeon;x-scheme-handler/pigeonapi;"),
              std::string::npos);

    std::vector<pid_t> installs;
    for (int i = 0; i < 16; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("XDG_DATA_HOME", data_.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDERR_FILENO);
            ::execl(STARGRID_PIGEON_STANDIN, STARGRID_PIGEON_STANDIN, "--install", nullptr);
            ::_exit(127);
        }
        installs.push_back(child);
    }
    int succeeded = 0;
    for (pid_t child : installs) {
        int status = 0;
        ::waitpid(child, &status, 0);
        succeeded += WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    EXPECT_EQ(succeeded, 16);
    EXPECT_NE(readWholeFile(list_).find("x-scheme-handler/pigeonapi=" + std::string(kEntry)), std::string::npos);
}

// The default log is the stand-in's own regular file: a link there is not written through, a FIFO
// not waited on; both are said once. Its folder only loses what others may do there.
TEST_F(StandinFilesTest, TheDefaultLogIsWrittenOnlyAsARegularFileOfItsOwn) {
    const std::string elsewhere = put("elsewhere.txt", "not the stand-in's\n");
    ASSERT_EQ(::chmod(elsewhere.c_str(), 0644), 0);
    put("cache/stargrid/keep", "");
    ASSERT_EQ(::symlink(elsewhere.c_str(), log_.c_str()), 0);
    StandinRun run = standin("pigeonapi://opened");
    EXPECT_EQ(run.status, 0) << run.said;
    EXPECT_EQ(readWholeFile(elsewhere), "not the stand-in's\n");
    EXPECT_EQ(modeOf(elsewhere), 0644);
    EXPECT_NE(run.said.find("pigeon-standin: cannot write the log " + log_ + ": it is a link"), std::string::npos)
        << run.said;
    ::unlink(log_.c_str());

    ASSERT_EQ(::mkfifo(log_.c_str(), 0600), 0);
    run = standin("pigeonapi://opened");
    EXPECT_EQ(run.status, 0) << run.said;
    EXPECT_NE(run.said.find("cannot write the log " + log_ + ": not a regular file (a FIFO)"), std::string::npos)
        << run.said;
    ::unlink(log_.c_str());

    const std::string folder = cache_ + "/stargrid";
    ASSERT_EQ(::chmod(folder.c_str(), 0750), 0);
    run = standin("pigeonapi://opened");
    EXPECT_EQ(run.status, 0) << run.said;
    EXPECT_EQ(readWholeFile(log_), "opened pigeonapi://opened\n");
    EXPECT_EQ(modeOf(folder), 0700);
    ASSERT_EQ(::chmod(folder.c_str(), 0510), 0);
    standin("pigeonapi://opened");
    EXPECT_EQ(modeOf(folder), 0500) << "narrowing gave the owner a permission back";

    // Another user's folder is neither narrowed nor written in.
    ::unlink(log_.c_str());
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    ASSERT_EQ(::chown(folder.c_str(), 54321, 54321), 0);
    run = standin("pigeonapi://opened");
    EXPECT_EQ(run.status, 0) << run.said;
    EXPECT_EQ(modeOf(folder), 0777);
    EXPECT_FALSE(std::filesystem::exists(log_)) << "written in another user's folder";
}

// A URL the stand-in was opened with is quoted with its control characters escaped, on standard error and
// in its log: a newline cannot split the line, an escape sequence cannot reach the terminal.
TEST_F(StandinFilesTest, AUrlIsQuotedWithItsControlCharactersEscaped) {
    const StandinRun run = standin("pigeonapi://\033[2J\nx");
    EXPECT_EQ(run.status, 0) << run.said;
    EXPECT_NE(run.said.find("pigeon-standin: opened pigeonapi://\\x1b[2J\\x0ax\n"), std::string::npos) << run.said;
    EXPECT_EQ(readWholeFile(log_), "opened pigeonapi://\\x1b[2J\\x0ax\n");
    const StandinRun other = standin("http://\033[2J");
    EXPECT_EQ(other.status, 1) << other.said;
    EXPECT_NE(other.said.find("pigeon-standin: not a messenger URL: http://\\x1b[2J (it takes "), std::string::npos)
        << other.said;
    EXPECT_EQ((run.said + other.said).find('\033'), std::string::npos);
}

// A log named in PIGEON_STANDIN_LOG that cannot be written is said, once a run, with why: a payment logs
// twice, the request and the answer.
TEST_F(StandinFilesTest, ANamedLogThatCannotBeWrittenIsSaidOnce) {
    ASSERT_EQ(::mkdir(cache_.c_str(), 0700), 0);
    const StandinRun run = runStandin("pigeon://app/abc/pay/", {{"XDG_DATA_HOME", data_},
                                                                {"XDG_CONFIG_HOME", config_},
                                                                {"PIGEON_STANDIN_LOG", cache_},
                                                                {"PIGEON_STANDIN_ANSWER", "send"}});
    const std::string line = "pigeon-standin: cannot write the log " + cache_ + ": a folder\n";
    EXPECT_NE(run.said.find("pigeon-standin: answer abc://"), std::string::npos) << run.said;
    EXPECT_TRUE(run.said.find(line) != std::string::npos && run.said.find(line) == run.said.rfind(line)) << run.said;
}

// A log named in a folder that is not there makes no folder: it is refused with the reason, once a run.
TEST_F(StandinFilesTest, ANamedLogInAMissingFolderMakesNoFolder) {
    const std::string missing = root_.path() + "/missing";
    const std::string named = missing + "/below/standin.log";
    const StandinRun run = runStandin("pigeon://app/abc/pay/", {{"XDG_DATA_HOME", data_},
                                                                {"XDG_CONFIG_HOME", config_},
                                                                {"PIGEON_STANDIN_LOG", named},
                                                                {"PIGEON_STANDIN_ANSWER", "send"}});
    EXPECT_FALSE(exists(missing));
    const std::string line = "pigeon-standin: cannot write the log " + named + ": no such folder " + missing + "/below\n";
    EXPECT_TRUE(run.said.find(line) != std::string::npos && run.said.find(line) == run.said.rfind(line)) << run.said;
}

// A log named where no file can be: in a "folder" that is a file, or with a name that ends in "/" as a folder's
// does, is said for what it is, not in the system's words ("Not a directory", or "a folder" where none is).
TEST_F(StandinFilesTest, ANamedLogThatIsNoFilesNameIsSaidForWhatItIs) {
    const std::string file = put("file", "");
    const std::string missing = root_.path() + "/missing/";
    for (const auto& [named, reason] : {std::pair<std::string, std::string>{file + "/standin.log",
                                                                            "its folder " + file + " is not a folder"},
                                        {missing, "its name ends in /, as a folder's does"}}) {
        const StandinRun run = runStandin("pigeon://app/abc/pay/", {{"XDG_DATA_HOME", data_},
                                                                    {"XDG_CONFIG_HOME", config_},
                                                                    {"PIGEON_STANDIN_LOG", named},
                                                                    {"PIGEON_STANDIN_ANSWER", "send"}});
        const std::string line = "pigeon-standin: cannot write the log " + named + ": " + reason + "\n";
        EXPECT_NE(run.said.find("pigeon-standin: answer abc://"), std::string::npos) << run.said;
        EXPECT_TRUE(run.said.find(line) != std::string::npos && run.said.find(line) == run.said.rfind(line))
            << run.said;
    }
    EXPECT_FALSE(exists(missing)) << "a folder was made for the log";
    EXPECT_EQ(readWholeFile(file), "");
}

// Without a usable HOME, the stand-in's files go under the passwd entry's home, as the game's do. The
// entry's home is a scratch folder mounted over it in a mount namespace of the child's own.
TEST_F(StandinFilesTest, WithoutAUsableHomeItsFilesGoUnderThePasswdEntrysHome) {
    const passwd* entry = ::getpwuid(::getuid());
    if (!entry || !entry->pw_dir || entry->pw_dir[0] != '/' || std::string(entry->pw_dir) == "/")
        GTEST_SKIP() << "this user's passwd entry names no home";
    const std::string passwdHome = entry->pw_dir;
    const std::string scratchHome = root_.path() + "/home";
    const std::string workingFolder = root_.path() + "/cwd";
    ::mkdir(scratchHome.c_str(), 0700);
    ::mkdir(workingFolder.c_str(), 0700);
    const auto withScratchHome = [&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(scratchHome.c_str(), passwdHome.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::chdir(workingFolder.c_str()) != 0)
            ::_exit(125);
    };
    const std::map<std::string, std::optional<std::string>> noFolders = {
        {"HOME", "relative-home"}, {"XDG_DATA_HOME", std::nullopt},  {"XDG_CONFIG_HOME", std::nullopt},
        {"XDG_CACHE_HOME", std::nullopt}, {"PIGEON_STANDIN_LOG", std::nullopt}};
    StandinRun run = runStandin("--install", noFolders, withScratchHome);
    if (run.status == 125) GTEST_SKIP() << "no mount namespace can be made here";
    EXPECT_EQ(run.status, 0) << run.said;
    run = runStandin("pigeonapi://opened", noFolders, withScratchHome);
    EXPECT_EQ(run.status, 0) << run.said;

    EXPECT_TRUE(exists(scratchHome + "/.local/share/applications/" + kEntry));
    EXPECT_NE(readWholeFile(scratchHome + "/.config/mimeapps.list").find("x-scheme-handler/pigeon="),
              std::string::npos);
    EXPECT_EQ(readWholeFile(scratchHome + "/.cache/stargrid/pigeon-standin.log"), "opened pigeonapi://opened\n");
    EXPECT_FALSE(exists(workingFolder + "/relative-home")) << "a relative HOME was taken as a home";
}

}  // namespace
