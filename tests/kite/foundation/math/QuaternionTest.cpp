#include "kite/foundation/math/Mat4.h"
#include "kite/foundation/math/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kite {
namespace {

void expectNear(const Vec3& actual, const Vec3& expected, float tolerance = 1e-5f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

TEST(Quaternion, DefaultIsTheIdentity) {
    Quaternion q;
    EXPECT_EQ(q, Quaternion(0, 0, 0, 1));
    EXPECT_TRUE(q.isIdentity());
    EXPECT_EQ(Quaternion::identity(), q);
    Mat4 m;
    Mat4::createRotation(q, &m);
    EXPECT_EQ(m, Mat4::IDENTITY);
}

TEST(Quaternion, ProductRotatesByTheRightOperandFirst) {
    const Quaternion aboutZ(Vec3::UNIT_Z, kPiOver2);
    const Quaternion aboutX(Vec3::UNIT_X, kPiOver2);
    // x axis: about X keeps it, then about Z turns it to y.
    expectNear((aboutZ * aboutX).rotate(Vec3::UNIT_X), Vec3::UNIT_Y);
    // The other order: about Z gives y, then about X gives z.
    expectNear((aboutX * aboutZ).rotate(Vec3::UNIT_X), Vec3::UNIT_Z);
}

TEST(Quaternion, ProductMayWriteIntoAnOperand) {
    Quaternion a(Vec3(1, 2, 3), 0.5f);
    const Quaternion b(Vec3(-1, 0, 2), 1.2f);
    const Quaternion expected = a * b;
    Quaternion::multiply(a, b, &a);
    EXPECT_EQ(a, expected);
}

TEST(Quaternion, RotateAgreesWithTheRotationMatrix) {
    const Quaternion q(Vec3(1, -2, 0.5f), 2.1f);
    Mat4 m;
    Mat4::createRotation(q, &m);
    Vec3 p(3, 4, 5);
    const Vec3 rotated = q.rotate(p);
    m.transformPoint(&p);
    expectNear(rotated, p, 1e-4f);
}

TEST(Quaternion, InverseUndoesTheRotation) {
    Quaternion q(Vec3(0, 1, 1), 1.0f);
    expectNear((q * q.getInversed()).rotate(Vec3(1, 2, 3)), Vec3(1, 2, 3));
    // A non-unit quaternion inverts too.
    Quaternion scaled(0.0f, 0.0f, 2.0f, 2.0f);
    const Quaternion product = scaled * scaled.getInversed();
    EXPECT_NEAR(product.w, 1, 1e-6f);
    EXPECT_NEAR(product.z, 0, 1e-6f);
    Quaternion zero = Quaternion::ZERO;
    EXPECT_FALSE(zero.inverse());
    EXPECT_EQ(zero, Quaternion::ZERO);
}

TEST(Quaternion, NormaliseKeepsZeroAndScalesOthers) {
    Quaternion zero = Quaternion::ZERO;
    zero.normalize();
    EXPECT_EQ(zero, Quaternion::ZERO);
    const Quaternion n = Quaternion(0, 3, 0, 4).getNormalized();
    EXPECT_FLOAT_EQ(n.y, 0.6f);
    EXPECT_FLOAT_EQ(n.w, 0.8f);
}

TEST(Quaternion, AxisAngleRoundTrip) {
    Vec3 axis;
    const float angle = Quaternion(Vec3(0, 0, 4), 1.25f).toAxisAngle(&axis);
    EXPECT_NEAR(angle, 1.25f, 1e-5f);
    expectNear(axis, Vec3::UNIT_Z);
    EXPECT_NEAR(Quaternion().toAxisAngle(&axis), 0, 1e-6f);
}

TEST(Quaternion, FromRotationMatrixIsTheMatrixRotation) {
    const Quaternion q(Vec3(1, 1, 0), 0.9f);
    Mat4 m;
    Mat4::createRotation(q, &m);
    m.scale(2, 2, 2);
    Quaternion back;
    Quaternion::createFromRotationMatrix(m, &back);
    EXPECT_NEAR(back.x, q.x, 1e-5f);
    EXPECT_NEAR(back.y, q.y, 1e-5f);
    EXPECT_NEAR(back.z, q.z, 1e-5f);
    EXPECT_NEAR(back.w, q.w, 1e-5f);
}

}  // namespace
}  // namespace kite
