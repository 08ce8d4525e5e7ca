#include "Classes/StarMatrix.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "BoardTestSupport.h"
#include "Classes/Star.h"
#include "kite/scene/ParticleSystem.h"
#include "support/LogCapture.h"

namespace {

using game::test::BoardTest;
using game::test::cellsFrom;
using game::test::storedCells;

class StarMatrixTest : public BoardTest {
protected:
    // Pops the group at the bottom left; true once its removal is over and pieces are on their way down.
    bool popBottomLeftThenFall() {
        tapCell(9, 0);
        for (int f = 0; f < 60 && !board->isTouchEnabled(); ++f) frame();
        return board->isTouchEnabled() && board->isFalling();
    }

    GameData* data = GameData::getInstance();
};

// A full board without a pair, then a pair in the bottom-left corner and one in the top-right one.
board::Cells twoPairs() {
    board::Cells cells;
    for (int index = 0; index < board::kCellCount; ++index)
        cells[index] = (board::rowOf(index) + 2 * board::columnOf(index)) % board::kColourCount;
    cells[board::cellIndex(9, 1)] = cells[board::cellIndex(9, 0)];
    cells[board::cellIndex(0, 8)] = cells[board::cellIndex(0, 9)];
    return cells;
}

const board::Cells kTwoPairs = twoPairs();
const board::Cells kOnePair = cellsFrom({"0121", "1003"});

TEST_F(StarMatrixTest, FreshBoardDropsAHundredPiecesAndSavesThem) {
    data->newGame();
    addBoard();
    EXPECT_EQ(board::pieceCount(board->cells()), 100);
    EXPECT_EQ(storedCells(), board->cells());
    EXPECT_EQ(store()->getIntegerForKey("currentLevel"), 0);
    EXPECT_EQ(store()->getIntegerForKey("startScore"), 0);
    // Each piece starts 100 points above its cell and lands in 13 frames.
    Star* corner = board->starAt(board::cellIndex(0, 0));
    EXPECT_EQ(corner->getPosition(), kite::Vec2(24.0f, 556.0f));
    for (int i = 0; i < 12; ++i) frame();
    EXPECT_TRUE(board->isMoving());
    frame();
    EXPECT_FALSE(board->isMoving());
    EXPECT_EQ(corner->getPosition(), kite::Vec2(24.0f, 456.0f));
}

TEST_F(StarMatrixTest, GroupOfTwoScoresTwentyAndTheSettledBoardIsSaved) {
    boardWith(kTwoPairs, 0, 100);
    tapCell(9, 0);
    EXPECT_FALSE(board->isTouchEnabled());
    EXPECT_EQ(data->currentScore, 120);
    EXPECT_EQ(data->getGameScore(), "2");
    for (int f = 0; f < 4; ++f) frame();  // the first piece goes after 0.05 s, in a burst
    int bursts = 0;
    for (kite::Node* child : board->getChildren()) bursts += dynamic_cast<kite::ParticleSystem*>(child) != nullptr;
    EXPECT_EQ(bursts, 1);
    settle();
    board::Cells expected = kTwoPairs;
    expected[board::cellIndex(9, 0)] = expected[board::cellIndex(9, 1)] = board::kEmpty;
    board::settle(expected);
    EXPECT_EQ(board->cells(), expected);
    EXPECT_EQ(storedCells(), expected);
    EXPECT_EQ(store()->getIntegerForKey("currentScore"), 120);
}

TEST_F(StarMatrixTest, LonePieceOrATouchOffTheBoardDoesNothing) {
    boardWith(kTwoPairs);
    tapCell(0, 0);
    EXPECT_TRUE(board->isTouchEnabled());
    board->onBoardTouch(kite::Vec2(100.0f, 480.0f));
    board->onBoardTouch(kite::Vec2(480.0f, 100.0f));
    board->onBoardTouch(kite::Vec2(-10.0f, 30.0f));
    settle();
    EXPECT_EQ(board->cells(), kTwoPairs);
    EXPECT_EQ(data->currentScore, 0);
    EXPECT_EQ(data->getGameScore(), "");
}

TEST_F(StarMatrixTest, BombRemovesOnePieceForFiveDiamondsAndOneUse) {
    data->setDiamond(20);
    data->resetPropCounts();
    boardWith(kTwoPairs);
    board->bombMode = true;
    tapCell(0, 0);
    EXPECT_EQ(data->getDiamond(), 15);
    EXPECT_EQ(data->getPropBombCount(), 2);
    EXPECT_EQ(data->currentScore, 5);
    EXPECT_EQ(data->getGameScore(), "1");
    settle();
    EXPECT_FALSE(board->bombMode);
    EXPECT_EQ(board::pieceCount(board->cells()), 99);
    EXPECT_EQ(storedCells(), board->cells());
}

TEST_F(StarMatrixTest, PaintRecoloursTheTouchedPieceAndSavesTheLayout) {
    data->setDiamond(20);
    data->resetPropCounts();
    boardWith(kTwoPairs);
    board->paintMode = true;
    tapCell(0, 0);  // chooses the piece; nothing is charged yet
    EXPECT_EQ(data->getDiamond(), 20);
    board->paintStar(1);
    EXPECT_EQ(board->cells()[0], 1);
    EXPECT_EQ(storedCells(), board->cells());
    EXPECT_EQ(data->getDiamond(), 15);
    EXPECT_EQ(data->getPropPaintCount(), 2);
    EXPECT_FALSE(board->isMoving());  // repainted pieces are placed, not dropped
}

TEST_F(StarMatrixTest, PaintThatLeavesNoPairClearsTheBoardWithoutBonus) {
    // One pair only; repainting one of its pieces ends the level.
    data->setDiamond(20);
    boardWith(kOnePair, 0, 600);
    board->paintMode = true;
    tapCell(9, 1);
    board->paintStar(3);
    EXPECT_TRUE(board->isClearingRemaining());
    // Only the painted colour is stored: the board is saved only while a pair is left.
    board::Cells painted = kOnePair;
    painted[board::cellIndex(9, 1)] = 3;
    EXPECT_EQ(storedCells(), painted);
    for (int i = 0; i < 60 && board->isClearingRemaining(); ++i) frame();
    EXPECT_EQ(board::pieceCount(board->cells()), 0);
    EXPECT_EQ(data->currentScore, 600);
    // No bonus, but the pieces that were left are counted for the score's submission.
    EXPECT_EQ(store()->getIntegerForKey("remainStarCount"), board::pieceCount(painted));
    EXPECT_EQ(data->level, 0);  // below the target: the game is over
}

TEST_F(StarMatrixTest, RearrangeLeavingNoPairClearsAndPassesTheLevelAboveTheTarget) {
    data->setDiamond(20);
    data->setPropBombCount(1);
    boardWith(kOnePair, 0, 1200);
    board->shuffleColours();
    ASSERT_TRUE(board->isClearingRemaining()) << "the fixed seed's new colours leave no pair";
    for (int i = 0; i < 60 && board->isClearingRemaining(); ++i) frame();
    EXPECT_EQ(data->level, 1);
    EXPECT_EQ(data->targetScore, 2540);
    EXPECT_TRUE(data->freshBoard);
    EXPECT_EQ(data->getPropBombCount(), 3);
    EXPECT_EQ(data->getPropResetCount(), 3);
}

TEST_F(StarMatrixTest, RearrangeKeepsEmptyCellsAndChargesTheProp) {
    data->setDiamond(20);
    data->resetPropCounts();
    const board::Cells cells = cellsFrom({"00......00", "11......11", "2233..4433"});
    boardWith(cells);
    board->shuffleColours();
    const board::Cells after = board->cells();
    for (int index = 0; index < board::kCellCount; ++index)
        EXPECT_EQ(after[index] == board::kEmpty, cells[index] == board::kEmpty) << index;
    EXPECT_EQ(data->getDiamond(), 15);
    EXPECT_EQ(data->getPropResetCount(), 2);
}

TEST_F(StarMatrixTest, DamagedSavedLayoutGivesAFreshBoardAndKeepsTheLevelsStartScore) {
    board::Cells cells = kTwoPairs;
    cells[37] = 7;
    data->setStartScore(2000);  // the level began at 2000; 3000 when the game was left
    boardWith(cells, 2, 3000);
    EXPECT_EQ(board::pieceCount(board->cells()), 100);
    EXPECT_EQ(storedCells(), board->cells());
    EXPECT_EQ(store()->getIntegerForKey("startScore"), 2000);

    kite::UserDefault::destroyInstance();
    ASSERT_EQ(std::remove(environment->storePath().c_str()), 0);  // a store without colorKey0..99
    board->removeFromParent();
    GameData::getInstance()->freshBoard = false;
    addBoard();
    EXPECT_EQ(board::pieceCount(board->cells()), 100);
}

TEST_F(StarMatrixTest, ANewGameResumedBeforeItsFirstBoardGetsAFreshBoardWithoutADamageLine) {
    // A lost game's board and progress in the store, then a new game whose process ended before its board.
    board::saveLayout(kTwoPairs);
    store()->setIntegerForKey("currentLevel", 5);
    store()->setIntegerForKey("currentScore", 8255);
    store()->setIntegerForKey("startScore", 7900);
    data->newGame();
    game::test::resetProgress();
    data->resumeGame();
    kite::test::LogCapture log;
    addBoard();
    EXPECT_NE(board->cells(), kTwoPairs) << "the lost game's board came back";
    EXPECT_EQ(board::pieceCount(board->cells()), 100);
    EXPECT_EQ(storedCells(), board->cells());
    EXPECT_EQ(store()->getIntegerForKey("currentLevel"), 0);
    EXPECT_EQ(store()->getIntegerForKey("currentScore"), 0);
    EXPECT_EQ(store()->getIntegerForKey("startScore"), 0);
    EXPECT_EQ(log.count("StarMatrix:"), 0u) << log.text();
}

TEST_F(StarMatrixTest, ALayoutWithPiecesButNoPairIsStillReportedAsDamaged) {
    kite::test::LogCapture log;
    boardWith(cellsFrom({"0"}));
    EXPECT_EQ(board::pieceCount(board->cells()), 100);
    EXPECT_TRUE(log.contains("StarMatrix: the saved layout has no pair left to play"));
    EXPECT_TRUE(log.contains("StarMatrix: laying out a fresh board instead of the damaged saved one"));
}

TEST_F(StarMatrixTest, FallingPiecesLandBeforeSlidingPiecesMove) {
    // Removing the three 0s empties column 0 and opens a gap under the 4: it
    // drops one row, then it and the 1 slide one column left.
    boardWith(cellsFrom({"04.", "001"}));
    settle();
    tapCell(9, 0);
    for (int f = 0; f < 60 && !board->isTouchEnabled(); ++f) frame();
    Star* dropping = board->starAt(board::cellIndex(9, 0));
    Star* sliding = board->starAt(board::cellIndex(9, 1));
    ASSERT_NE(dropping, nullptr);
    ASSERT_NE(sliding, nullptr);
    EXPECT_EQ(dropping->getColor(), 4);
    EXPECT_EQ(sliding->getColor(), 1);
    // The 1 waits while the fall is counted down; the 4 drops 48 points, then slides.
    int slideStart = -1, dropEnd = -1;
    for (int f = 0; f < 60; ++f) {
        const kite::Vec2 before = sliding->getPosition();
        const float dropY = dropping->getPosition().y;
        frame();
        if (slideStart < 0 && sliding->getPosition() != before) slideStart = f;
        if (dropEnd < 0 && dropY != dropping->getDesiredPosition().y &&
            dropping->getPosition().y == dropping->getDesiredPosition().y)
            dropEnd = f;
    }
    EXPECT_GE(slideStart, dropEnd);
    EXPECT_FALSE(board->isMoving());
    EXPECT_EQ(board->cells(), cellsFrom({"41"}));
}

// Popping the 0s drops the two 2s two rows and closes column 1 up; the 2s are popped again before they
// land, and that settle only slides pieces left.
const board::Cells kFallThenSlide = cellsFrom({"2...", "2...", "0.3.", "0030"});


TEST_F(StarMatrixTest, PiecesPoppedOnTheirWayDownLeaveNothingWaiting) {
    boardWith(kFallThenSlide);
    settle();
    ASSERT_TRUE(popBottomLeftThenFall());
    tapCell(9, 0);  // the 2s, still falling
    EXPECT_EQ(data->getGameScore(), "3|2");
    EXPECT_LT(settle(), 2000) << "the slide waits for pieces that are gone";
    EXPECT_EQ(board->cells(), cellsFrom({"3.", "30"}));
    EXPECT_FALSE(board->isMoving());
}

TEST_F(StarMatrixTest, ARebuildInTheMiddleOfAFallLeavesNothingWaiting) {
    data->setDiamond(20);
    data->resetPropCounts();
    boardWith(kFallThenSlide);
    settle();
    ASSERT_TRUE(popBottomLeftThenFall());
    board->paintMode = true;
    tapCell(9, 2);  // the lone 0
    board->paintStar(4);
    EXPECT_FALSE(board->isMoving()) << "rebuilt pieces are placed in their cells";
    tapCell(9, 0);  // the 2s: their column empties and the rest only slides
    EXPECT_LT(settle(), 2000) << "the slide waits for a fall that the rebuild took away";
    EXPECT_EQ(board->cells(), cellsFrom({"3.", "34"}));
}

}  // namespace
