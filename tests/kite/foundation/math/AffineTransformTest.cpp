#include "kite/foundation/math/AffineTransform.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/foundation/math/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kite {
namespace {

void expectNear(const Vec2& actual, const Vec2& expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
}

AffineTransform translation(float x, float y) { return AffineTransformTranslate(AffineTransform::IDENTITY, x, y); }

TEST(AffineTransform, ConcatAppliesTheFirstTransformFirst) {
    const AffineTransform rotate = AffineTransformRotate(AffineTransform::IDENTITY, kPiOver2);
    const AffineTransform t = AffineTransformConcat(translation(10, 0), rotate);
    expectNear(PointApplyAffineTransform(Vec2(0, 0), t), Vec2(0, 10));
    // The other order rotates first, so the origin only moves by the translation.
    expectNear(PointApplyAffineTransform(Vec2(0, 0), AffineTransformConcat(rotate, translation(10, 0))), Vec2(10, 0));
    expectNear(PointApplyAffineTransform(Vec2(1, 0), AffineTransformConcat(rotate, translation(10, 0))), Vec2(10, 1));
}

TEST(AffineTransform, TranslateAndRotateApplyBeforeTheTransform) {
    const AffineTransform scale = AffineTransformMake(2, 0, 0, 3, 5, 5);
    // Translating by (1, 1) first moves by (2, 3) after the scale.
    expectNear(PointApplyAffineTransform(Vec2(0, 0), AffineTransformTranslate(scale, 1, 1)), Vec2(7, 8));
    // Rotating (1, 0) by 90 degrees first gives (0, 1), then scaled and moved.
    expectNear(PointApplyAffineTransform(Vec2(1, 0), AffineTransformRotate(scale, kPiOver2)), Vec2(5, 8));
    // The argument is unchanged.
    EXPECT_TRUE(AffineTransformEqualToTransform(scale, AffineTransformMake(2, 0, 0, 3, 5, 5)));
}

TEST(AffineTransform, InvertUndoesTheTransform) {
    AffineTransform t = AffineTransformMake(2, 0.5f, -1, 3, 10, -20);
    t = AffineTransformRotate(t, 0.4f);
    const AffineTransform inv = AffineTransformInvert(t);
    for (const Vec2& p : {Vec2(0, 0), Vec2(3, -7), Vec2(100, 250)}) {
        expectNear(PointApplyAffineTransform(PointApplyAffineTransform(p, t), inv), p, 1e-3f);
    }
    const AffineTransform id = AffineTransformConcat(t, inv);
    EXPECT_NEAR(id.a, 1, 1e-5f);
    EXPECT_NEAR(id.b, 0, 1e-5f);
    EXPECT_NEAR(id.tx, 0, 1e-4f);
}

TEST(AffineTransform, PointIsComputedInDoublePrecision) {
    // In float, 2^24 + 1 rounds back to 2^24 before the translation takes 2^24 away.
    const AffineTransform t = AffineTransformMake(1, 0, 1, 1, -16777216.0f, 0);
    EXPECT_EQ(PointApplyAffineTransform(Vec2(16777216.0f, 1.0f), t).x, 1.0f);
}

TEST(AffineTransform, RectangleMapsToTheBoundingBoxOfItsCorners) {
    const Rect r(0, 0, 20, 10);
    const AffineTransform rotate = AffineTransformRotate(AffineTransform::IDENTITY, kPiOver2);
    const Rect box = RectApplyAffineTransform(r, rotate);
    expectNear(box.origin, Vec2(-10, 0));
    EXPECT_NEAR(box.size.width, 10, 1e-5f);
    EXPECT_NEAR(box.size.height, 20, 1e-5f);

    const Rect rotated45 =
        RectApplyAffineTransform(Rect(-1, -1, 2, 2), AffineTransformRotate(AffineTransform::IDENTITY, kPi / 4));
    EXPECT_NEAR(rotated45.size.width, 2 * std::sqrt(2.0f), 1e-5f);
    EXPECT_NEAR(rotated45.origin.x, -std::sqrt(2.0f), 1e-5f);
}

TEST(AffineTransform, RectangleThroughAMatrixMatchesTheAffineForm) {
    Mat4 m;
    Mat4::createRotation(Quaternion(Vec3::UNIT_Z, 0.6f), &m);
    m.m[12] = 30;
    m.m[13] = -4;
    m.m[14] = 99;  // z plays no part in the 2D box
    const Rect r(5, 6, 40, 30);
    const Rect viaMatrix = RectApplyTransform(r, m);
    const Rect viaAffine = RectApplyAffineTransform(r, MatrixToAffineTransform(m));
    EXPECT_NEAR(viaMatrix.origin.x, viaAffine.origin.x, 1e-4f);
    EXPECT_NEAR(viaMatrix.origin.y, viaAffine.origin.y, 1e-4f);
    EXPECT_NEAR(viaMatrix.size.width, viaAffine.size.width, 1e-4f);
    EXPECT_NEAR(viaMatrix.size.height, viaAffine.size.height, 1e-4f);
}

TEST(AffineTransform, MatrixConversionTakesTheTwoDimensionalPart) {
    Mat4 m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    AffineTransform t;
    MatrixToAffineTransform(m, &t);
    EXPECT_TRUE(AffineTransformEqualToTransform(t, AffineTransformMake(1, 2, 5, 6, 13, 14)));
    Mat4 back;
    AffineTransformToMatrix(t, &back);
    EXPECT_EQ(back, Mat4(1, 2, 0, 0, 5, 6, 0, 0, 0, 0, 1, 0, 13, 14, 0, 1));
}

}  // namespace
}  // namespace kite
