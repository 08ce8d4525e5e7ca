// A board on a running scene, stepped frame by frame with the fixed step, and layouts written as text.
#pragma once
#include <string>
#include <vector>

#include "Classes/BoardRules.h"
#include "Classes/SavedLayout.h"
#include "Classes/StarMatrix.h"
#include "GameTestSupport.h"
#include "kite/foundation/Ref.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/Scene.h"

namespace game::test {

constexpr float kFrame = 1.0f / 60;

// Ten rows top first; '.' empty, digits colours. Fewer rows fill the bottom.
inline board::Cells cellsFrom(const std::vector<std::string>& rows) {
    board::Cells cells;
    cells.fill(board::kEmpty);
    const int offset = board::kRows - static_cast<int>(rows.size());
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < board::kColumns && c < static_cast<int>(rows[r].size()); ++c)
            if (rows[r][c] != '.') cells[board::cellIndex(r + offset, c)] = rows[r][c] - '0';
    return cells;
}

inline board::Cells storedCells() {
    board::Cells cells;
    for (int index = 0; index < board::kCellCount; ++index)
        cells[index] =
            kite::UserDefault::getInstance()->getIntegerForKey(("colorKey" + std::to_string(index)).c_str(), -9);
    return cells;
}

class BoardTest : public GameGLTest {
protected:
    void SetUp() override {
        GameGLTest::SetUp();
        scene = kite::Scene::create();
        scene->onEnter();
    }
    void TearDown() override {
        scene->onExit();
        scene->cleanup();
        scene = nullptr;
        GameGLTest::TearDown();
    }

    // A board laid out from the given cells, as a resumed game would.
    StarMatrix* boardWith(const board::Cells& cells, int level = 0, int score = 0) {
        board::saveLayout(cells);
        GameData* data = GameData::getInstance();
        data->setLevel(level);
        data->currentScore = score;
        data->freshBoard = false;
        return addBoard();
    }
    StarMatrix* addBoard() {
        board = StarMatrix::create(nullptr);
        scene->addChild(board);
        return board;
    }

    void frame() {
        kite::Director::getInstance()->getScheduler()->update(kFrame);
        board->tick(kFrame);
    }
    // Frames until the move in progress is over and every piece is in its cell.
    int settle(int limit = 2000) {
        int frames = 0;
        while (frames < limit && (!board->isTouchEnabled() || board->isMoving())) {
            frame();
            ++frames;
        }
        return frames;
    }
    void tapCell(int row, int column) { board->onBoardTouch(StarMatrix::cellCentre(row, column)); }

    kite::RefPtr<kite::Scene> scene;
    StarMatrix* board = nullptr;
};

}  // namespace game::test
