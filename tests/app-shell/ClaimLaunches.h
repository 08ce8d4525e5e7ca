// Launches of the game executable on a player's folders of the test's own, for the tests of the claim on
// them: the player's environment, what a launch said, and a game ended as a player ends it.
#pragma once
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "GameProcess.h"
#include "GameSockets.h"
#include "platform/ClaimLink.h"
#include "support/TemporaryFolder.h"

namespace stargrid::test {

class ClaimLaunchTest : public ::testing::Test {
protected:
    // Generous: the whole suite runs at a load of about 20.
    static constexpr std::chrono::seconds kPatience{120};

    void SetUp() override { ASSERT_TRUE(folder.made()); }
    // A player's folders under the test's folder: data, config and cache by name, one runtime folder.
    std::vector<std::string> player(const std::string& data, const std::string& config) const {
        const std::string root = folder.path();
        return {"STARGRID_NETWORK=down", "XDG_DATA_HOME=" + root + "/" + data, "XDG_CONFIG_HOME=" + root + "/" + config,
                "XDG_CACHE_HOME=" + root + "/cache-" + data, "XDG_RUNTIME_DIR=" + root};
    }
    // The data folder of player(data, ...), where its claim link is.
    std::string dataFolder(const std::string& data = "data") const { return folder.path() + "/" + data + "/stargrid"; }
    static long count(const Game& game, const std::string& text) {
        return std::count_if(game.lines().begin(), game.lines().end(),
                             [&text](const std::string& line) { return line.find(text) != std::string::npos; });
    }
    // Waits (bounded) until a line containing `text` was said, before or after what was waited for already.
    static bool said(Game& game, const std::string& text, std::chrono::seconds patience = kPatience) {
        return count(game, text) > 0 || game.waitForLine(text, patience);
    }
    // Waits (bounded) until the game on player(data, ...) takes launches at the pace of its frames, past its
    // first ones: what a launch that expects its answer relies on ("running on" comes before).
    bool takesLaunches(const std::string& data = "data") const {
        return waitUntilTakingLaunches(handoverSocket(folder.path(), dataFolder(data)), kPatience);
    }
    static void quit(Game& game) {
        game.signal(SIGTERM);
        EXPECT_EQ(game.waitForExit(kPatience), 0);
    }
    // What a launch says as its wait for the holder runs past the first seconds: for one that does not listen yet
    // (to answer, or to let the folders go), and for one at work that listens (to answer).
    static std::string waitsToListen(const std::string& holder) {
        return "stargrid: the player's folders are held by " + holder +
               ", which does not listen yet; waiting up to 7 s more for it to answer or to let them go";
    }
    static ::testing::Matcher<std::string> waitsForAnswer(const std::string& holder) {
        return ::testing::AllOf(::testing::StartsWith("stargrid: the player's folders are held by " + holder +
                                                      ", which has not answered yet; waiting up to "),
                                ::testing::EndsWith(" s more for its answer"));
    }
    // The target of the claim link in a folder; empty when there is none.
    static std::string linkTarget(const std::string& folder) {
        char target[512];
        const ssize_t size = readlink((folder + "/claim.link").c_str(), target, sizeof target);
        return size > 0 ? std::string(target, static_cast<std::size_t>(size)) : std::string();
    }
    // The process the claim link in a folder names; 0 when none does.
    static pid_t linkedProcess(const std::string& folder) {
        const auto named = platform::claimLinkIdentity(linkTarget(folder));
        return named ? static_cast<pid_t>(named->pid) : 0;
    }

    // Waits (bounded) until the process is in the state /proc gives it ('T': stopped), or gone ('\0').
    static bool waitForState(pid_t pid, char state) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            std::string line;
            std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), line);
            const auto close = line.rfind(") ");
            const char now = close == std::string::npos ? '\0' : line[close + 2];
            if (now == state || (state == '\0' && now == 'Z')) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    // Waits (bounded) for a process's first child, `depth` generations down, as /proc lists them; 0 without.
    static pid_t childOf(pid_t process, int depth = 1) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (depth > 0 && std::chrono::steady_clock::now() < deadline) {
            pid_t child = 0;
            std::ifstream("/proc/" + std::to_string(process) + "/task/" + std::to_string(process) + "/children") >>
                child;
            if (child > 0 && --depth == 0) return child;
            if (child > 0) process = child;
            else std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    }

    // For a launch whose programs run on after it (a launcher's games, a sandbox's): in the child, a process
    // group of its own, ended whole by a GroupEnder however the test ends.
    static bool ownGroup() { return setpgid(0, 0) == 0; }
    struct GroupEnder {
        pid_t group;
        ~GroupEnder() {
            if (group > 0) kill(-group, SIGKILL);
        }
    };

    kite::test::TemporaryFolder folder{"stargrid-claims"};
};

}  // namespace stargrid::test
