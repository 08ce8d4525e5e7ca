// A game played through the executable with scripted taps: the level banner, the first-play tutorial, the three
// props with the paint chooser, pause with resume and restart, a lost level and its retry for diamonds. Every
// state is a frame saved to the test artifacts, and after every move the board read back from the frame is
// the stored layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "StargridRun.h"
#include "support/GLTest.h"

namespace {

using namespace stargrid::test;

constexpr float kDesignWidth = 480.0f;

// Design points to window pixels, from the top left.
std::string at(float x, float y) {
    return std::to_string(static_cast<int>(x * kScale)) + " " +
           std::to_string(static_cast<int>((kDesignHeight - y) * kScale));
}

// The tall screen's places (design points).
const std::string kBombProp = at(kDesignWidth / 2 - 85, kDesignHeight - 155);
const std::string kPaintProp = at(kDesignWidth / 2, kDesignHeight - 155);
const std::string kResetProp = at(kDesignWidth / 2 + 85, kDesignHeight - 155);
const std::string kPause = at(kDesignWidth - 49, kDesignHeight - 100);
// The dialog "Common/bg_dialog_3.png" (400 x 480) centred on the screen; its buttons from its corner.
constexpr float kDialogLeft = kDesignWidth / 2 - 200;
constexpr float kDialogBottom = kDesignHeight / 2 - 240;
const std::string kPauseClose = at(kDialogLeft + 400 - 32, kDialogBottom + 480 - 32);
const std::string kPauseRestart = at(kDialogLeft + 200, kDialogBottom + 240 - 20);
const std::string kRetry = at(kDialogLeft + 200, kDialogBottom + 240 - 160);

std::string cellTap(int index) {
    const float x = board::columnOf(index) * 48.0f + 24.0f;
    const float y = (board::kRows - board::rowOf(index)) * 48.0f - 24.0f;
    return at(x, y);
}

struct Pixel {
    int r, g, b;
};
Pixel pixelAt(const Shot& shot, float x, float y) {
    const int px = static_cast<int>(x * kScale);
    const int py = static_cast<int>((kDesignHeight - y) * kScale);
    const unsigned char* p = &shot.rgba[(static_cast<std::size_t>(py) * shot.width + px) * 4];
    return {p[0], p[1], p[2]};
}
bool near(const Pixel& p, const Pixel& q, int tolerance = 24) {
    return std::abs(p.r - q.r) < tolerance && std::abs(p.g - q.g) < tolerance && std::abs(p.b - q.b) < tolerance;
}

// Whether the picture from the bundle is shown centred at the design point: its pixel at (column, row) from
// its top left, a point no other element covers, shows in the shot. A row of -1 is the middle one.
bool showsPicture(const Shot& shot, const std::string& file, float centreX, float centreY, int column = 12,
                  int row = -1) {
    std::optional<Shot> picture = readPNG(std::string(STARGRID_SOURCE_DIR "/Resources/") + file);
    if (!picture) return false;
    const int width = static_cast<int>(picture->width), height = static_cast<int>(picture->height);
    if (row < 0) row = height / 2;
    const unsigned char* p = &picture->rgba[(static_cast<std::size_t>(row) * width + column) * 4];
    if (p[3] < 255) return false;  // a point the picture leaves see-through proves nothing
    return near(pixelAt(shot, centreX - width / 2.0f + column + 0.5f, centreY + height / 2.0f - row - 0.5f),
                {p[0], p[1], p[2]}, 40);
}

// Pixels of a bitmap font's fill colour in the band of a line of text centred on the design row.
int textPixelsOnRow(const Shot& shot, float y, const Pixel& fill) {
    int count = 0;
    for (float dy = -12; dy <= 12; dy += 0.75f)
        for (float x = 0; x < kDesignWidth; x += 0.75f) count += near(pixelAt(shot, x, y + dy), fill, 40);
    return count;
}

class StargridPlay : public StargridRunTest {
protected:
    StargridPlay() : StargridRunTest("stargrid-play") {}

    // A stored game to resume: the layout and the score at level 1, the tutorial seen.
    void storeGame(const board::Cells& cells, int diamonds, int score = 0) {
        StargridRunTest::storeGame(cells, {{"diamond", integerValue(diamonds)}, {"currentScore", integerValue(score)}});
    }
    // The script's shot into the artifacts folder, named after the test and the state.
    std::string shotPath(const std::string& state) const {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        return kite::test::artifactsDirectory() + "/" + test->test_suite_name() + "." + test->name() + "." + state +
               ".png";
    }
    Shot shot(const std::string& state) const {
        std::optional<Shot> read = readPNG(shotPath(state));
        EXPECT_TRUE(read) << state;
        return read ? *read : Shot{};
    }
    Saved stored() const {
        std::optional<Saved> saved = readStore(storePath());
        EXPECT_TRUE(saved);
        return saved ? *saved : Saved{};
    }
    // Plays the steps and takes the shot "played" at the frame: the stored history and cells, and the board
    // in the shot, must be these.
    void playThenCheck(const std::string& steps, int shotFrame, const std::string& history,
                       const board::Cells& cells) {
        const std::string script = steps + "\nshot " + std::to_string(shotFrame) + " " + shotPath("played") +
                                   "\nquit " + std::to_string(shotFrame + 2) + "\n";
        ASSERT_EQ(run("--script " + this->script("play.script", script)), 0);
        Saved saved = stored();
        EXPECT_EQ(saved.history, history);
        EXPECT_EQ(saved.cells, cells);
        EXPECT_EQ(boardInShot(shot("played")), cells);
    }
};

// The cells after the group at the index is popped and the board has settled.
board::Cells afterMove(board::Cells cells, int index) {
    const std::vector<int> group = board::collectGroup(cells, index);
    if (group.size() < 2) return cells;
    for (int cell : group) cells[cell] = board::kEmpty;
    board::settle(cells);
    return cells;
}

// The colours a rearrange gives the pieces of the cells when the game seeds with the seed.
board::Cells rearranged(board::Cells cells, unsigned seed) {
    std::srand(seed);
    for (int& colour : cells)
        if (colour != board::kEmpty) colour = std::rand() % board::kColourCount;
    return cells;
}

// STARGRID_SEED=7: a resumed game lays its board out with 7, its first rearrange draws with 8.
constexpr unsigned kFirstRearrangeSeed = 8;

// The board has dropped into place by this frame: 2.25 s of level start and 13 frames of fall.
constexpr int kBoardShown = 160;

TEST_F(StargridPlay, FirstPlayShowsTheBannersAndTheTutorialPagesOnceOnly) {
    const std::string steps = "shot 40 " + shotPath("banner") + "\nshot 200 " + shotPath("guide-bomb") +  //
                              "\ntap 210 " + kBombProp + "\nshot 220 " + shotPath("guide-paint") +        //
                              "\ntap 230 " + kPaintProp + "\nshot 240 " + shotPath("guide-reset") +       //
                              "\ntap 250 " + kResetProp +
                              // the alert "祝您游戏愉快^_^！" closes by its button, design (240, 341)
                              "\ntap 259 320 681\nshot 262 " + shotPath("played") + "\nquit 264\n";
    ASSERT_EQ(run("--script " + script("first.script", steps)), 0);
    const Pixel bannerFill{255, 240, 200};  // "Font/NumberD.fnt"
    EXPECT_GT(textPixelsOnRow(shot("banner"), kDesignHeight / 2 + 30, bannerFill), 100) << "no level banner";
    EXPECT_TRUE(showsPicture(shot("guide-bomb"), "Guide/guide_bomb.png", kDesignWidth / 2, kDesignHeight / 2));
    EXPECT_TRUE(showsPicture(shot("guide-paint"), "Guide/guide_paint.png", kDesignWidth / 2, kDesignHeight / 2));
    EXPECT_TRUE(showsPicture(shot("guide-reset"), "Guide/guide_reset.png", kDesignWidth / 2, kDesignHeight / 2));
    Saved saved = stored();
    EXPECT_EQ(saved.integer("guideStatus"), 1);
    EXPECT_EQ(boardInShot(shot("played")), saved.cells);

    // The second play: no tutorial over the board.
    const std::string again = "shot 200 " + shotPath("second-play") + "\nquit 202\n";
    ASSERT_EQ(run("--script " + script("again.script", again)), 0);
    EXPECT_EQ(boardInShot(shot("second-play")), stored().cells);
}

// Pairs down every column, no piece alone: each cell has a same-coloured neighbour.
board::Cells stripes() {
    board::Cells cells;
    for (int index = 0; index < board::kCellCount; ++index)
        cells[index] = (board::columnOf(index) + board::rowOf(index) / 2) % board::kColourCount;
    return cells;
}

TEST_F(StargridPlay, PropsPaintChooserAndPauseKeepTheBoardAndTheStoreInStep) {
    const board::Cells start = stripes();
    storeGame(start, 20);
    // The bomb on the bottom-left piece.
    board::Cells bombed = start;
    bombed[board::cellIndex(9, 0)] = board::kEmpty;
    board::settle(bombed);
    // The paint on the piece above it, blue (the chooser's first button).
    const int painted = board::cellIndex(9, 0);
    board::Cells repainted = bombed;
    repainted[painted] = 4;
    const float boxY = static_cast<int>(24.0f / 48) * 48 + 109.0f;
    const float firstColourX = kDesignWidth / 2 - 160 + 160 - 32 - (5 * 48 + 4 * 28) / 2.0f + 24;

    const std::string steps = "tap 170 " + kBombProp + "\nshot 176 " + shotPath("bomb-armed") + "\ntap 180 " +
                              cellTap(board::cellIndex(9, 0)) + "\nshot 300 " + shotPath("bombed") + "\ntap 310 " +
                              kPaintProp + "\ntap 320 " + cellTap(painted) + "\nshot 326 " + shotPath("paint-chooser") +
                              "\ntap 330 " + at(firstColourX, boxY) + "\nshot 340 " + shotPath("painted") +
                              "\ntap 350 " + kResetProp + "\nshot 356 " + shotPath("rearranged") + "\nquit 358\n";
    ASSERT_EQ(run("--script " + script("props.script", steps)), 0);
    const Pixel promptFill{220, 240, 255};  // "Font/NumberF.fnt"
    EXPECT_GT(textPixelsOnRow(shot("bomb-armed"), kDesignHeight - 295, promptFill), 100) << "no bomb prompt";
    EXPECT_EQ(boardInShot(shot("bombed")), bombed);
    // Left of the colour buttons.
    EXPECT_TRUE(showsPicture(shot("paint-chooser"), "Scene/prop_paint_box.png", kDesignWidth / 2, boxY, 7));
    EXPECT_EQ(boardInShot(shot("painted")), repainted);
    Saved saved = stored();
    EXPECT_EQ(boardInShot(shot("rearranged")), saved.cells);
    EXPECT_EQ(board::pieceCount(saved.cells), 99);
    EXPECT_EQ(saved.integer("diamond"), 5);
    EXPECT_EQ(saved.integer("propBombCount"), 2);
    EXPECT_EQ(saved.integer("propPaintCount"), 2);
    EXPECT_EQ(saved.integer("propResetCount"), 2);

    // Pause and resume, then pause and restart: a new game on a new board.
    const std::string pause = "tap 170 " + kPause + "\nshot 176 " + shotPath("paused") + "\ntap 180 " + kPauseClose +
                              "\nshot 186 " + shotPath("resumed") + "\ntap 190 " + kPause + "\ntap 200 " +
                              kPauseRestart + "\nshot 370 " + shotPath("restarted") + "\nquit 372\n";
    ASSERT_EQ(run("--script " + script("pause.script", pause)), 0);
    // The header ribbon.
    EXPECT_TRUE(showsPicture(shot("paused"), "Scene/bg_game_pause.png", kDesignWidth / 2, kDesignHeight / 2, 104, 44));
    EXPECT_EQ(boardInShot(shot("resumed")), saved.cells);
    Saved restarted = stored();
    EXPECT_EQ(boardInShot(shot("restarted")), restarted.cells);
    EXPECT_EQ(board::pieceCount(restarted.cells), 100);
    EXPECT_EQ(restarted.level, 0);
    EXPECT_EQ(restarted.score, 0);
    EXPECT_EQ(restarted.integer("propBombCount"), 3);
}

TEST_F(StargridPlay, ATapWhilePiecesFallPlaysTheNextGroup) {
    const board::Cells start = stripes();
    storeGame(start, 20);
    // The pair at the bottom of column 0 drops the column two rows (12 frames from about frame 177); the tap
    // at 180 is on the pair beside it.
    const board::Cells first = afterMove(start, board::cellIndex(9, 0));
    const board::Cells expected = afterMove(first, board::cellIndex(9, 1));
    playThenCheck("tap 170 " + cellTap(board::cellIndex(9, 0)) + "\ntap 180 " + cellTap(board::cellIndex(9, 1)), 260,
                  "2|2", expected);
}

TEST_F(StargridPlay, ARearrangeDuringAFallLeavesNothingWaiting) {
    // A pair of 0s under two pieces in column 0: popping the pair drops them two rows, and the rearrange comes
    // while they fall. Columns 1 to 3 hold two pieces, the rest one.
    board::Cells start;
    start.fill(board::kEmpty);
    start[board::cellIndex(6, 0)] = 1;
    start[board::cellIndex(7, 0)] = 2;
    start[board::cellIndex(8, 0)] = 0;
    for (int column = 1; column < 4; ++column) start[board::cellIndex(8, column)] = 3 + column % 2;
    for (int column = 0; column < board::kColumns; ++column)
        start[board::cellIndex(9, column)] = column == 0 ? 0 : 1 + column % 3;
    storeGame(start, 20);
    const board::Cells shuffled = rearranged(afterMove(start, board::cellIndex(9, 0)), kFirstRearrangeSeed);
    // A group whose removal only slides pieces left: the play that waited for ever.
    int sliding = -1;
    for (int index = 0; index < board::kCellCount && sliding < 0; ++index) {
        if (shuffled[index] == board::kEmpty || board::collectGroup(shuffled, index).size() < 2) continue;
        board::Cells after = shuffled;
        for (int cell : board::collectGroup(shuffled, index)) after[cell] = board::kEmpty;
        const std::vector<board::CellMove> moves = board::settle(after);
        const bool falls = std::any_of(moves.begin(), moves.end(), [](const board::CellMove& m) { return m.falls; });
        if (!moves.empty() && !falls) sliding = index;
    }
    ASSERT_GE(sliding, 0) << "the rearrange leaves no group whose removal only slides pieces";
    const board::Cells expected = afterMove(shuffled, sliding);
    const std::string steps = "tap 170 " + cellTap(board::cellIndex(9, 0)) + "\ntap 179 " + kResetProp +
                              "\nshot 250 " + shotPath("rearranged") + "\ntap 255 " + cellTap(sliding) + "\nshot 340 " +
                              shotPath("slid") + "\nquit 342\n";
    ASSERT_EQ(run("--script " + script("rearrange-falling.script", steps)), 0);
    EXPECT_EQ(boardInShot(shot("rearranged")), shuffled);
    EXPECT_EQ(boardInShot(shot("slid")), expected) << "pieces wait for a fall the rearrange took away";
}

TEST_F(StargridPlay, ARearrangeCooldownEndingInTheNextLevelsBannersLeavesTheButtonOff) {
    // One pair at 1000 points: the rearrange's new colours leave none, so the level passes at once.
    board::Cells start;
    start.fill(board::kEmpty);
    start[board::cellIndex(9, 0)] = start[board::cellIndex(9, 1)] = 2;
    ASSERT_TRUE(board::noPairLeft(rearranged(start, kFirstRearrangeSeed))) << "the rearrange leaves a pair";
    storeGame(start, 20, 1000);
    // The board clears by about frame 183 and the next one drops at about 318; the cooldown ends at 291.
    const std::string steps = "tap 170 " + kResetProp + "\ntap 300 " + kResetProp + "\nshot 312 " +
                              shotPath("banners") + "\nshot 360 " + shotPath("level-two") + "\nquit 362\n";
    ASSERT_EQ(run("--script " + script("cooldown.script", steps)), 0);
    Saved saved = stored();
    EXPECT_EQ(saved.integer("diamond"), 15);
    EXPECT_EQ(saved.integer("isAlive"), 1);
    EXPECT_EQ(saved.level, 1);
    EXPECT_EQ(saved.integer("propResetCount"), 3);
    EXPECT_FALSE(showsPicture(shot("banners"), "Scene/bg_game_over.png", kDesignWidth / 2, kDesignHeight / 2));
    EXPECT_EQ(board::pieceCount(saved.cells), 100);
    EXPECT_EQ(boardInShot(shot("level-two")), saved.cells);
}

TEST_F(StargridPlay, TapsOnTheBoardsTopEdgeAndOnAColumnLineFollowTheCellBounds) {
    const board::Cells start = stripes();
    storeGame(start, 20);
    // Design y 480 is the board's top edge (no cell); design x 432 the line where column 9 begins.
    const std::string topEdge = at(75, 480);
    const std::string columnLine = at(432, 24);
    const board::Cells expected = afterMove(start, board::cellIndex(9, 9));
    playThenCheck("tap 170 " + topEdge + "\ntap 200 " + columnLine, 280, "2", expected);
}

TEST_F(StargridPlay, LostLevelShowsGameOverAndTheRetryCostsFiveDiamonds) {
    // One pair at the bottom left and eight lone pieces: the level ends at 20 points.
    board::Cells cells;
    cells.fill(board::kEmpty);
    const int row[] = {0, 0, 1, 2, 3, 4, 1, 2, 3, 4};
    for (int column = 0; column < board::kColumns; ++column) cells[board::cellIndex(9, column)] = row[column];
    storeGame(cells, 5);
    const std::string steps = "tap 170 " + cellTap(board::cellIndex(9, 0)) + "\nshot 420 " + shotPath("game-over") +
                              "\ntap 430 " + kRetry + "\nshot 600 " + shotPath("retried") + "\nquit 602\n";
    ASSERT_EQ(run("--script " + script("lost.script", steps)), 0);
    const Shot over = shot("game-over");
    EXPECT_TRUE(showsPicture(over, "Scene/bg_game_over.png", kDesignWidth / 2, kDesignHeight / 2, 104, 44));
    Saved saved = stored();
    EXPECT_EQ(saved.integer("diamond"), 0);
    EXPECT_EQ(saved.integer("isAlive"), 1);
    EXPECT_EQ(saved.score, 0);
    EXPECT_EQ(board::pieceCount(saved.cells), 100);
    EXPECT_EQ(boardInShot(shot("retried")), saved.cells);
}

}  // namespace
