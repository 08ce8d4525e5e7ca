// Launches of the executable beside a game that holds the player's folders and is still starting: its window
// opens late, as on a cold start or a loaded machine, for as long as the test holds it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ClaimLaunches.h"
#include "GameProcess.h"
#include "platform/UserFolders.h"
#include "support/LinkingProcess.h"

namespace {

using stargrid::test::Game;
using ::testing::ElementsAre;

class StargridStartingGameTest : public stargrid::test::ClaimLaunchTest {
protected:
    void SetUp() override {
        ClaimLaunchTest::SetUp();
        std::ofstream(gate).close();
    }
    // The player's environment, with the window held until the gate is gone.
    std::vector<std::string> slowWindow() const {
        std::vector<std::string> env = player("data", "config");
        env.insert(env.end(), {"LD_PRELOAD=" STARGRID_CLAIM_LINK_READ_BARRIER, "STARGRID_TEST_WINDOW_GATE=" + gate});
        return env;
    }
    // Waits (bounded) until the game waits for its window: by then it holds the folders.
    bool heldAtItsWindow() const {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (access((gate + ".waiting").c_str(), F_OK) != 0) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    bool stillAtItsWindow() const { return access((gate + ".waiting").c_str(), F_OK) == 0; }
    void openTheWindow() const { ASSERT_EQ(unlink(gate.c_str()), 0); }
    // What a launch says as it begins to wait for a game that starts.
    static ::testing::Matcher<std::string> waitsForTheStart(pid_t game) {
        return ::testing::AllOf(::testing::StartsWith("stargrid: the player's folders are held by process " +
                                                      std::to_string(game) + " of this host (it holds "),
                                ::testing::HasSubstr(", which says the game is starting; waiting up to "),
                                ::testing::EndsWith(" s more for its answer"));
    }

    const std::string gate = folder.path() + "/gate";
};

TEST_F(StargridStartingGameTest, EachLaunchFormIsAnsweredByTheGameThatStartsAndNoneRunsASecond) {
    Game starting({}, slowWindow(), true);
    ASSERT_TRUE(heldAtItsWindow());
    const pid_t game = starting.pid();
    // A run of its own is refused at once: the game answers that it starts.
    Game ownRun({"--frames", "30"}, player("data", "config"), true);
    EXPECT_EQ(ownRun.waitForExit(kPatience), 1);
    EXPECT_THAT(ownRun.lines(), ElementsAre("stargrid: the game is already running, so this launch cannot run "
                                            "--frames, --script or --shot"));
    EXPECT_TRUE(stillAtItsWindow());
    // A plain launch and one with a URL say that the game starts, and wait for it.
    const std::string url = "pg5e18c0a7d94b2f63://oauth?code=early";
    Game plain({}, player("data", "config"), true);
    Game handing({url}, player("data", "config"), true);
    EXPECT_TRUE(said(plain, "which says the game is starting"));
    EXPECT_TRUE(said(handing, "which says the game is starting"));
    EXPECT_TRUE(stillAtItsWindow());
    openTheWindow();
    EXPECT_EQ(plain.waitForExit(kPatience), 0);
    EXPECT_THAT(plain.lines(), ElementsAre(waitsForTheStart(game), "stargrid: the game is already running"));
    EXPECT_EQ(handing.waitForExit(kPatience), 0);
    EXPECT_THAT(handing.lines(), ElementsAre(waitsForTheStart(game)));
    EXPECT_TRUE(said(starting, "open URL " + url));
    quit(starting);
    EXPECT_EQ(count(starting, "open URL "), 1);
    EXPECT_EQ(count(starting, "running on"), 1);
}

TEST_F(StargridStartingGameTest, AGameKilledAsItStartsLeavesTheWaitingLaunchToRunTheGameWithItsUrl) {
    Game starting({}, slowWindow(), true);
    ASSERT_TRUE(heldAtItsWindow());
    const std::string url = "pg5e18c0a7d94b2f63://oauth?code=killed";
    Game handing({url}, player("data", "config"), true);
    ASSERT_TRUE(said(handing, "which says the game is starting"));
    starting.signal(SIGKILL);
    starting.waitForExit(kPatience);
    EXPECT_TRUE(said(handing, "running on"));
    EXPECT_TRUE(said(handing, "open URL " + url));
    quit(handing);
    EXPECT_EQ(count(handing, "open URL "), 1);
}

TEST_F(StargridStartingGameTest, AHolderThatListensNowhereIsCalledUnreachableOnlyOnceItsLinkIsOlderThanAStart) {
    // A process of the player's that is no game holds the folders by a link the file system dates 8 s ahead: when
    // the launch has waited its 9 s, the link reads as made a moment ago, as a game's that has only just taken the
    // folders (one that listens a moment after). It is waited for until its link is older than a start takes.
    ASSERT_TRUE(platform::makeFolders(dataFolder()));
    kite::test::LinkingProcess holder(dataFolder());
    ASSERT_TRUE(holder.planted());
    timespec ahead[2];
    ASSERT_EQ(clock_gettime(CLOCK_REALTIME, &ahead[0]), 0);
    ahead[0].tv_sec += 8;
    ahead[1] = ahead[0];
    ASSERT_EQ(utimensat(AT_FDCWD, (dataFolder() + "/claim.link").c_str(), ahead, AT_SYMLINK_NOFOLLOW), 0);
    Game launch({}, player("data", "config"), true);
    EXPECT_EQ(launch.waitForExit(kPatience), 1);
    const std::string named =
        "process " + std::to_string(holder.pid()) + " of this host (it holds " + dataFolder() + "/claim.link)";
    const std::string held = "stargrid: the player's folders are held by " + named;
    EXPECT_THAT(launch.lines(),
                ElementsAre(waitsToListen(named),
                            ::testing::AllOf(::testing::StartsWith(held + ", which does not listen yet; waiting up to "),
                                             ::testing::EndsWith(" s more for it to answer or to let them go")),
                            ::testing::StartsWith(held + ", which runs but cannot be reached")));
}

}  // namespace
