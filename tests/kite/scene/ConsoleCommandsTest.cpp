#include "kite/scene/ConsoleCommands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace kite {
namespace {

TEST(ConsoleSwipeMoves, OneUnitAlongTheLongerAxisAndTheOtherAtItsPace) {
    const Size view(640, 1136);
    std::vector<Vec2> moves = consoleSwipeMoves(Vec2(640, 1136), Vec2(0, 0), view);
    ASSERT_EQ(moves.size(), 1135u);
    EXPECT_EQ(moves.front(), Vec2(640 - 640.0f / 1136, 1135));
    EXPECT_NEAR(moves.back().x, 640.0f / 1136, 1e-3f);
    EXPECT_EQ(moves.back().y, 1);
    for (std::size_t i = 1; i < moves.size(); ++i) {
        EXPECT_EQ(moves[i - 1].y - moves[i].y, 1.0f);
        EXPECT_GT(moves[i - 1].x, moves[i].x);
    }
    EXPECT_TRUE(consoleSwipeMoves(Vec2(3, 3), Vec2(3.5f, 3.9f), view).empty());
    EXPECT_TRUE(consoleSwipeMoves(Vec2(3, 3), Vec2(3, 3), view).empty());
    moves = consoleSwipeMoves(Vec2(0.25f, 7), Vec2(2.5f, 7), view);
    EXPECT_THAT(moves, ::testing::ElementsAre(Vec2(1.25f, 7), Vec2(2.25f, 7)));
}

TEST(ConsoleSwipeMoves, EndsBeyondTheViewMakeNoMoreMovesThanItsLongerSide) {
    const Size view(640, 1136);
    EXPECT_EQ(consoleSwipeMoves(Vec2(0, 0), Vec2(3e38f, 0), view).size(), 1135u);
    EXPECT_EQ(consoleSwipeMoves(Vec2(-3e38f, 0), Vec2(3e38f, 1), view).size(), 1135u);
    EXPECT_EQ(consoleSwipeMoves(Vec2(0, 0), Vec2(INFINITY, 0), view).size(), 1135u);
    EXPECT_EQ(consoleSwipeMoves(Vec2(0, 0), Vec2(NAN, NAN), view).size(), 1135u);
}

}  // namespace
}  // namespace kite
