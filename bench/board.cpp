// The board: finding the group at a touch and settling after a move on full boards, and one frame of the
// board screen with a hundred pieces falling.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Classes/BoardRules.h"
#include "Classes/GameData.h"
#include "Classes/GameRandom.h"
#include "Classes/Star.h"
#include "Classes/StarMatrix.h"
#include "bench/GameStage.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/Node.h"

namespace {

std::vector<board::Cells> randomBoards(int count) {
    std::srand(20261207u);
    std::vector<board::Cells> boards(count);
    for (board::Cells& cells : boards)
        for (int& colour : cells) colour = std::rand() % board::kColourCount;
    return boards;
}

void BM_GroupAtTouch(benchmark::State& state) {
    const std::vector<board::Cells> boards = randomBoards(64);
    std::size_t i = 0;
    for (auto _ : state) {
        const board::Cells& cells = boards[i % boards.size()];
        benchmark::DoNotOptimize(board::collectGroup(cells, static_cast<int>((i * 37) % board::kCellCount)));
        ++i;
    }
}
BENCHMARK(BM_GroupAtTouch);

// A move on a full board: its largest group leaves, gravity and column closing follow.
void BM_SettleAfterMove(benchmark::State& state) {
    std::vector<board::Cells> boards = randomBoards(64);
    std::vector<std::vector<int>> groups;
    for (const board::Cells& cells : boards) {
        std::vector<int> largest;
        for (int index = 0; index < board::kCellCount; ++index) {
            std::vector<int> group = board::collectGroup(cells, index);
            if (group.size() > largest.size()) largest = std::move(group);
        }
        groups.push_back(std::move(largest));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        board::Cells cells = boards[i % boards.size()];
        for (int index : groups[i % boards.size()]) cells[index] = board::kEmpty;
        benchmark::DoNotOptimize(board::settle(cells));
        ++i;
    }
}
BENCHMARK(BM_SettleAfterMove);

// A fresh board's hundred pieces fall 100 points into their cells; the frame restarts their fall when they land.
void BM_BoardFrameWithFallingPieces(benchmark::State& state) {
    bench::GLStage* stage = bench::stageWithNewGame(state);
    if (!stage) return;
    StarMatrix* board = StarMatrix::create(nullptr);
    board->retain();
    kite::Renderer* renderer = stage->renderer.get();
    std::int64_t drawCalls = 0;
    for (auto _ : state) {
        if (!board->isMoving())
            for (int index = 0; index < board::kCellCount; ++index) {
                Star* star = board->starAt(index);
                star->setPosition(star->getDesiredPosition() + kite::Vec2(0.0f, StarMatrix::kDropHeight));
            }
        board->tick(1.0f / 60.0f);
        drawCalls = bench::drawFrame(renderer, board);
    }
    board->release();
    state.counters["draw_calls_per_frame"] = static_cast<double>(drawCalls);
}
BENCHMARK(BM_BoardFrameWithFallingPieces)->Unit(benchmark::kMicrosecond);

}  // namespace
