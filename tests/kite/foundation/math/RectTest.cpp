#include "kite/foundation/math/Rect.h"
#include "kite/foundation/math/Size.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kite {
namespace {

TEST(Size, ArithmeticGivesNewValuesComponentWise) {
    Size s(10, 20);
    EXPECT_EQ(s + Size(1, 2), Size(11, 22));
    EXPECT_EQ(s - Size(1, 2), Size(9, 18));
    EXPECT_EQ(s * 0.5f, Size(5, 10));
    EXPECT_EQ(s, Size(10, 20)) << "operands unchanged";
}

TEST(Size, ConvertsFromAVec2) {
    Size s = Vec2(3, 4);
    EXPECT_EQ(s, Size(3, 4));
    s = Vec2(5, 6);
    EXPECT_EQ(s, Size(5, 6));
}

TEST(Size, EqualsToleratesOnlyTheFloatEpsilon) {
    EXPECT_TRUE(Size(10, 10).equals(Size(10.0000001f, 10)));
    EXPECT_FALSE(Size(0, 0).equals(Size(0, 1e-6f)));
    EXPECT_TRUE(Size::ZERO.equals(Size()));
}

TEST(Rect, EdgesOfTheRectangle) {
    Rect r(10, 20, 30, 40);
    EXPECT_FLOAT_EQ(r.getMinX(), 10);
    EXPECT_FLOAT_EQ(r.getMaxX(), 40);
    EXPECT_FLOAT_EQ(r.getMidX(), 25);
    EXPECT_FLOAT_EQ(r.getMinY(), 20);
    EXPECT_FLOAT_EQ(r.getMaxY(), 60);
    EXPECT_FLOAT_EQ(r.getMidY(), 40);
}

TEST(Rect, ContainsEveryCornerAndEdgeButNothingOutside) {
    Rect r(10, 20, 30, 40);
    EXPECT_TRUE(r.containsPoint(Vec2(10, 20)));
    EXPECT_TRUE(r.containsPoint(Vec2(40, 20)));
    EXPECT_TRUE(r.containsPoint(Vec2(10, 60)));
    EXPECT_TRUE(r.containsPoint(Vec2(40, 60)));
    EXPECT_TRUE(r.containsPoint(Vec2(25, 60)));
    EXPECT_TRUE(r.containsPoint(Vec2(25, 40)));
    EXPECT_FALSE(r.containsPoint(Vec2(9.999f, 40)));
    EXPECT_FALSE(r.containsPoint(Vec2(25, 60.001f)));
    EXPECT_TRUE(Rect(5, 5, 0, 0).containsPoint(Vec2(5, 5))) << "a point rectangle holds its point";
}

TEST(Rect, RectanglesSharingOnlyAnEdgeOrCornerIntersect) {
    Rect r(0, 0, 10, 10);
    EXPECT_TRUE(r.intersectsRect(Rect(10, 0, 5, 5)));
    EXPECT_TRUE(r.intersectsRect(Rect(0, 10, 5, 5)));
    EXPECT_TRUE(r.intersectsRect(Rect(10, 10, 5, 5)));
    EXPECT_TRUE(Rect(10, 0, 5, 5).intersectsRect(r)) << "symmetric";
    EXPECT_TRUE(r.intersectsRect(Rect(2, 2, 1, 1))) << "contained";
    EXPECT_FALSE(r.intersectsRect(Rect(10.01f, 0, 5, 5)));
    EXPECT_FALSE(r.intersectsRect(Rect(0, -5.01f, 5, 5)));
    EXPECT_FALSE(Rect(-20, -20, 5, 5).intersectsRect(r));
}

TEST(Rect, UnionIsTheSmallestRectangleHoldingBoth) {
    Rect u = Rect(0, 0, 10, 10).unionWithRect(Rect(20, -5, 5, 5));
    EXPECT_EQ(u, Rect(0, -5, 25, 15));
    EXPECT_EQ(Rect(1, 1, 2, 2).unionWithRect(Rect(0, 0, 10, 10)), Rect(0, 0, 10, 10));
    // A rectangle given with a negative size counts by its extent.
    EXPECT_EQ(Rect(10, 10, -5, -5).unionWithRect(Rect(0, 0, 1, 1)), Rect(0, 0, 10, 10));
}

TEST(Rect, EqualsComparesOriginAndSizeWithinTheEpsilon) {
    const float up = std::nextafter(0.4f, 1.0f);  // one step above, well inside the epsilon
    EXPECT_TRUE(Rect(0.4f, 0.4f, 0.4f, 0.4f).equals(Rect(up, up, up, up)));
    EXPECT_FALSE(Rect(0, 0, 0, 0).equals(Rect(0, 0, kFloatEpsilon, 0))) << "the epsilon itself is too far";
    EXPECT_FALSE(Rect(1, 2, 3, 4).equals(Rect(1, 2, 3.001f, 4)));
    EXPECT_FALSE(Rect(1, 2, 3, 4).equals(Rect(1, 2.001f, 3, 4)));
    Rect r;
    r.setRect(1, 2, 3, 4);
    EXPECT_EQ(r, Rect(Vec2(1, 2), Size(3, 4)));
    EXPECT_TRUE(Rect::ZERO.equals(Rect()));
}

}  // namespace
}  // namespace kite
