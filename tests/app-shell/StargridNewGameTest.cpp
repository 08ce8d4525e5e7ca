// The game executable against the local game server: a lost game in the store, Start, and the process killed
// as soon as the store says the new game is alive. The next launch plays the new game from level 1 with
// 0 points, never the lost one.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "GameProcess.h"
#include "LocalServer.h"
#include "StargridRun.h"
#include "support/GLTest.h"
#include "tools/server/GameServer.h"

namespace {

using namespace stargrid::test;

// Pairs down every column, as the last board a lost game stored (it is saved only while pairs are left).
board::Cells stripes() {
    board::Cells cells;
    for (int index = 0; index < board::kCellCount; ++index)
        cells[index] = (board::columnOf(index) + board::rowOf(index) / 2) % board::kColourCount;
    return cells;
}

// The stored game once the store says it is alive, read on every replacement of the file; nothing when the
// deadline passes first.
std::optional<Saved> waitUntilAlive(const fs::path& store, std::chrono::seconds timeout) {
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0) return std::nullopt;
    inotify_add_watch(watch, store.parent_path().c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::optional<Saved> saved;
    for (;;) {
        saved = readStore(store);
        if (saved && saved->integer("isAlive") == 1) break;
        saved.reset();
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{watch, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char events[4096];
        while (read(watch, events, sizeof events) > 0) {}
    }
    close(watch);
    return saved;
}

// The text of the label whose box holds the design point, in a node report; nothing when no label does.
std::optional<std::string> labelAt(const std::string& report, float x, float y) {
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string depth, kind, box, type, detail;
        std::getline(fields, depth, '\t');
        std::getline(fields, kind, '\t');
        std::getline(fields, box, '\t');
        std::getline(fields, type, '\t');
        std::getline(fields, detail);
        float left = 0, bottom = 0, right = 0, top = 0;
        if (type == "label" && std::istringstream(box) >> left >> bottom >> right >> top && left <= x && x <= right &&
            bottom <= y && y <= top)
            return detail;
    }
    return std::nullopt;
}

class StargridNewGame : public StargridServedRunTest {
protected:
    StargridNewGame() : StargridServedRunTest("stargrid-new-game") {}
};

// The board has dropped into place by this frame of the play scene: 2.25 s of level start and 13 frames of fall.
constexpr int kBoardShown = 160;

TEST_F(StargridNewGame, KilledRightAfterStartTheNextLaunchPlaysTheNewGameFromLevelOne) {
    // Lost at level 6 (stored as 5) with 8,255 points; no phone bound, so Start asks to bind first.
    const board::Cells lost = stripes();
    storeGame(lost, {{"isAlive", "<false/>"},
                     {"currentLevel", integerValue(5)},
                     {"currentScore", integerValue(8255)},
                     {"startScore", integerValue(7900)},
                     {"gameScore", "<string>12|3|7</string>"},
                     {"gameID", "<string>{2B3C4D5E-0001-0002-0003-000400050006}</string>"}});

    // Start and "not now"; from the play scene's first frame on the game waits in the background, so its first
    // board cannot be laid out before the kill.
    std::ofstream(dir / "start.script") << kStartFromMenu << "background " << kGameStarts << "\nforeground "
                                        << kGameStarts + 36000 << "\n";
    std::optional<Saved> killedAt;
    {
        Game game({"--fixed-step", "--script", (dir / "start.script").string()}, environment());
        ASSERT_TRUE(game.started());
        killedAt = waitUntilAlive(storePath(), std::chrono::seconds(60));
        game.signal(SIGKILL);
        EXPECT_FALSE(game.waitForExit(std::chrono::seconds(20))) << "the game ended by itself";
    }
    ASSERT_TRUE(killedAt) << "the store never said a new game was alive";
    const std::string newGameId = killedAt->values["gameID"].asString();
    ASSERT_NE(newGameId, "{2B3C4D5E-0001-0002-0003-000400050006}");

    // The next launch: Start resumes the stored game; its frame after the board has dropped, and its nodes.
    const int shotFrame = kGameStarts + kBoardShown;
    const std::string shotPath = kite::test::artifactsDirectory() + "/StargridNewGame.resumed.png";
    const std::string nodesPath = kite::test::artifactsDirectory() + "/StargridNewGame.resumed.txt";
    std::ofstream(dir / "resume.script") << kStartFromMenu << "shot " << shotFrame << " " << shotPath << "\nnodes "
                                         << shotFrame << " " << nodesPath << "\nquit " << shotFrame + 2 << "\n";
    Game again({"--fixed-step", "--script", (dir / "resume.script").string()}, environment());
    ASSERT_TRUE(again.started());
    ASSERT_EQ(again.waitForExit(std::chrono::seconds(120)), 0);

    std::optional<Saved> resumed = readStore(storePath());
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->values["gameID"].asString(), newGameId);
    EXPECT_EQ(resumed->level, 0) << "resumed at level " << resumed->level + 1;
    EXPECT_EQ(resumed->score, 0);
    EXPECT_EQ(resumed->integer("startScore"), 0);
    EXPECT_EQ(board::pieceCount(resumed->cells), 100);
    EXPECT_NE(resumed->cells, lost) << "the lost game's board came back";
    std::optional<Shot> shot = readPNG(shotPath);
    ASSERT_TRUE(shot);
    EXPECT_EQ(boardInShot(*shot), resumed->cells);
    // The top bar shows level 1, its target and 0 points: design points (54, h - 110), (90, h - 34), (240, h - 240).
    std::ifstream nodes(nodesPath);
    const std::string report((std::istreambuf_iterator<char>(nodes)), std::istreambuf_iterator<char>());
    EXPECT_EQ(labelAt(report, 54, 742), "1");
    EXPECT_EQ(labelAt(report, 90, 818), "1000");
    EXPECT_EQ(labelAt(report, 240, 612), "0");
}

}  // namespace
