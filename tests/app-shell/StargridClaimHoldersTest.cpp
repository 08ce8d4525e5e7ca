// What a launch of the executable finds holding the player's folders, and what it says: a game that crashed in
// a sandbox of its own, another machine of the same host name, a stopped game, a link in no form the game
// writes, links a killed launch moved aside, and a launcher's claim with more than one game under it.
#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
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
#include "platform/ClaimLink.h"
#include "platform/UserFolders.h"
#include "support/LinkingProcess.h"

namespace {

using stargrid::test::Game;
using ::testing::ElementsAre;
using ::testing::EndsWith;

class StargridClaimHoldersTest : public stargrid::test::ClaimLaunchTest {
protected:
    std::string link() const { return dataFolder() + "/claim.link"; }
    // The links moved aside in the data folder.
    std::vector<std::string> movedAside() const {
        std::vector<std::string> found;
        DIR* entries = opendir(dataFolder().c_str());
        for (const dirent* entry; entries && (entry = readdir(entries));)
            if (std::string(entry->d_name).rfind("claim.link.leftover.", 0) == 0) found.push_back(entry->d_name);
        if (entries) closedir(entries);
        return found;
    }
};

TEST_F(StargridClaimHoldersTest, AGameKilledInASandboxOfItsOwnLeavesAHomeWhereTheGameStarts) {
    if (getuid() != 0) GTEST_SKIP() << "a pid namespace of its own needs root";
    // A local home, where locks work; each sandbox a pid namespace of its own, with its own /proc.
    const std::vector<std::string> sandbox{"unshare", "--pid", "--fork", "--mount-proc"};
    const std::optional<platform::ProcessIdentity> self = platform::thisProcessIdentity();
    ASSERT_TRUE(self);
    for (const bool inASandbox : {true, false}) {
        Game crashing({}, player("data", "config"), true, ownGroup, sandbox);
        const GroupEnder ender{crashing.pid()};
        ASSERT_TRUE(crashing.waitForLine("running on", kPatience));
        const pid_t game = childOf(crashing.pid());
        ASSERT_GT(game, 0);
        ASSERT_EQ(kill(game, SIGKILL), 0);
        crashing.waitForExit(kPatience);
        const auto left = platform::claimLinkIdentity(linkTarget(dataFolder()));
        ASSERT_TRUE(left && left->ns != self->ns) << "the sandbox's game left its link: " << linkTarget(dataFolder());
        for (int time = 0; time < 2; ++time) {
            Game next({"--frames", "0"}, player("data", "config"), true, ownGroup,
                      inASandbox ? sandbox : std::vector<std::string>{});
            const GroupEnder nextEnder{next.pid()};
            EXPECT_EQ(next.waitForExit(kPatience), 0) << inASandbox << ": " << ::testing::PrintToString(next.lines());
            EXPECT_EQ(count(next, "running on"), 1) << inASandbox;
        }
    }
}

TEST_F(StargridClaimHoldersTest, AHostNameIsWrittenWholeAndAnotherMachineOfThatNameHoldsTheFolder) {
    if (getuid() != 0) GTEST_SKIP() << "a host name of its own needs root";
    // The longest host name there is, on a home without a lock service.
    const std::string name = "stargrid-" + std::string(55, 'x');
    ASSERT_EQ(name.size(), 64u);
    const auto named = [&name] { return unshare(CLONE_NEWUTS) == 0 && sethostname(name.data(), name.size()) == 0; };
    const std::vector<std::string> env = stargrid::test::onNfs(player("data", "config"), "none");
    Game running({}, env, true, named);
    ASSERT_TRUE(running.waitForLine("running on", kPatience));
    EXPECT_THAT(linkTarget(dataFolder()), EndsWith(" host=" + name));
    quit(running);
    // Another machine of that name shares the home, or this one had another machine id when its game was killed:
    // its game's link holds the folder, and the launch says which it can be.
    if (platform::thisProcessIdentity()->machine.empty()) GTEST_SKIP() << "this host has no machine id";
    const std::string elsewhere =
        "pid=4242 start=1 ns=1 boot=0-0 machine=00000000000000000000000000000000 host=" + name;
    ASSERT_EQ(symlink(elsewhere.c_str(), link().c_str()), 0);
    for (int time = 0; time < 2; ++time) {
        Game refused({"--frames", "0"}, env, true, named);
        EXPECT_EQ(refused.waitForExit(kPatience), 1);
        EXPECT_THAT(refused.lines(),
                    ElementsAre("stargrid: the player's folders are held by process 4242 on a machine named " + name +
                                " whose machine id is not this one's (so says " + link() +
                                "), which cannot be asked from here, so the game does not start here; if that was "
                                "this machine before its machine id changed, remove " +
                                link() + " and start it again"));
    }
}

TEST_F(StargridClaimHoldersTest, AStoppedGameIsNamedByEveryLaunchForm) {
    Game running({}, player("data", "config"), true);
    ASSERT_TRUE(running.waitForLine("running on", kPatience));
    running.signal(SIGSTOP);
    ASSERT_TRUE(waitForState(running.pid(), 'T'));
    const std::string pid = std::to_string(running.pid());
    const std::string held = "stargrid: the player's folders are held by process " + pid + " of this host (it holds " +
                             link() + "), which is stopped, ";
    const std::string whatToDo = "; end it, or let it go on (kill -CONT " + pid + "), and start the game again";
    const std::string url = "pg5e18c0a7d94b2f63://oauth?code=stopped";
    for (const auto& [args, outcome] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"--frames", "30"}, "so the game does not start"},
             {{url}, "so the URL is not handed over and the game does not start"},
             {{}, "so the game does not start"}}) {
        Game launch(args, player("data", "config"), true);
        EXPECT_EQ(launch.waitForExit(kPatience), 1) << outcome;
        EXPECT_THAT(launch.lines(), ElementsAre(held + outcome + whatToDo));
    }
    running.signal(SIGCONT);
    quit(running);
    EXPECT_EQ(count(running, "open URL"), 0);
}

TEST_F(StargridClaimHoldersTest, ALaunchThatCannotReachTheHolderSaysItWaitsThenWhereItLookedForIt) {
    // A game that runs with another runtime folder (its socket is there), and a process of the player's that is no
    // game named by a link on a home without a lock service: neither listens where the launch looks. Each launch
    // says that it waits as its wait runs past the first seconds, and then that the holder runs but cannot be
    // reached, naming the runtime folder it looked in; ending a game is not what it advises first.
    const std::string elsewhere = folder.path() + "/run-elsewhere";
    const std::string here = folder.path() + "/run-here";
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700) | mkdir(here.c_str(), 0700), 0);
    const auto in = [](std::vector<std::string> env, const std::string& runtime) {
        env.push_back("XDG_RUNTIME_DIR=" + runtime);
        return env;
    };
    Game running({}, in(player("data", "config"), elsewhere), true);
    ASSERT_TRUE(said(running, "running on"));
    ASSERT_TRUE(platform::makeFolders(dataFolder("data-linked")));
    kite::test::LinkingProcess linked(dataFolder("data-linked"));
    ASSERT_TRUE(linked.planted());
    Game toTheGame({"--frames", "30"}, in(player("data", "config"), here), true);
    Game toTheProcess({"--frames", "30"},
                      in(stargrid::test::onNfs(player("data-linked", "config-linked"), "none"), here), true);
    struct Case {
        Game& launch;
        pid_t holder;
        std::string data;
    };
    for (const Case& each : {Case{toTheGame, running.pid(), "data"}, Case{toTheProcess, linked.pid(), "data-linked"}}) {
        const std::string holder = "process " + std::to_string(each.holder) + " of this host (it holds " +
                                   dataFolder(each.data) + "/claim.link)";
        EXPECT_EQ(each.launch.waitForExit(kPatience), 1) << each.data;
        EXPECT_THAT(each.launch.lines(),
                    ElementsAre(waitsToListen(holder),
                                "stargrid: the player's folders are held by " + holder +
                                    ", which runs but cannot be "
                                    "reached from this launch's runtime folder (XDG_RUNTIME_DIR is " +
                                    here + ": nothing listens on " +
                                    stargrid::test::handoverSocket(here, dataFolder(each.data)) +
                                    "), so the game does not start; if it is a game, start the game again with the "
                                    "runtime folder that one has (its XDG_RUNTIME_DIR); if it is no game, end it and "
                                    "start the game again"))
            << each.data;
    }
    quit(running);
    EXPECT_EQ(count(running, "running on"), 1);
}

TEST_F(StargridClaimHoldersTest, AGameBusyPastTheFirstWaitForAnAnswerTakesTheUrl) {
    // Its first frames are slow (under load, its shaders compiled afresh): it runs, and answers late.
    const std::string busy = folder.path() + "/busy";
    std::vector<std::string> env = player("data", "config");
    env.insert(env.end(), {"LD_PRELOAD=" STARGRID_CLAIM_LINK_READ_BARRIER, "STARGRID_TEST_BUSY=4:" + busy});
    Game running({}, env, true);
    ASSERT_TRUE(running.waitForLine("running on", kPatience));
    ASSERT_TRUE(takesLaunches());
    std::ofstream(busy).close();
    const std::string url = "pg5e18c0a7d94b2f63://oauth?code=busy";
    Game launch({url}, player("data", "config"), true);
    EXPECT_EQ(launch.waitForExit(kPatience), 0) << ::testing::PrintToString(launch.lines());
    // It says that it waits on; a game too busy to read the confirmation in time is asked again after a while.
    ASSERT_FALSE(launch.lines().empty());
    EXPECT_THAT(launch.lines().front(),
                waitsForAnswer("process " + std::to_string(running.pid()) + " of this host (it holds " + link() + ")"));
    EXPECT_THAT(launch.lines(), ::testing::Each(::testing::HasSubstr("; waiting up to ")));
    EXPECT_TRUE(said(running, "open URL " + url));
    quit(running);
}

TEST_F(StargridClaimHoldersTest, AJunkLinkIsRefusedWithItsTargetEscapedAndWhatToDo) {
    ASSERT_TRUE(platform::makeFolders(dataFolder()));
    ASSERT_EQ(symlink("junk\033[2J\nmore", link().c_str()), 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--frames", "0"}, std::vector<std::string>{}}) {
        Game refused(args, stargrid::test::onNfs(player("data", "config"), "none"), true);
        EXPECT_EQ(refused.waitForExit(kPatience), 1);
        EXPECT_THAT(refused.lines(),
                    ElementsAre("stargrid: the player's folders cannot be claimed (cannot use " + link() +
                                ": it names no process in a form the game writes (\"junk\\x1b[2J\\x0amore\")), so the "
                                "game does not start; remove " +
                                link() + " and start the game again"));
    }
}

TEST_F(StargridClaimHoldersTest, LinksAKilledLaunchMovedAsideAreRemovedAndThoseOfALaunchThatRunsStay) {
    // On a home without a lock service, a leftover (its pid another process's now) that a launch moves aside,
    // and is killed (or stopped) there before it removes it.
    ASSERT_TRUE(platform::makeFolders(dataFolder()));
    const std::vector<std::string> home = stargrid::test::onNfs(player("data", "config"), "none");
    auto cut = [&home](const std::string& how) {
        std::vector<std::string> env = home;
        env.insert(env.end(), {"LD_PRELOAD=" STARGRID_NFS_LOCKS_SHIM ":" STARGRID_CLAIM_LINK_READ_BARRIER,
                               "STARGRID_TEST_AFTER_ASIDE=" + how});
        return env;
    };
    kite::test::LinkingProcess leftover(dataFolder(), kite::test::linkTarget::anotherStartInThePreviousForm);
    ASSERT_TRUE(leftover.planted());
    Game killed({"--frames", "0"}, cut("kill"), true);
    EXPECT_FALSE(killed.waitForExit(kPatience));
    ASSERT_EQ(killed.endSignal(), SIGKILL);
    ASSERT_EQ(movedAside().size(), 1u);
    Game next({"--frames", "0"}, home, true);
    EXPECT_EQ(next.waitForExit(kPatience), 0);
    EXPECT_THAT(movedAside(), ::testing::IsEmpty());
    // A launch held between the two steps runs still: what it moved aside stays, and it goes on later.
    kite::test::LinkingProcess another(dataFolder(), kite::test::linkTarget::anotherStartInThePreviousForm);
    ASSERT_TRUE(another.planted());
    Game stopped({"--frames", "0"}, cut("stop"), true);
    ASSERT_TRUE(waitForState(stopped.pid(), 'T'));
    ASSERT_EQ(movedAside().size(), 1u);
    Game meanwhile({"--frames", "0"}, home, true);
    EXPECT_EQ(meanwhile.waitForExit(kPatience), 0);
    EXPECT_EQ(movedAside().size(), 1u);
    stopped.signal(SIGCONT);
    EXPECT_EQ(stopped.waitForExit(kPatience), 0);
    EXPECT_EQ(count(stopped, "running on"), 1);
    EXPECT_THAT(movedAside(), ::testing::IsEmpty());
}

TEST_F(StargridClaimHoldersTest, ALaunchersClaimGoesToOneGame) {
    // Two games started by one command under stargrid-claim, with locks and without: one runs, and the other
    // is its second launch (said to be so, or naming the holder when the first did not answer yet).
    for (const std::string mode : {"local", "none"}) {
        const std::vector<std::string> env = stargrid::test::onNfs(player("data-" + mode, "config-" + mode), mode);
        Game launcher({}, env, true, ownGroup, {STARGRID_CLAIM_PROGRAM, "--", "sh", "-c", "\"$0\" & \"$0\"; wait"});
        const GroupEnder ender{launcher.pid()};
        // Its last word, not what it says while it waits.
        const auto secondSaid = [&launcher] {
            return count(launcher, "stargrid: the game is already running") +
                   count(launcher, "so the game does not start");
        };
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (secondSaid() == 0 && std::chrono::steady_clock::now() < deadline)
            launcher.waitForLine("stargrid: ", kPatience);
        EXPECT_EQ(secondSaid(), 1) << mode << ": " << ::testing::PrintToString(launcher.lines());
        ASSERT_TRUE(said(launcher, "running on")) << mode;
        EXPECT_EQ(count(launcher, "running on"), 1) << mode;
        const pid_t game = linkedProcess(dataFolder("data-" + mode));
        ASSERT_GT(game, 0) << mode;
        ASSERT_NE(game, launcher.pid()) << mode << ": the link names the game, not its launcher";
        kill(game, SIGTERM);
        EXPECT_EQ(launcher.waitForExit(kPatience), 0) << mode;
        EXPECT_EQ(count(launcher, "running on"), 1) << mode;
    }
}

TEST_F(StargridClaimHoldersTest, WhatElseInheritedTheLaunchersClaimHoldsNothingOnceTheGameAndTheLauncherEnded) {
    for (const std::string mode : {"local", "none"}) {
        const std::vector<std::string> env = stargrid::test::onNfs(player("data-" + mode, "config-" + mode), mode);
        const std::string stray = folder.path() + "/stray-" + mode;
        Game launcher({"--frames", "3"}, env, true, ownGroup,
                      {STARGRID_CLAIM_PROGRAM, "--", "sh", "-c",
                       "sleep 600 >/dev/null 2>&1 & echo $! >'" + stray + "'; \"$0\" \"$@\""});
        const GroupEnder ender{launcher.pid()};
        EXPECT_EQ(launcher.waitForExit(kPatience), 0) << mode;
        pid_t sleeper = 0;
        std::ifstream(stray) >> sleeper;
        ASSERT_GT(sleeper, 0) << mode;
        ASSERT_EQ(kill(sleeper, 0), 0) << mode << ": the stray process runs on";
        Game next({"--frames", "0"}, env, true);
        EXPECT_EQ(next.waitForExit(kPatience), 0) << mode << ": " << ::testing::PrintToString(next.lines());
        EXPECT_EQ(count(next, "running on"), 1) << mode;
    }
}

TEST_F(StargridClaimHoldersTest, AGameHoldsTheFoldersWhenItsLauncherIsKilled) {
    // As scripts/play killed with -9 while its game runs.
    for (const std::string mode : {"local", "none"}) {
        const std::vector<std::string> env = stargrid::test::onNfs(player("data-" + mode, "config-" + mode), mode);
        Game launcher({}, env, true, ownGroup, {STARGRID_CLAIM_PROGRAM, "--", "sh", "-c", "\"$0\"; true"});
        const GroupEnder ender{launcher.pid()};
        ASSERT_TRUE(launcher.waitForLine("running on", kPatience)) << mode;
        ASSERT_TRUE(takesLaunches("data-" + mode)) << mode;
        const pid_t game = linkedProcess(dataFolder("data-" + mode));
        ASSERT_GT(game, 0) << mode;
        launcher.signal(SIGKILL);
        launcher.waitForExit(kPatience);
        Game second({}, env, true);
        EXPECT_EQ(second.waitForExit(kPatience), 0) << mode;
        EXPECT_THAT(second.lines(), ElementsAre("stargrid: the game is already running")) << mode;
        kill(game, SIGTERM);
        EXPECT_TRUE(waitForState(game, '\0')) << mode;
    }
}

}  // namespace
