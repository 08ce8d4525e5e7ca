#include "Classes/BoardRules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace board {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

// Rows top first; '.' empty, digits colours.
Cells parse(const std::vector<std::string>& rows) {
    Cells cells;
    cells.fill(kEmpty);
    const int offset = kRows - static_cast<int>(rows.size());  // rows given are the bottom ones
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < kColumns && c < static_cast<int>(rows[r].size()); ++c)
            if (rows[r][c] != '.') cells[cellIndex(r + offset, c)] = rows[r][c] - '0';
    return cells;
}

std::vector<std::string> bottomRows(const Cells& cells, int count) {
    std::vector<std::string> rows;
    for (int r = kRows - count; r < kRows; ++r) {
        std::string row;
        for (int c = 0; c < kColumns; ++c) {
            const int colour = cells[cellIndex(r, c)];
            row += colour == kEmpty ? '.' : static_cast<char>('0' + colour);
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(BoardRules, GroupIsCollectedBreadthFirstFromTheTouchedCellOnce) {
    Cells cells = parse({"11........", "1.1.......", "111......."});
    const int touched = cellIndex(8, 0);
    // Up, down, left, right from each cell in turn.
    EXPECT_THAT(collectGroup(cells, touched), ElementsAre(touched, cellIndex(7, 0), cellIndex(9, 0), cellIndex(7, 1),
                                                          cellIndex(9, 1), cellIndex(9, 2), cellIndex(8, 2)));
    EXPECT_THAT(collectGroup(cells, cellIndex(0, 0)), IsEmpty());
    EXPECT_THAT(collectGroup(cells, -1), IsEmpty());
}

TEST(BoardRules, LonePieceIsAGroupOfOne) {
    Cells cells = parse({"0102030404"});
    EXPECT_THAT(collectGroup(cells, cellIndex(9, 2)), ElementsAre(cellIndex(9, 2)));
}

TEST(BoardRules, PairsShareASideAndAColour) {
    EXPECT_TRUE(noPairLeft(parse({"0101010101", "1010101010"})));
    EXPECT_FALSE(noPairLeft(parse({"0101010101", "1010101011"})));
    EXPECT_FALSE(noPairLeft(parse({"0.........", "0........."})));
    EXPECT_TRUE(noPairLeft(parse({"0.0......."})));  // a gap between is no pair
    Cells empty;
    empty.fill(kEmpty);
    EXPECT_TRUE(noPairLeft(empty));
}

TEST(BoardRules, GravityClosesEveryGapBelowAPieceRunByRun) {
    Cells cells = parse({"2.........", "..........", "3.........", "..........", "4........."});
    std::vector<CellMove> moves = settle(cells);
    EXPECT_EQ(bottomRows(cells, 5),
              (std::vector<std::string>{"..........", "..........", "2.........", "3.........", "4........."}));
    // The part above the lowest gap drops over it with its own gap, which the scan then closes.
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[0].from, cellIndex(7, 0));
    EXPECT_EQ(moves[1].from, cellIndex(5, 0));
    EXPECT_EQ(moves[1].to, cellIndex(6, 0));
    EXPECT_EQ(moves[2].from, cellIndex(6, 0));
    for (const CellMove& move : moves) EXPECT_TRUE(move.falls);
}

TEST(BoardRules, AnEmptyColumnBetweenFilledOnesClosesUp) {
    Cells cells = parse({"1.2.......", "1.23......"});
    std::vector<CellMove> moves = settle(cells);
    EXPECT_EQ(bottomRows(cells, 2), (std::vector<std::string>{"12........", "123......."}));
    for (const CellMove& move : moves) EXPECT_FALSE(move.falls);
}

TEST(BoardRules, TwoAdjacentEmptyColumnsAndAnEmptyLeftEdgeCloseInOneSettle) {
    Cells cells = parse({"..1..2....", "..1..23..4"});
    settle(cells);
    EXPECT_EQ(bottomRows(cells, 2), (std::vector<std::string>{"12........", "1234......"}));
}

TEST(BoardRules, APieceThatFallsCanThenSlide) {
    Cells cells = parse({".2........", ".3........", "..........", "..........", "...4......"});
    // Column 0 empty, column 1 falls to the bottom, then everything slides left.
    std::vector<CellMove> moves = settle(cells);
    EXPECT_EQ(bottomRows(cells, 2), (std::vector<std::string>{"2.........", "34........"}));
    ASSERT_EQ(moves.size(), 6u);
    EXPECT_TRUE(moves[0].falls);
    EXPECT_EQ(moves[0].from, cellIndex(6, 1));
    EXPECT_EQ(moves[0].to, cellIndex(9, 1));
    EXPECT_FALSE(moves.back().falls);
}

TEST(BoardRules, ScoresTargetsAndBonus) {
    EXPECT_EQ(groupScore(2), 20);
    EXPECT_EQ(groupScore(10), 500);
    EXPECT_EQ(groupScore(1), 5);
    EXPECT_EQ(targetScoreForLevel(0), 1000);
    EXPECT_EQ(targetScoreForLevel(1), 2540);
    EXPECT_EQ(targetScoreForLevel(2), 4590);
    EXPECT_EQ(targetScoreForLevel(3), 6680);
    EXPECT_EQ(targetScoreForLevel(9), 20060);
    EXPECT_EQ(leftStarBonus(0), 2000);
    EXPECT_EQ(leftStarBonus(9), 380);
    EXPECT_EQ(leftStarBonus(10), 0);
    EXPECT_EQ(leftStarBonus(-1), 0);
}

}  // namespace
}  // namespace board
