#include "kite/foundation/math/Vec2.h"
#include "kite/foundation/math/Vec3.h"
#include "kite/foundation/math/Vec4.h"

#include <gtest/gtest.h>

namespace kite {
namespace {

TEST(Vec2, NormalisingAZeroVectorLeavesItZero) {
    EXPECT_EQ(Vec2(0, 0).getNormalized(), Vec2(0, 0));
    Vec2 tiny(1e-38f, 0.0f);
    tiny.normalize();
    EXPECT_EQ(tiny, Vec2(1e-38f, 0.0f));
}

TEST(Vec2, NormalisingAUnitVectorReturnsItExactly) {
    EXPECT_EQ(Vec2(1, 0).getNormalized(), Vec2(1, 0));
    Vec2 n = Vec2(3, 4).getNormalized();
    EXPECT_FLOAT_EQ(n.x, 0.6f);
    EXPECT_FLOAT_EQ(n.y, 0.8f);
    EXPECT_FLOAT_EQ(n.length(), 1.0f);
}

TEST(Vec2, EqualsToleratesOnlyTheFloatEpsilon) {
    EXPECT_TRUE(Vec2(0, 0).equals(Vec2(1e-8f, -1e-8f)));
    EXPECT_FALSE(Vec2(0, 0).equals(Vec2(1e-6f, 0)));
    EXPECT_FALSE(Vec2(0, 0).equals(Vec2(0, kFloatEpsilon)));
    EXPECT_NE(Vec2(0, 0), Vec2(1e-8f, 0)) << "operator== is exact";
}

TEST(Vec2, InPlaceArithmeticMatchesOperators) {
    Vec2 v(1, 2);
    v.add(Vec2(3, 4));
    EXPECT_EQ(v, Vec2(4, 6));
    v.subtract(Vec2(1, 1));
    EXPECT_EQ(v, Vec2(3, 5));
    v.scale(2);
    EXPECT_EQ(v, Vec2(6, 10));
    EXPECT_EQ(Vec2(1, 2) + Vec2(3, 4) - Vec2(1, 1), Vec2(3, 5));
    EXPECT_EQ(2.0f * Vec2(1, -2), Vec2(2, -4));
    EXPECT_FLOAT_EQ(Vec2(3, 4).length(), 5.0f);
    EXPECT_FLOAT_EQ(Vec2(1, 1).distance(Vec2(4, 5)), 5.0f);
}

TEST(Vec2, NamedConstantsHoldTheirValues) {
    EXPECT_EQ(Vec2::ZERO, Vec2(0, 0));
    EXPECT_EQ(Vec2::ANCHOR_MIDDLE, Vec2(0.5f, 0.5f));
    EXPECT_EQ(Vec2::ANCHOR_TOP_RIGHT, Vec2(1, 1));
}

TEST(Vec3, CrossProductIsRightHanded) {
    Vec3 z;
    Vec3::cross(Vec3::UNIT_X, Vec3::UNIT_Y, &z);
    EXPECT_EQ(z, Vec3::UNIT_Z);
    Vec3 x;
    Vec3::cross(Vec3::UNIT_Y, Vec3::UNIT_Z, &x);
    EXPECT_EQ(x, Vec3::UNIT_X);
    Vec3 minusZ;
    Vec3::cross(Vec3::UNIT_Y, Vec3::UNIT_X, &minusZ);
    EXPECT_EQ(minusZ, Vec3(0, 0, -1));
}

TEST(Vec3, CrossAndSubtractMayWriteIntoAnOperand) {
    Vec3 a(1, 2, 3);
    Vec3::cross(a, Vec3(4, 5, 6), &a);
    EXPECT_EQ(a, Vec3(2 * 6 - 3 * 5, 3 * 4 - 1 * 6, 1 * 5 - 2 * 4));
    Vec3 b(4, 5, 6);
    Vec3::cross(Vec3(1, 2, 3), b, &b);
    EXPECT_EQ(b, Vec3(-3, 6, -3));
    Vec3 c(5, 5, 5);
    Vec3::subtract(Vec3(1, 2, 3), c, &c);
    EXPECT_EQ(c, Vec3(-4, -3, -2));
}

TEST(Vec3, NormalizeKeepsZeroAndScalesOthersToUnitLength) {
    Vec3 zero;
    zero.normalize();
    EXPECT_EQ(zero, Vec3(0, 0, 0));
    Vec3 v(2, 3, 6);
    v.normalize();
    EXPECT_FLOAT_EQ(v.length(), 1.0f);
    EXPECT_FLOAT_EQ(v.x, 2.0f / 7.0f);
}

TEST(Vec3, DotNegateAndScale) {
    EXPECT_FLOAT_EQ(Vec3(1, 2, 3).dot(Vec3(4, -5, 6)), 12.0f);
    Vec3 v(1, -2, 3);
    v.negate();
    EXPECT_EQ(v, Vec3(-1, 2, -3));
    v.scale(0.5f);
    EXPECT_EQ(v, Vec3(-0.5f, 1, -1.5f));
}

TEST(Vec4, DefaultIsZeroAndSetWritesAllFour) {
    Vec4 v;
    EXPECT_EQ(v, Vec4::ZERO);
    v.set(1, 2, 3, 4);
    EXPECT_EQ(v, Vec4(1, 2, 3, 4));
}

}  // namespace
}  // namespace kite
