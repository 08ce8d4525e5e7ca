// The game's claim on every folder its stores live in, as launches of the executable meet it: one
// game per store, each game's own URLs, no game on folders that cannot be claimed, and a launch
// while a game quits that runs the game.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "ClaimLaunches.h"
#include "GameProcess.h"
#include "GameSockets.h"
#include "platform/ClaimLink.h"
#include "platform/FolderClaim.h"
#include "platform/UrlHandover.h"
#include "platform/UserFolders.h"
#include "support/LinkingProcess.h"
#include "support/TemporaryFolder.h"

namespace {

using kite::test::LinkingProcess;
using stargrid::test::Game;
using std::chrono::seconds;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kUrl = "pg5e18c0a7d94b2f63://oauth?code=";
constexpr uid_t kOtherUser = 54321;

class StargridClaimTest : public stargrid::test::ClaimLaunchTest {};

TEST_F(StargridClaimTest, TwoGamesNeverShareAConfigFolder) {
    // Different data folders, one config folder: the preferences store would be the last writer's.
    Game running({}, player("data-1", "config"));
    ASSERT_TRUE(running.waitForLine("running on", seconds(60)));
    ASSERT_TRUE(takesLaunches("data-1"));
    for (int time = 0; time < 2; ++time) {
        const std::string url = kUrl + std::to_string(time);
        Game second({url}, player("data-2", "config"), true);
        EXPECT_EQ(second.waitForExit(seconds(30)), 0);
        EXPECT_EQ(count(second, "running on"), 0);
        EXPECT_TRUE(running.waitForLine("AppController: open URL " + url));
    }
    Game plain({}, player("data-2", "config"), true);
    EXPECT_EQ(plain.waitForExit(seconds(30)), 0);
    EXPECT_THAT(plain.lines(), ElementsAre("stargrid: the game is already running"));
    quit(running);
}

TEST_F(StargridClaimTest, TwoPlayersSharingARuntimeFolderEachGetTheirOwnUrls) {
    Game first({}, player("data-1", "config-1"), true);
    ASSERT_TRUE(first.waitForLine("running on", seconds(60)));
    ASSERT_TRUE(takesLaunches("data-1"));
    Game second({}, player("data-2", "config-2"), true);
    ASSERT_TRUE(second.waitForLine("running on", seconds(60)));
    ASSERT_TRUE(takesLaunches("data-2"));
    for (const auto& [owner, data, config] :
         {std::make_tuple(&first, "data-1", "config-1"), std::make_tuple(&second, "data-2", "config-2")}) {
        const std::string url = kUrl + std::string(data);
        Game handing({url}, player(data, config), true);
        EXPECT_EQ(handing.waitForExit(seconds(30)), 0) << data;
        EXPECT_TRUE(owner->waitForLine("AppController: open URL " + url)) << data;
    }
    quit(first);
    quit(second);
    EXPECT_EQ(count(first, "open URL"), 1);
    EXPECT_EQ(count(second, "open URL"), 1);
    EXPECT_EQ(count(second, "another game listens"), 0);
}

TEST_F(StargridClaimTest, FoldersThatCannotBeClaimedRunNoGame) {
    // A data folder that cannot be made: no game, whatever else runs.
    const std::string file = folder.put("file", "");
    for (int time = 0; time < 2; ++time) {
        Game game({"--frames", "3"}, {"STARGRID_NETWORK=down", "XDG_DATA_HOME=" + file}, true);
        EXPECT_EQ(game.waitForExit(seconds(30)), 1);
        EXPECT_EQ(count(game, "running on"), 0);
        EXPECT_EQ(count(game, "stargrid: the player's folders cannot be claimed (cannot open " + file +
                                  "/stargrid: Not a directory), so the game does not start"),
                  1);
    }
}

TEST_F(StargridClaimTest, ABaseFolderThatIsAFileIsSaidAlikeByTheGameAndTheLaunchersClaim) {
    const std::string file = folder.put("data-file", "");
    const std::string said = "UserFolders: XDG_DATA_HOME names a file, not a folder: " + file;
    Game game({"--frames", "3"}, {"STARGRID_NETWORK=down", "XDG_DATA_HOME=" + file}, true);
    EXPECT_EQ(game.waitForExit(seconds(30)), 1);
    EXPECT_EQ(count(game, said), 1);
    // As scripts/play asks for the folders before anything is made in them: it fails, naming nothing.
    std::FILE* claim = popen(("XDG_DATA_HOME='" + file + "' " STARGRID_CLAIM_PROGRAM " --folders 2>&1").c_str(), "r");
    ASSERT_TRUE(claim);
    std::string output;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, claim)) output += buffer;
    const int status = pclose(claim);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << output;
    EXPECT_EQ(output, said + "\n");
}

TEST_F(StargridClaimTest, OnAHomeOnNfsOneGameRunsOnThePlayersFolders) {
    for (const std::string mode : {"lockd", "none"}) {
        const std::vector<std::string> env = stargrid::test::onNfs(player("data-" + mode, "config-" + mode), mode);
        Game running({}, env, true);
        ASSERT_TRUE(running.waitForLine("running on", seconds(60))) << mode;
        ASSERT_TRUE(takesLaunches("data-" + mode)) << mode;
        Game second({}, env, true);
        EXPECT_EQ(second.waitForExit(seconds(30)), 0) << mode;
        EXPECT_THAT(second.lines(), ElementsAre("stargrid: the game is already running")) << mode;
        quit(running);
    }
}

TEST_F(StargridClaimTest, OnAHomeOnNfsAClaimLinkNamesTheGameThatHoldsTheFolder) {
    const std::string data = folder.path() + "/data/stargrid";
    const std::string link = data + "/claim.link";
    ASSERT_TRUE(platform::makeFolders(data));
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    // A process of this host that no longer runs holds nothing: the game takes its link over, and
    // removes it when it ends.
    ASSERT_EQ(symlink((host + (":" + std::to_string(gone))).c_str(), link.c_str()), 0);
    Game taking({"--frames", "0"}, stargrid::test::onNfs(player("data", "config"), "none"), true);
    EXPECT_EQ(taking.waitForExit(seconds(60)), 0);
    struct stat info;
    EXPECT_NE(lstat(link.c_str(), &info), 0);
    // Another host's game holds the folder however this host locks it: the launch says where.
    ASSERT_EQ(symlink("elsewhere.example:4242", link.c_str()), 0);
    for (const std::string mode : {"local", "lockd", "none"}) {
        Game refused({"--frames", "0"}, stargrid::test::onNfs(player("data", "config"), mode), true);
        EXPECT_EQ(refused.waitForExit(seconds(30)), 1) << mode;
        EXPECT_THAT(refused.lines(), ElementsAre("stargrid: the player's folders are held by process 4242 on "
                                                 "elsewhere.example (so says " +
                                                 link +
                                                 "), which cannot be asked from here, so the game does not start here; "
                                                 "if no game runs there, not even a stopped one, remove " +
                                                 link + " and start it again"))
            << mode;
    }
}

TEST_F(StargridClaimTest, OnAHomeOnNfsAFolderThatCannotBeWrittenNorLockedRunsNoGame) {
    if (getuid() != 0) GTEST_SKIP() << "switching to another user needs root";
    ASSERT_EQ(chmod(folder.path().c_str(), 0711), 0);
    const std::string data = folder.path() + "/data/stargrid";
    for (const std::string& made : {folder.path() + "/data", data, folder.path() + "/config"}) {
        ASSERT_EQ(mkdir(made.c_str(), 0700), 0);
        ASSERT_EQ(chown(made.c_str(), kOtherUser, kOtherUser), 0);
    }
    ASSERT_EQ(chmod(data.c_str(), 0500), 0);
    const auto asThePlayer = [] { return setgid(kOtherUser) == 0 && setuid(kOtherUser) == 0; };
    for (const std::string mode : {"lockd", "none"}) {
        Game game({"--frames", "0"}, stargrid::test::onNfs(player("data", "config"), mode), true, asThePlayer);
        EXPECT_EQ(game.waitForExit(seconds(30)), 1) << mode;
        EXPECT_EQ(count(game, "stargrid: the player's folders cannot be claimed (cannot lock " + data +
                                  ": No locks available; cannot open " + data +
                                  "/claim.lock: Permission denied), so the game does not start"),
                  1)
            << mode;
    }
}

TEST_F(StargridClaimTest, OnAHomeOnNfsALinkWhoseProcessIdIsAnotherProcesssNowIsTakenOver) {
    // Left by a game killed with -9; its pid is another program's now (another start time).
    const std::string data = folder.path() + "/data/stargrid";
    ASSERT_TRUE(platform::makeFolders(data));
    LinkingProcess reused(data, kite::test::linkTarget::anotherStart);
    ASSERT_TRUE(reused.planted());
    Game taking({"--frames", "0"}, stargrid::test::onNfs(player("data", "config"), "none"), true);
    EXPECT_EQ(taking.waitForExit(seconds(60)), 0);
    EXPECT_EQ(count(taking, "running on"), 1);
    struct stat info;
    EXPECT_NE(lstat((data + "/claim.link").c_str(), &info), 0);
}

TEST_F(StargridClaimTest, APlainLaunchThatNoGameAnswersExitsOneNamingTheHolder) {
    const std::string data = folder.path() + "/data/stargrid";
    const std::string config = folder.path() + "/config/stargrid";
    ASSERT_TRUE(platform::makeFolders(data) && platform::makeFolders(config));
    const std::string socket = stargrid::test::handoverSocket(folder.path(), data);
    // A process that locks the folders and listens nowhere (this one): a game that hangs, of a version that
    // made no link beside its lock.
    platform::FolderClaim::Result held = platform::FolderClaim::take({data, config});
    ASSERT_EQ(held.state, platform::FolderClaim::State::Taken);
    ASSERT_EQ(unlink((data + "/claim.link").c_str()), 0);
    Game locked({}, player("data", "config"), true);
    EXPECT_EQ(locked.waitForExit(seconds(60)), 1);
    EXPECT_THAT(locked.lines(),
                ElementsAre(waitsToListen("another process (it locks " + data + ")"),
                            "stargrid: the player's folders are held by another process (it locks " + data +
                                "), which does not answer (it does not listen on " + socket +
                                "), so the game does not start; if that is a game that hangs or is stopped, end it and "
                                "start the game again"));
    held.claim.reset();
    // A process that made the claim link and runs, on a home without a lock service, and a socket of the
    // game's that takes launches and never answers them: a game that hangs.
    LinkingProcess linked(data);
    ASSERT_TRUE(linked.planted());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) | listen(listener, 4), 0);
    Game named({}, stargrid::test::onNfs(player("data", "config"), "none"), true);
    EXPECT_EQ(named.waitForExit(kPatience), 1);
    close(listener);
    // It runs and listens: it is waited for as long as a game at work, saying so, and only then is ending it advised.
    const std::string holder =
        "process " + std::to_string(linked.pid()) + " of this host (it holds " + data + "/claim.link)";
    EXPECT_THAT(named.lines(),
                ElementsAre(waitsForAnswer(holder),
                            "stargrid: the player's folders are held by process " + std::to_string(linked.pid()) +
                                " of this host (it holds " + data +
                                "/claim.link), which does not answer (no answer within 30 s), so the game "
                                "does not start; if that process is no game, or a game that hangs, end it "
                                "and start the game again"));
}

TEST_F(StargridClaimTest, AGameThatLocksItsFoldersIsSeenByALaunchWithoutLocks) {
    // One client of the home with a lock service and one without, either way round: one game.
    for (const auto& [first, second] : {std::make_pair("lockd", "none"), std::make_pair("none", "lockd")}) {
        Game running({}, stargrid::test::onNfs(player("data", "config"), first), true);
        ASSERT_TRUE(running.waitForLine("running on", seconds(60))) << first;
        ASSERT_TRUE(takesLaunches()) << first;
        Game launch({}, stargrid::test::onNfs(player("data", "config"), second), true);
        EXPECT_EQ(launch.waitForExit(seconds(30)), 0) << second;
        EXPECT_THAT(launch.lines(), ElementsAre("stargrid: the game is already running")) << second;
        quit(running);
    }
}

TEST_F(StargridClaimTest, OfTwoLaunchesTakingOverOneLeftoverLinkOneWins) {
    // Each judges the leftover before either acts on it, then they act in turn, each once the one before it
    // checked what it did (the preloaded barrier), on a home without a lock service: the second acts on a
    // leftover that is gone by then. One folder holds both stores, so that this link alone decides; whoever
    // wins runs its command until the test lets it end.
    const std::string data = dataFolder();
    ASSERT_TRUE(platform::makeFolders(data) && platform::makeFolders(folder.path() + "/barrier"));
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    ASSERT_EQ(symlink((host + (":" + std::to_string(gone))).c_str(), (data + "/claim.link").c_str()), 0);
    std::vector<std::string> env = stargrid::test::onNfs(player("data", "data"), "none");
    env.insert(env.end(), {"LD_PRELOAD=" STARGRID_NFS_LOCKS_SHIM ":" STARGRID_CLAIM_LINK_READ_BARRIER,
                           "STARGRID_TEST_READ_BARRIER=" + folder.path() + "/barrier", "STARGRID_TEST_READ_PARTIES=2"});
    struct Launch {
        pid_t pid;
        int out;
        int in;
    };
    std::vector<Launch> launches;
    for (int i = 0; i < 2; ++i) {
        // Kept from the other launch: a copy of this one's input there would keep its command waiting.
        int out[2], in[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC) | pipe2(in, O_CLOEXEC), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            for (const std::string& variable : env) putenv(const_cast<char*>(variable.c_str()));
            execl(STARGRID_CLAIM_PROGRAM, STARGRID_CLAIM_PROGRAM, "--", "sh", "-c", "echo won; exec cat >/dev/null",
                  nullptr);
            _exit(127);
        }
        close(out[1]);
        close(in[0]);
        launches.push_back({pid, out[0], in[1]});
    }
    // What each wrote: a winner's line, or nothing until its standard output closed (the launch ended).
    int winners = 0;
    for (const Launch& launch : launches) {
        std::string said;
        char buffer[64];
        pollfd ready{launch.out, POLLIN, 0};
        ssize_t got = 0;
        while (said != "won\n" && poll(&ready, 1, kPatience.count() * 1000) == 1 &&
               (got = read(launch.out, buffer, sizeof buffer)) > 0)
            said.append(buffer, got);
        winners += said == "won\n";
        close(launch.out);
    }
    EXPECT_EQ(winners, 1);
    std::vector<int> statuses;
    for (const Launch& launch : launches) {
        close(launch.in);
        int status = 0;
        waitpid(launch.pid, &status, 0);
        statuses.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    EXPECT_THAT(statuses, ::testing::UnorderedElementsAre(0, 75));
}

// Between making its link and opening it to hold, a launch can find its link gone for a moment: another launch
// moved it aside to judge it, and puts it back, or took the folder over in between. The first launch then still
// holds the folder; the second is held off by whatever link stands there then.
TEST_F(StargridClaimTest, ALaunchWhoseFreshLinkIsMovedAsideAMomentIsJudgedByWhatStandsThere) {
    const std::string data = dataFolder();
    ASSERT_TRUE(platform::makeFolders(data));
    const std::optional<platform::ProcessIdentity> self = platform::thisProcessIdentity();
    ASSERT_TRUE(self);
    const std::string aGame = platform::claimLinkText(*self, platform::MakersLock::None);
    for (const std::string& after : {std::string("bounce"), aGame}) {
        std::vector<std::string> env = stargrid::test::onNfs(player("data", "data"), "none");
        env.insert(env.end(), {"LD_PRELOAD=" STARGRID_NFS_LOCKS_SHIM ":" STARGRID_CLAIM_LINK_READ_BARRIER,
                               "STARGRID_TEST_AFTER_MAKE=" + after});
        int out[2];
        ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], STDOUT_FILENO);
            for (const std::string& variable : env) putenv(const_cast<char*>(variable.c_str()));
            execl(STARGRID_CLAIM_PROGRAM, STARGRID_CLAIM_PROGRAM, "--", "sh", "-c", "echo won", nullptr);
            _exit(127);
        }
        close(out[1]);
        std::string said;
        char buffer[64];
        for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, got);
        close(out[0]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        const bool bounced = after == "bounce";
        EXPECT_EQ(said, bounced ? "won\n" : "") << after;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (bounced ? 0 : 75)) << after << ": " << status;
        char target[512] = {};
        EXPECT_GT(readlink((data + "/claim.link").c_str(), target, sizeof target - 1), 0) << after;
        EXPECT_EQ(std::string(target).find("pid=" + std::to_string(self->pid) + " ") == 0, !bounced) << target;
        unlink((data + "/claim.link").c_str());
    }
}

// The running game played by the test: it holds the player's folders and serves the data folder's
// socket by hand.
class GameThatQuits {
public:
    explicit GameThatQuits(const std::string& runtime) {
        platform::FolderClaim::Result taken =
            platform::FolderClaim::take({platform::documentsFolder(), platform::configFolder()});
        claim_ = std::move(taken.claim);
        if (!claim_) return;
        path_ = runtime + "/" + stargrid::test::handoverNames(claim_->identities()).front() + ".sock";
        listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 4) != 0)
            claim_.reset();
    }
    ~GameThatQuits() {
        if (listener_ >= 0) close(listener_);
        unlink(path_.c_str());
    }
    bool holds() const { return claim_ != nullptr; }
    const platform::FolderClaim& claim() const { return *claim_; }
    // Takes the launch's request and answers it as a game that quits does (nothing: it closes), then
    // quits: the socket goes, then (unless they are kept for a game that takes over) the folders.
    void quitOnRequest(const std::string& answer, bool keepFolders = false) {
        const int fd = accept(listener_, nullptr, nullptr);
        // The whole request, so that closing the connection resets nothing the launch waits on.
        std::string request;
        char buffer[256];
        for (ssize_t got = 1; got > 0 && request.find('\n') == std::string::npos;) {
            got = recv(fd, buffer, sizeof buffer, 0);
            if (got > 0) request.append(buffer, static_cast<std::size_t>(got));
        }
        if (!answer.empty()) send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        close(fd);
        close(listener_);
        listener_ = -1;
        unlink(path_.c_str());
        if (!keepFolders) claim_.reset();
    }

private:
    std::unique_ptr<platform::FolderClaim> claim_;
    std::string path_;
    int listener_ = -1;
};

TEST_F(StargridClaimTest, ALaunchWhileTheGameQuitsRunsTheGame) {
    // The test's process plays on the folders of OwnPlayerFolders; its runtime folder is the game's.
    const std::string runtime = platform::runtimeFolder();
    ASSERT_FALSE(runtime.empty());
    int time = 0;
    for (const std::string answer : {"refused: the game is quitting\n", ""}) {
        for (const bool withUrl : {true, false}) {
            const std::string url = kUrl + std::to_string(++time);
            GameThatQuits quitting(runtime);
            ASSERT_TRUE(quitting.holds());
            Game launch(withUrl ? std::vector<std::string>{url} : std::vector<std::string>{}, {}, true);
            quitting.quitOnRequest(answer);
            EXPECT_TRUE(launch.waitForLine("running on", kPatience)) << time;
            quit(launch);
            EXPECT_EQ(count(launch, "AppController: open URL " + url), withUrl ? 1 : 0) << time;
            EXPECT_EQ(count(launch, "already running"), 0) << time;
            EXPECT_EQ(count(launch, "did not take the URL"), 0) << time;
        }
    }
}

TEST_F(StargridClaimTest, ALaunchHeldOffAfterAGameQuitReachesTheGameThatTookOver) {
    const std::string runtime = platform::runtimeFolder();
    ASSERT_FALSE(runtime.empty());
    GameThatQuits quitting(runtime);
    ASSERT_TRUE(quitting.holds());
    const std::string url = std::string(kUrl) + "late";
    Game launch({url}, {}, true);
    quitting.quitOnRequest("refused: the game is quitting\n", true);
    // The folders stay held, as by another launch that became the game: it listens from now on.
    std::vector<std::string> opened;
    platform::UrlHandover::Handlers handlers;
    handlers.open = [&opened](const std::string& received) { opened.push_back(received); };
    auto takenOver =
        platform::UrlHandover::listen(stargrid::test::handoverNames(quitting.claim().identities()), handlers);
    ASSERT_TRUE(takenOver);
    auto ended = std::async(std::launch::async, [&launch] { return launch.waitForExit(seconds(60)); });
    while (ended.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) takenOver->poll();
    EXPECT_EQ(ended.get(), 0);
    EXPECT_EQ(count(launch, "running on"), 0);
    for (int pass = 0; pass < 100 && opened.empty(); ++pass) {
        takenOver->poll();
        usleep(10000);
    }
    EXPECT_THAT(opened, ElementsAre(url));
}

}  // namespace
