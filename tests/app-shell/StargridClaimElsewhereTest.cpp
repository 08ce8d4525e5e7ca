// What a launch of the executable does with a game of another pid namespace (a sandbox's, which the kernel's first
// pid namespace sees and a sandbox beside it does not), started without a lock service, starting, stopped, killed,
// or locking a home mounted apart; and with one of another machine sharing the home (a clone of this one, one of
// this name, one whose locks exclude only its own programs, one holding the lock over NFS), or this machine's
// earlier boot. Sandboxes and machines need root: the tests say so when they skip.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ClaimLaunches.h"
#include "GameProcess.h"
#include "platform/ClaimProcess.h"
#include "support/AnotherMachine.h"

namespace {

using stargrid::test::Game;
using stargrid::test::onNfs;
using ::testing::ElementsAre;

const std::vector<std::string> kSandbox{"unshare", "--pid", "--fork", "--mount-proc"};

class StargridClaimElsewhereTest : public stargrid::test::ClaimLaunchTest {
protected:
    std::string link(const std::string& data = "data") const { return dataFolder(data) + "/claim.link"; }
    // Waits (bounded) until a file is there.
    static bool appears(const std::string& path) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        for (struct stat info; std::chrono::steady_clock::now() < deadline;
             std::this_thread::sleep_for(std::chrono::milliseconds(5)))
            if (lstat(path.c_str(), &info) == 0) return true;
        return false;
    }
};

TEST_F(StargridClaimElsewhereTest, AGameWithoutALockHoldsTheFoldersAgainstALaunchOfAnotherPidNamespaceThatLocks) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // The game starts while the lock service is down, in a sandbox or outside; the launch in the other pid
    // namespace takes a lock, which proves nothing of a game that holds none.
    for (const bool gameInASandbox : {true, false}) {
        const std::string data = gameInASandbox ? "data-sandboxed" : "data-outside";
        const std::vector<std::string> env = player(data, "config-" + data);
        Game game({}, onNfs(env, "none"), true, ownGroup, gameInASandbox ? kSandbox : std::vector<std::string>{});
        const GroupEnder ender{game.pid()};
        ASSERT_TRUE(said(game, "running on")) << gameInASandbox;
        ASSERT_TRUE(takesLaunches(data)) << gameInASandbox;
        const std::string made = linkTarget(dataFolder(data));
        for (int time = 0; time < 2; ++time) {
            Game launch({"--frames", "0"}, env, true, ownGroup, gameInASandbox ? std::vector<std::string>{} : kSandbox);
            const GroupEnder launchEnder{launch.pid()};
            EXPECT_EQ(launch.waitForExit(kPatience), 1) << gameInASandbox;
            EXPECT_EQ(count(launch, "running on"), 0) << gameInASandbox;
            EXPECT_THAT(launch.lines(), ElementsAre("stargrid: the game is already running, so this launch cannot run "
                                                    "--frames, --script or --shot"))
                << gameInASandbox;
        }
        EXPECT_EQ(linkTarget(dataFolder(data)), made) << gameInASandbox << ": the game's link stays";
        EXPECT_EQ(count(game, "running on"), 1);
    }
}

TEST_F(StargridClaimElsewhereTest, AUrlLaunchDuringASandboxedGamesStartUpWaitsForItAndHandsTheUrlOver) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // Without a lock service: the sandbox's game has claimed the folders and is held right before it listens.
    const std::vector<std::string> env = onNfs(player("data", "config"), "none");
    std::vector<std::string> held = env;
    held.insert(held.end(), {"LD_PRELOAD=" STARGRID_NFS_LOCKS_SHIM ":" STARGRID_CLAIM_LINK_READ_BARRIER,
                             "STARGRID_TEST_BEFORE_LISTEN=stop"});
    // Not the sandbox's first process, which ignores the signal it stops itself with.
    std::vector<std::string> underAShell = kSandbox;
    underAShell.insert(underAShell.end(), {"sh", "-c", "\"$0\" \"$@\"; exit $?"});
    Game sandbox({}, held, true, ownGroup, underAShell);
    const GroupEnder ender{sandbox.pid()};
    const pid_t game = childOf(sandbox.pid(), 2);
    ASSERT_GT(game, 0);
    ASSERT_TRUE(waitForState(game, 'T'));
    // The launch judges the game's link while the game is held there (the barrier says when it read it).
    const std::string barrier = folder.path() + "/barrier";
    ASSERT_EQ(mkdir(barrier.c_str(), 0700), 0);
    std::vector<std::string> judged = env;
    judged.insert(judged.end(), {"LD_PRELOAD=" STARGRID_NFS_LOCKS_SHIM ":" STARGRID_CLAIM_LINK_READ_BARRIER,
                                 "STARGRID_TEST_READ_BARRIER=" + barrier, "STARGRID_TEST_READ_PARTIES=1"});
    const std::string url = "pg5e18c0a7d94b2f63://oauth?code=starting";
    Game launch({url}, judged, true);
    ASSERT_TRUE(appears(barrier + "/" + std::to_string(launch.pid())));
    kill(game, SIGCONT);
    EXPECT_EQ(launch.waitForExit(kPatience), 0) << ::testing::PrintToString(launch.lines());
    // At most it says that it waits.
    EXPECT_THAT(launch.shellLines(), ::testing::Each(::testing::HasSubstr("; waiting up to ")));
    EXPECT_TRUE(said(sandbox, "open URL " + url));
    EXPECT_EQ(count(sandbox, "running on"), 1);
}

TEST_F(StargridClaimElsewhereTest, AStoppedGameInASandboxIsNamedByThePidThisHostSeesItBy) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // On a local home the stopped game holds its lock; without a lock service, its link alone. A launch in the
    // kernel's first pid namespace sees it there.
    for (const std::string home : {"local", "none"}) {
        const std::string data = "data-" + home;
        std::vector<std::string> env = player(data, "config-" + home);
        if (home != "local") env = onNfs(env, home);
        Game sandbox({}, env, true, ownGroup, kSandbox);
        const GroupEnder ender{sandbox.pid()};
        ASSERT_TRUE(said(sandbox, "running on")) << home;
        const pid_t game = childOf(sandbox.pid());
        ASSERT_GT(game, 0);
        ASSERT_EQ(linkedProcess(dataFolder(data)), 1) << home;
        kill(game, SIGSTOP);
        ASSERT_TRUE(waitForState(game, 'T'));
        const std::string pid = std::to_string(game);
        const std::string held = "stargrid: the player's folders are held by process " + pid +
                                 " of this host (in a container's or a sandbox's pid namespace, where it is process 1; "
                                 "it holds " +
                                 link(data) + "), which is stopped, ";
        const std::string whatToDo = "; end it, or let it go on (kill -CONT " + pid + "), and start the game again";
        for (const auto& [args, outcome] : std::vector<std::pair<std::vector<std::string>, std::string>>{
                 {{"--frames", "30"}, "so the game does not start"},
                 {{"pg5e18c0a7d94b2f63://oauth?code=stopped"},
                  "so the URL is not handed over and the game does not start"}}) {
            Game launch(args, env, true);
            EXPECT_EQ(launch.waitForExit(kPatience), 1) << home << ": " << outcome;
            EXPECT_THAT(launch.lines(), ElementsAre(held + outcome + whatToDo)) << home;
        }
        kill(game, SIGCONT);
        EXPECT_EQ(count(sandbox, "open URL"), 0);
    }
}

TEST_F(StargridClaimElsewhereTest, ALaunchThatCannotSeeAStoppedGameCountsItAsOneThatRunsAndNamesEveryLink) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // Without a lock service, a sandbox's game is stopped; a launch in a sandbox beside it cannot see it, and its
    // socket takes the launch but nothing answers. What the launch advises holds for a stopped game, and names both
    // folders' links at once.
    const std::vector<std::string> env = onNfs(player("data", "config"), "none");
    Game sandbox({}, env, true, ownGroup, kSandbox);
    const GroupEnder ender{sandbox.pid()};
    ASSERT_TRUE(said(sandbox, "running on"));
    ASSERT_TRUE(takesLaunches());
    const pid_t game = childOf(sandbox.pid());
    ASSERT_GT(game, 0);
    kill(game, SIGSTOP);
    ASSERT_TRUE(waitForState(game, 'T'));
    Game launch({"--frames", "30"}, env, true, ownGroup, kSandbox);
    const GroupEnder launchEnder{launch.pid()};
    EXPECT_EQ(launch.waitForExit(kPatience), 1);
    const std::string config = folder.path() + "/config/stargrid/claim.link";
    EXPECT_THAT(launch.lines(),
                ElementsAre(::testing::AllOf(
                    ::testing::StartsWith("stargrid: the player's folders are held by process 1 in another pid "
                                          "namespace of this host: a container's, a sandbox's or the host's own (so "
                                          "says " +
                                          link() + "), which does not answer (no answer within "),
                    ::testing::EndsWith("), so the game does not start; if no game runs there, not even a stopped "
                                        "one, remove " +
                                        link() + " and " + config + " and start it again"))));
    kill(game, SIGCONT);
    EXPECT_EQ(count(launch, "running on"), 0);
    EXPECT_EQ(count(sandbox, "running on"), 1);
}

TEST_F(StargridClaimElsewhereTest, AGameKilledInASandboxWithoutALockServiceLeavesTheFoldersToALaunchOfTheHost) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // Its link stays, and nothing of its pid namespace runs: a launch in the kernel's first one sees that.
    const std::vector<std::string> env = onNfs(player("data", "config"), "none");
    Game crashing({}, env, true, ownGroup, kSandbox);
    const GroupEnder ender{crashing.pid()};
    ASSERT_TRUE(said(crashing, "running on"));
    const pid_t game = childOf(crashing.pid());
    ASSERT_GT(game, 0);
    ASSERT_EQ(kill(game, SIGKILL), 0);
    crashing.waitForExit(kPatience);
    ASSERT_EQ(linkedProcess(dataFolder()), 1) << "the sandbox's game left its link";
    for (int time = 0; time < 2; ++time) {
        Game next({"--frames", "30"}, env, true);
        EXPECT_EQ(next.waitForExit(kPatience), 0) << ::testing::PrintToString(next.lines());
        EXPECT_EQ(count(next, "running on"), 1);
    }
}

TEST_F(StargridClaimElsewhereTest, ASandboxedGameWhoseLocksThisKernelDoesNotSeeTakesTheUrlsOfLaunchesAroundIt) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // Its home is mounted apart: it locks there (the shim's locks of its own), and launches here take this
    // kernel's locks. One launch in the kernel's first pid namespace, one in a sandbox beside the game's.
    const std::string apart = folder.path() + "/locks-apart";
    ASSERT_EQ(mkdir(apart.c_str(), 0700), 0);
    std::vector<std::string> locksApart = onNfs(player("data", "config"), "nolock");
    locksApart.push_back("STARGRID_TEST_NFS_LOCKS_DIR=" + apart);
    Game sandbox({}, locksApart, true, ownGroup, kSandbox);
    const GroupEnder ender{sandbox.pid()};
    ASSERT_TRUE(said(sandbox, "running on"));
    ASSERT_TRUE(takesLaunches());
    for (const bool fromASandbox : {false, true}) {
        const std::string url = std::string("pg5e18c0a7d94b2f63://oauth?code=") + (fromASandbox ? "beside" : "host");
        Game launch({url}, player("data", "config"), true, ownGroup,
                    fromASandbox ? kSandbox : std::vector<std::string>{});
        const GroupEnder launchEnder{launch.pid()};
        EXPECT_TRUE(said(sandbox, "open URL " + url)) << fromASandbox;
        EXPECT_EQ(launch.waitForExit(kPatience), 0) << fromASandbox;
        EXPECT_EQ(count(launch, "running on"), 0) << fromASandbox;
    }
    EXPECT_EQ(linkedProcess(dataFolder()), 1) << "the sandbox's game keeps its link";
}

TEST_F(StargridClaimElsewhereTest, AnotherMachineSharingTheHomeIsJudgedByItsIdentityNotByALockOfThisOne) {
    if (getuid() != 0) GTEST_SKIP() << "a machine of its own (mount and UTS namespaces) needs root";
    if (platform::thisProcessIdentity()->machine.empty())
        GTEST_SKIP() << "this host has no /etc/machine-id to bind over";
    const kite::test::Machine first{"11111111-1111-1111-1111-111111111111", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
                                    "stargrid-a"};
    const std::string aName = "11111111-1111-1111-1111-222222222222";
    struct Case {
        std::string what;
        kite::test::Machine second;
        std::string home;  // "none": without a lock service; "nolock": locks that exclude only a machine's own
        std::string said;  // what the second machine's launch says; empty: it runs, the first game being gone
    };
    const std::string elsewhere = "which cannot be asked from here, so the game does not start here; ";
    const std::vector<Case> cases{
        {"a clone (one machine id, another name)",
         {aName, first.machine, "stargrid-b"},
         "none",
         "on stargrid-a (so says LINK), " + elsewhere +
             "if no game runs there, not even a stopped one, remove LINK and CONFIG and start it again"},
        {"a clone whose locks exclude only its own programs",
         {aName, first.machine, "stargrid-b"},
         "nolock",
         "on stargrid-a (so says LINK), " + elsewhere +
             "if no game runs there, not even a stopped one, remove LINK and CONFIG and start it again"},
        {"a machine of this name",
         {aName, "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", "stargrid-a"},
         "none",
         "on a machine named stargrid-a whose machine id is not this one's (so says LINK), " + elsewhere +
             "if that was this machine before its machine id changed, remove LINK and CONFIG and start it again"},
        {"another machine whose locks exclude only its own programs",
         {aName, "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", "stargrid-b"},
         "nolock",
         "on stargrid-a (so says LINK), " + elsewhere +
             "if no game runs there, not even a stopped one, remove LINK and CONFIG and start it again"},
        {"this machine's earlier boot", {aName, first.machine, "stargrid-a"}, "none", ""},
    };
    int round = 0;
    for (const Case& each : cases) {
        const std::string data = "data-" + std::to_string(round++);
        // Each machine has a runtime folder of its own; the home and its lock files are shared.
        auto on = [&](const kite::test::Machine& machine) {
            const std::string runtime = folder.path() + "/run-" + data + "-" + machine.boot;
            mkdir(runtime.c_str(), 0700);
            std::vector<std::string> env = onNfs(player(data, "config-" + data), each.home);
            env.insert(env.end(), {"XDG_RUNTIME_DIR=" + runtime, "STARGRID_TEST_NFS_LOCKS_DIR=" + folder.path()});
            return env;
        };
        const std::string ids = folder.path();
        Game game({}, on(first), true, [&] { return kite::test::becomeMachine(ids, first); });
        ASSERT_TRUE(said(game, "running on")) << each.what;
        if (each.said.empty()) {
            game.signal(SIGKILL);
            game.waitForExit(kPatience);
        }
        for (int time = 0; time < 2; ++time) {
            Game launch({"--frames", "0"}, on(each.second), true,
                        [&] { return kite::test::becomeMachine(ids, each.second); });
            if (each.said.empty()) {
                EXPECT_EQ(launch.waitForExit(kPatience), 0)
                    << each.what << ": " << ::testing::PrintToString(launch.lines());
                EXPECT_EQ(count(launch, "running on"), 1) << each.what;
                continue;
            }
            std::string line =
                "stargrid: the player's folders are held by process " + std::to_string(game.pid()) + " " + each.said;
            // The game holds both folders: every link to remove is named at once.
            for (std::size_t at; (at = line.find("LINK")) != std::string::npos;) line.replace(at, 4, link(data));
            for (std::size_t at; (at = line.find("CONFIG")) != std::string::npos;)
                line.replace(at, 6, folder.path() + "/config-" + data + "/stargrid/claim.link");
            EXPECT_EQ(launch.waitForExit(kPatience), 1) << each.what;
            EXPECT_THAT(launch.lines(), ElementsAre(line)) << each.what;
        }
        if (!each.said.empty()) quit(game);
    }
}

TEST_F(StargridClaimElsewhereTest, ALockOverNfsIsSaidToBeOfThisMachineOrAnother) {
    if (getuid() != 0) GTEST_SKIP() << "a machine of its own (mount and UTS namespaces) needs root";
    // NFS with its lock service: another machine's game holds the lock on claim.lock, and listens where this one
    // cannot ask it (its own runtime folder).
    const kite::test::Machine other{"11111111-1111-1111-1111-333333333333", "cccccccccccccccccccccccccccccccc",
                                    "stargrid-other"};
    const std::string runtime = folder.path() + "/run-other";
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    std::vector<std::string> there = onNfs(player("data", "config"), "lockd");
    there.push_back("XDG_RUNTIME_DIR=" + runtime);
    const std::string ids = folder.path();
    Game game({}, there, true, [&] { return kite::test::becomeMachine(ids, other); });
    ASSERT_TRUE(said(game, "running on"));
    const std::string socket = stargrid::test::handoverSocket(folder.path(), dataFolder());
    Game launch({"--frames", "0"}, onNfs(player("data", "config"), "lockd"), true);
    EXPECT_EQ(launch.waitForExit(kPatience), 1);
    const std::string holder = "another process, of this machine or of another that shares this home (it locks " +
                               dataFolder() + "/claim.lock)";
    EXPECT_THAT(launch.lines(),
                ElementsAre(waitsToListen(holder),
                            "stargrid: the player's folders are held by another process, of this machine or of "
                            "another that shares this home (it locks " +
                                dataFolder() +
                                "/claim.lock), which does "
                                "not answer (it does not listen on " +
                                socket +
                                "), so the game does not start; if that "
                                "is a game that hangs or is stopped, end it where it runs and start the game again"));
    quit(game);
}

}  // namespace
