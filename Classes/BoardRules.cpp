#include "Classes/BoardRules.h"

#include <deque>

namespace board {

namespace {

constexpr int kTargetCoefficient = 20;

// Neighbours in the order the group search looks at them: up, down, left, right.
template <class Visit>
void forEachNeighbour(int index, Visit visit) {
    const int row = rowOf(index);
    const int column = columnOf(index);
    if (row > 0) visit(cellIndex(row - 1, column));
    if (row < kRows - 1) visit(cellIndex(row + 1, column));
    if (column > 0) visit(cellIndex(row, column - 1));
    if (column < kColumns - 1) visit(cellIndex(row, column + 1));
}

void moveCell(Cells& cells, int from, int to, bool falls, std::vector<CellMove>& moves) {
    cells[to] = cells[from];
    cells[from] = kEmpty;
    moves.push_back({from, to, falls});
}

// Moves the column part above an empty run ending at (row, column) down over the run.
void dropAbove(Cells& cells, int row, int column, std::vector<CellMove>& moves) {
    int top = row;
    while (top >= 0 && cells[cellIndex(top, column)] == kEmpty) --top;
    const int run = row - top;
    if (top < 0) return;  // nothing above the run
    for (int above = top; above >= 0; --above) {
        if (cells[cellIndex(above, column)] == kEmpty) continue;
        moveCell(cells, cellIndex(above, column), cellIndex(above + run, column), true, moves);
    }
}

void applyGravity(Cells& cells, std::vector<CellMove>& moves) {
    for (int row = kRows - 1; row >= 0; --row)
        for (int column = kColumns - 1; column >= 0; --column)
            if (cells[cellIndex(row, column)] == kEmpty) dropAbove(cells, row, column, moves);
}

void closeColumns(Cells& cells, std::vector<CellMove>& moves) {
    const int bottom = kRows - 1;
    for (int column = 0; column < kColumns; ++column) {
        if (cells[cellIndex(bottom, column)] != kEmpty) continue;
        int filled = column + 1;
        while (filled < kColumns && cells[cellIndex(bottom, filled)] == kEmpty) ++filled;
        if (filled == kColumns) return;
        const int shift = filled - column;
        for (int source = filled; source < kColumns; ++source)
            for (int row = 0; row < kRows; ++row)
                if (cells[cellIndex(row, source)] != kEmpty)
                    moveCell(cells, cellIndex(row, source), cellIndex(row, source - shift), false, moves);
    }
}

}  // namespace

std::vector<int> collectGroup(const Cells& cells, int index) {
    std::vector<int> group;
    if (index < 0 || index >= kCellCount || cells[index] == kEmpty) return group;
    const int colour = cells[index];
    std::array<bool, kCellCount> selected{};
    std::deque<int> work{index};
    while (!work.empty()) {
        const int front = work.front();
        forEachNeighbour(front, [&](int neighbour) {
            if (!selected[neighbour] && cells[neighbour] == colour) work.push_back(neighbour);
        });
        if (!selected[front]) {
            selected[front] = true;
            group.push_back(front);
        }
        work.pop_front();
    }
    return group;
}

bool noPairLeft(const Cells& cells) {
    for (int row = 0; row < kRows; ++row)
        for (int column = 0; column < kColumns; ++column) {
            const int colour = cells[cellIndex(row, column)];
            if (colour == kEmpty) continue;
            if (row + 1 < kRows && cells[cellIndex(row + 1, column)] == colour) return false;
            if (column + 1 < kColumns && cells[cellIndex(row, column + 1)] == colour) return false;
        }
    return true;
}

int pieceCount(const Cells& cells) {
    int count = 0;
    for (int colour : cells)
        if (colour != kEmpty) ++count;
    return count;
}

std::vector<CellMove> settle(Cells& cells) {
    std::vector<CellMove> moves;
    applyGravity(cells, moves);
    closeColumns(cells, moves);
    return moves;
}

int targetScoreForLevel(int level) {
    if (level == 0) return 1000;
    const int n = level + 1;
    return (kTargetCoefficient * n + 1950) * n - 1440;
}

int leftStarBonus(int piecesLeft) {
    const unsigned n = static_cast<unsigned>(piecesLeft);
    return n < 10 ? 2000 - 20 * static_cast<int>(n * n) : 0;
}

}  // namespace board
