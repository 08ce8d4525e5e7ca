// Plays whole levels on the play screen, always taking the largest group, and checks the score and the store.
#include <gtest/gtest.h>

#include <algorithm>

#include "BoardTestSupport.h"
#include "Classes/GameLayer.h"
#include "Classes/GameScene.h"

namespace {

using game::test::GameGLTest;
using game::test::kFrame;
using game::test::storedCells;

// The first cell of the largest group (the top-left-most of equals); -1 when no pair is left.
int largestGroupCell(const board::Cells& cells) {
    int best = -1;
    std::size_t bestSize = 1;
    for (int index = 0; index < board::kCellCount; ++index) {
        const std::size_t size = board::collectGroup(cells, index).size();
        if (size > bestSize) {
            best = index;
            bestSize = size;
        }
    }
    return best;
}

class ScriptedGameTest : public GameGLTest {
protected:
    void SetUp() override {
        GameGLTest::SetUp();
        // Boards on which taking the largest group passes five levels in a row.
        game::setFixedSeedForTesting(1u);
        data->newGame();
        scene = GameScene::create();
        ASSERT_NE(scene.get(), nullptr);
        scene->onEnter();
        layer = QKSingleton::getInstance()->getGameLayer();
        ASSERT_NE(layer, nullptr);
    }
    void TearDown() override {
        scene->onExit();
        scene->cleanup();
        scene = nullptr;
        kite::PoolManager::getInstance()->getCurrentPool()->clear();
        EXPECT_EQ(QKSingleton::getInstance()->getGameLayer(), nullptr);  // the link went with the screen
        GameGLTest::TearDown();
    }
    void frame() { kite::Director::getInstance()->getScheduler()->update(kFrame); }
    static bool idle(StarMatrix* board) {
        return board->isTouchEnabled() && !board->isMoving() && !board->isClearingRemaining();
    }
    void expectStoreMatches(StarMatrix* board) {
        EXPECT_EQ(storedCells(), board->cells());
        EXPECT_EQ(store()->getIntegerForKey("currentScore"), data->currentScore);
        EXPECT_EQ(store()->getIntegerForKey("currentLevel"), data->level);
    }

    GameData* data = GameData::getInstance();
    kite::RefPtr<GameScene> scene;
    GameLayer* layer = nullptr;
};

TEST_F(ScriptedGameTest, LargestGroupPlayerPassesFiveLevelsWithScoresTargetsAndStoreInStep) {
    int expectedScore = 0;
    int expectedLevel = 0;
    int levelsPassed = 0;
    StarMatrix* current = nullptr;
    bool levelEnding = false;
    for (int f = 0; f < 60 * 60 * 20 && levelsPassed < 5; ++f) {
        frame();
        StarMatrix* board = layer->getBoard();
        if (board != current) {  // a new level's board
            if (current) ++levelsPassed;
            current = board;
            levelEnding = false;
            ASSERT_EQ(data->level, expectedLevel);
            ASSERT_EQ(data->targetScore, board::targetScoreForLevel(expectedLevel));
            ASSERT_EQ(data->currentScore, expectedScore);
        }
        if (!board || levelEnding || !idle(board)) continue;
        const board::Cells cells = board->cells();
        const int cell = largestGroupCell(cells);
        if (cell < 0) {
            // The level ends: the left-piece bonus, then the next level or the end of the game.
            levelEnding = true;
            expectedScore += board::leftStarBonus(board::pieceCount(cells));
            ASSERT_GE(expectedScore, data->targetScore) << "the largest-group player lost level " << expectedLevel + 1;
            ++expectedLevel;
            continue;
        }
        // Every settled board that can still be played is the saved one.
        expectStoreMatches(board);
        const int n = static_cast<int>(board::collectGroup(cells, cell).size());
        board->onBoardTouch(StarMatrix::cellCentre(board::rowOf(cell), board::columnOf(cell)));
        expectedScore += board::groupScore(n);
        ASSERT_EQ(data->currentScore, expectedScore);
    }
    EXPECT_EQ(levelsPassed, 5);
    EXPECT_EQ(data->level, 5);
    EXPECT_TRUE(store()->getBoolForKey("isAlive"));
}

}  // namespace
