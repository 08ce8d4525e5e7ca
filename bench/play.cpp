// The busiest frame of play: just after a 30-piece group has gone, with the bursts of its pieces still
// flying, seventy pieces falling three rows, the combo picture blinking and two floating words moving.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "Classes/BoardRules.h"
#include "Classes/FloatWord.h"
#include "Classes/GameData.h"
#include "Classes/GameRandom.h"
#include "Classes/SavedLayout.h"
#include "Classes/StarMatrix.h"
#include "bench/GameStage.h"
#include "kite/foundation/Scheduler.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/Node.h"

namespace {

constexpr float kFrame = 1.0f / 60;
constexpr int kFramesMeasured = 10;  // the frames right after the group's last piece went

// The bottom three rows one colour (the group of 30), above them stripes of the other four.
board::Cells busyLayout() {
    board::Cells cells;
    for (int index = 0; index < board::kCellCount; ++index)
        cells[index] = board::rowOf(index) >= 7 ? 0 : 1 + (board::columnOf(index) + board::rowOf(index)) % 4;
    return cells;
}

void frame(StarMatrix* board) {
    kite::Director::getInstance()->getScheduler()->update(kFrame);
    board->tick(kFrame);
}

// A new board on the layout, the group tapped and removed to its last piece, the words set floating.
StarMatrix* busyBoard(kite::Node* root) {
    root->removeAllChildrenWithCleanup(true);
    board::saveLayout(busyLayout());
    GameData::getInstance()->freshBoard = false;
    StarMatrix* board = StarMatrix::create(nullptr);
    root->addChild(board);
    while (board->isMoving()) frame(board);
    board->onBoardTouch(StarMatrix::cellCentre(9, 0));
    while (!board->isTouchEnabled()) frame(board);
    for (float y : {456.0f, 376.0f}) {
        FloatWord* word = FloatWord::create("剩余12个", 50, kite::Vec2(480.0f, y));
        root->addChild(word);
        word->floatInOut(0.5f, 1.0f, nullptr);
    }
    frame(board);
    return board;
}

void BM_BusiestPlayFrame(benchmark::State& state) {
    bench::GLStage* stage = bench::stageWithNewGame(state);
    if (!stage) return;
    kite::Node* root = kite::Node::create();
    root->retain();
    root->onEnter();
    kite::Renderer* renderer = stage->renderer.get();
    StarMatrix* board = nullptr;
    int measured = kFramesMeasured;
    std::int64_t drawCalls = 0;
    for (auto _ : state) {
        if (measured == kFramesMeasured) {
            state.PauseTiming();
            board = busyBoard(root);
            measured = 0;
            state.ResumeTiming();
        }
        frame(board);
        drawCalls = std::max(drawCalls, bench::drawFrame(renderer, root));
        ++measured;
    }
    root->onExit();
    root->removeAllChildrenWithCleanup(true);
    root->release();
    state.counters["draw_calls_per_frame"] = static_cast<double>(drawCalls);
}
BENCHMARK(BM_BusiestPlayFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
