// The game executable plays the board: a scripted tap pops a group, the frame shows the saved layout, and a
// game killed between moves resumes where its last settled move left it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "StargridRun.h"

namespace {

using namespace stargrid::test;

class StargridBoard : public StargridRunTest {
protected:
    StargridBoard() : StargridRunTest("stargrid-board") {}
};

// The board has dropped into place by this frame: 2.25 s of level start and 13 frames of fall.
constexpr int kBoardShown = 160;
// The first-play tutorial opens 0.6 s after the board; its close button ends it for good.
constexpr int kGuideOpen = 175;
// Closing it raises the alert "祝您游戏愉快^_^！", whose button (design (240, 341)) closes it in turn.
const std::string kCloseGuide =
    "tap " + std::to_string(kGuideOpen + 5) + " 597 40\ntap " + std::to_string(kGuideOpen + 14) + " 320 681\n";

TEST_F(StargridBoard, TapPopsTheGroupAndTheFrameShowsTheSavedLayout) {
    const std::string first = (dir / "first.png").string();
    ASSERT_EQ(run("--frames 170 --shot " + std::to_string(kBoardShown) + ":" + first), 0);
    std::optional<Saved> before = readStore(storePath());
    ASSERT_TRUE(before);
    std::optional<Shot> shot = readPNG(first);
    ASSERT_TRUE(shot);
    ASSERT_EQ(boardInShot(*shot), before->cells);
    ASSERT_EQ(board::pieceCount(before->cells), 100);

    // The largest group, tapped in a second run that resumes the stored board.
    int tapped = 0;
    std::size_t size = 0;
    for (int index = 0; index < board::kCellCount; ++index)
        if (board::collectGroup(before->cells, index).size() > size) {
            size = board::collectGroup(before->cells, index).size();
            tapped = index;
        }
    board::Cells expected = before->cells;
    for (int index : board::collectGroup(expected, tapped)) expected[index] = board::kEmpty;
    board::settle(expected);

    const auto [x, y] = cellPixel(tapped);
    const std::string after = (dir / "after.png").string();
    const int tapFrame = kGuideOpen + 20;
    const std::string steps = kCloseGuide + "tap " + std::to_string(tapFrame) + " " + std::to_string(x) + " " +
                              std::to_string(y) + "\nshot " + std::to_string(tapFrame + 360) + " " + after + "\nquit " +
                              std::to_string(tapFrame + 362) + "\n";  // once the bursts have gone
    ASSERT_EQ(run("--script " + script("tap.script", steps)), 0);
    std::optional<Saved> saved = readStore(storePath());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->cells, expected);
    EXPECT_EQ(saved->score, board::groupScore(static_cast<int>(size)));
    EXPECT_EQ(saved->history, std::to_string(size));
    shot = readPNG(after);
    ASSERT_TRUE(shot);
    EXPECT_EQ(boardInShot(*shot), saved->cells);
}

// The board after a settled move: no piece above a gap, no empty column left of a filled one.
bool isSettled(const board::Cells& cells) {
    board::Cells settled = cells;
    return board::settle(settled).empty();
}

TEST_F(StargridBoard, KilledBetweenMovesResumesTheLastSettledMove) {
    // Taps along the bottom rows, one every half second, until the game is killed.
    std::string steps = kCloseGuide;
    for (int k = 0; k < 200; ++k) {
        const auto [x, y] = cellPixel(board::cellIndex(9 - k % 3, (k * 7) % board::kColumns));
        steps += "tap " + std::to_string(kGuideOpen + 20 + 30 * k) + " " + std::to_string(x) + " " + std::to_string(y) +
                 "\n";
    }
    const std::string command = environment() + "exec " + STARGRID_EXECUTABLE + " --fixed-step --script " +
                                script("taps.script", steps) + " >" + (dir / "killed.txt").string() + " 2>&1";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Kill it once two moves are saved, wherever the third one is.
    std::optional<Saved> saved;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        saved = readStore(storePath());
        if (saved && std::count(saved->history.begin(), saved->history.end(), '|') >= 1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    saved = readStore(storePath());
    ASSERT_TRUE(saved);
    ASSERT_FALSE(saved->history.empty()) << "no move was made before the deadline";
    EXPECT_TRUE(isSettled(saved->cells));
    EXPECT_FALSE(board::noPairLeft(saved->cells));
    EXPECT_EQ(saved->level, 0);
    // The stored score and layout belong to the same settled move as its history (the
    // history may be one move ahead: it is written when a group pops, the board after it settles).
    const int piecesPopped = board::kCellCount - board::pieceCount(saved->cells);
    int historyPieces = 0;
    std::stringstream in(saved->history);
    std::vector<int> groups;
    for (std::string entry; std::getline(in, entry, '|');) groups.push_back(std::stoi(entry));
    for (int n : groups) historyPieces += n;
    if (historyPieces != piecesPopped) {
        historyPieces -= groups.back();
        groups.pop_back();
    }
    EXPECT_EQ(historyPieces, piecesPopped);
    int expectedScore = 0;
    for (int n : groups) expectedScore += board::groupScore(n);
    EXPECT_EQ(saved->score, expectedScore);

    const std::string resumed = (dir / "resumed.png").string();
    ASSERT_EQ(run("--frames 170 --shot " + std::to_string(kBoardShown) + ":" + resumed), 0);
    std::optional<Shot> shot = readPNG(resumed);
    ASSERT_TRUE(shot);
    EXPECT_EQ(boardInShot(*shot), saved->cells);
    std::optional<Saved> again = readStore(storePath());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->cells, saved->cells);
    EXPECT_EQ(again->score, saved->score);
    EXPECT_EQ(again->level, saved->level);
}

}  // namespace
