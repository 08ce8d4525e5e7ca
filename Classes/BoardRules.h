// The board's rules on plain colour cells: groups, pairs, gravity and column closing, scores and targets.
#pragma once
#include <array>
#include <vector>

namespace board {

constexpr int kRows = 10;
constexpr int kColumns = 10;
constexpr int kCellCount = kRows * kColumns;
constexpr int kColourCount = 5;
constexpr int kEmpty = -1;

// Row-major colours, row 0 at the top; kEmpty for an empty cell.
using Cells = std::array<int, kCellCount>;

constexpr int cellIndex(int row, int column) { return row * kColumns + column; }
constexpr int rowOf(int index) { return index / kColumns; }
constexpr int columnOf(int index) { return index % kColumns; }
constexpr bool isColour(int value) { return value >= 0 && value < kColourCount; }

// The same-coloured group around a filled cell, breadth-first from it (up,
// down, left, right), each cell once. Empty for an empty or outside cell.
std::vector<int> collectGroup(const Cells& cells, int index);

// True when no two side-by-side filled cells share a colour.
bool noPairLeft(const Cells& cells);

int pieceCount(const Cells& cells);

// One piece moving from one cell to another while the board settles. `falls`
// marks the moves of gravity; the moves of column closing slide sideways.
struct CellMove {
    int from = 0;
    int to = 0;
    bool falls = false;
};

// Lets the pieces fall into the gaps below them (keeping gaps between pieces
// above a run), then closes empty columns from the left. Returns the moves in
// the order they were made; a piece can fall and then slide.
std::vector<CellMove> settle(Cells& cells);

// Points for a group of n pieces.
constexpr int groupScore(int n) { return n * n * 5; }

// Points needed to pass the level with index `level` (0 for the first).
int targetScoreForLevel(int level);

// Bonus for the pieces left at the end of a level: nothing for 10 or more,
// nor for a negative count.
int leftStarBonus(int piecesLeft);

}  // namespace board
