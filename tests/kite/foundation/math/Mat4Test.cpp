#include "kite/foundation/math/Mat4.h"
#include "kite/foundation/math/Quaternion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace kite {
namespace {

::testing::AssertionResult matricesNear(const Mat4& a, const Mat4& b, float tolerance) {
    for (int i = 0; i < 16; ++i) {
        if (!(std::fabs(a.m[i] - b.m[i]) <= tolerance)) {
            return ::testing::AssertionFailure() << "element " << i << ": " << a.m[i] << " vs " << b.m[i];
        }
    }
    return ::testing::AssertionSuccess();
}

// q and -q are the same rotation.
::testing::AssertionResult sameRotation(const Quaternion& a, const Quaternion& b, float tolerance) {
    const float sign = (a.x * b.x + a.y * b.y + a.z * b.z + a.w * b.w) < 0 ? -1.0f : 1.0f;
    if (std::fabs(a.x - sign * b.x) <= tolerance && std::fabs(a.y - sign * b.y) <= tolerance &&
        std::fabs(a.z - sign * b.z) <= tolerance && std::fabs(a.w - sign * b.w) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs (" << b.x
                                         << ", " << b.y << ", " << b.z << ", " << b.w << ")";
}

// Textbook row-by-column product on (row, column) indices, for reference.
Mat4 referenceProduct(const Mat4& a, const Mat4& b) {
    Mat4 r = Mat4::ZERO;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            for (int k = 0; k < 4; ++k) r.m[4 * col + row] += a.m[4 * k + row] * b.m[4 * col + k];
    return r;
}

Mat4 randomMatrix(std::mt19937& rng) {
    std::uniform_real_distribution<float> dist(-10.0f, 10.0f);
    Mat4 m;
    for (float& e : m.m) e = dist(rng);
    return m;
}

Mat4 trs(const Vec3& t, const Quaternion& r, const Vec3& s) {
    Mat4 tm, rm, sm;
    Mat4::createTranslation(t, &tm);
    Mat4::createRotation(r, &rm);
    Mat4::createScale(s, &sm);
    return tm * rm * sm;
}

TEST(Mat4, DefaultIsIdentityAndElementsAreColumnMajor) {
    EXPECT_EQ(Mat4(), Mat4::IDENTITY);
    EXPECT_TRUE(Mat4().isIdentity());
    Mat4 t;
    Mat4::createTranslation(1, 2, 3, &t);
    EXPECT_EQ(t.m[12], 1);
    EXPECT_EQ(t.m[13], 2);
    EXPECT_EQ(t.m[14], 3);
    Mat4 fromElements(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1);
    EXPECT_EQ(fromElements, t);
}

TEST(Mat4, ProductMatchesTheTextbookDefinition) {
    std::mt19937 rng(7);
    for (int i = 0; i < 20; ++i) {
        Mat4 a = randomMatrix(rng), b = randomMatrix(rng);
        EXPECT_TRUE(matricesNear(a * b, referenceProduct(a, b), 1e-3f));
    }
}

TEST(Mat4, ProductAppliesTheRightOperandFirst) {
    Mat4 t, s;
    Mat4::createTranslation(10, 0, 0, &t);
    Mat4::createScale(2, 2, 2, &s);
    Vec3 p(1, 1, 1);
    (t * s).transformPoint(&p);
    EXPECT_EQ(p, Vec3(12, 2, 2));
}

TEST(Mat4, ProductIsRightWhenTheDestinationIsAnOperand) {
    std::mt19937 rng(11);
    Mat4 a = randomMatrix(rng), b = randomMatrix(rng);
    const Mat4 expected = referenceProduct(a, b);

    Mat4 left = a;
    Mat4::multiply(left, b, &left);
    EXPECT_TRUE(matricesNear(left, expected, 1e-3f));

    Mat4 right = b;
    Mat4::multiply(a, right, &right);
    EXPECT_TRUE(matricesNear(right, expected, 1e-3f));

    Mat4 inPlace = a;
    inPlace.multiply(b);
    EXPECT_TRUE(matricesNear(inPlace, expected, 1e-3f));

    Mat4 squared = a;
    Mat4::multiply(squared, squared, &squared);
    EXPECT_TRUE(matricesNear(squared, referenceProduct(a, a), 1e-3f));
}

// Random 2D affine maps with their own z scale and offset.
Mat4 randomPlanar(std::mt19937& rng) {
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    Mat4 m;
    for (int i : {0, 1, 4, 5, 10, 12, 13, 14}) m.m[i] = value(rng);
    return m;
}

TEST(Mat4, PlanarProductGivesTheFullProductsValues) {
    std::mt19937 rng(5);
    for (int round = 0; round < 100; ++round) {
        const Mat4 a = randomPlanar(rng), b = randomPlanar(rng);
        ASSERT_TRUE(a.isPlanar() && b.isPlanar());
        Mat4 planar;
        Mat4::multiplyPlanar(a, b, &planar);
        EXPECT_TRUE(planar == a * b);
        EXPECT_TRUE(planar.isPlanar());
        Mat4 inPlace = a;
        Mat4::multiplyPlanar(inPlace, b, &inPlace);
        EXPECT_TRUE(inPlace == planar);
    }
    Mat4 tilted;
    tilted.m[8] = 0.5f;
    EXPECT_FALSE(tilted.isPlanar());
    Mat4 projective;
    projective.m[11] = -1.0f;
    EXPECT_FALSE(projective.isPlanar());
    // Either sign of zero is zero; a NaN is not, nor is a w of -1 or -0.
    Mat4 signedZeros;
    signedZeros.m[2] = signedZeros.m[9] = -0.0f;
    EXPECT_TRUE(signedZeros.isPlanar());
    for (int i : {2, 3, 6, 7, 8, 9, 11, 15}) {
        for (float bad : {std::nanf(""), 1e-30f, -1e-30f}) {
            Mat4 m;
            m.m[i] = bad;
            EXPECT_FALSE(m.isPlanar()) << "entry " << i << " holding " << bad;
        }
    }
    for (float w : {-1.0f, -0.0f, 0.0f}) {
        Mat4 m;
        m.m[15] = w;
        EXPECT_FALSE(m.isPlanar()) << "w " << w;
    }
}

TEST(Mat4, KernelsAllowAliasedDestinations) {
    std::mt19937 rng(3);
    const Mat4 a = randomMatrix(rng);

    Mat4 t = a;
    MathUtil::transposeMatrix(t.m, t.m);
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) EXPECT_EQ(t.m[4 * c + r], a.m[4 * r + c]);

    Mat4 s = a;
    MathUtil::multiplyMatrixByScalar(s.m, 2.0f, s.m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(s.m[i], a.m[i] * 2.0f);

    Vec4 v(1, 2, 3, 4);
    Vec4 expected;
    a.transformVector(v, &expected);
    a.transformVector(&v);
    EXPECT_EQ(v, expected);

    float xyz[3] = {1, 2, 3};
    MathUtil::transformVec4(a.m, xyz[0], xyz[1], xyz[2], 1.0f, xyz);
    EXPECT_FLOAT_EQ(xyz[0], a.m[0] + 2 * a.m[4] + 3 * a.m[8] + a.m[12]);
}

TEST(Mat4, TransformVectorStoresOnlyXyzForTheFourFloatForm) {
    Mat4 m;
    Mat4::createTranslation(5, 6, 7, &m);
    Vec3 point;
    m.transformVector(1, 1, 1, 1, &point);
    EXPECT_EQ(point, Vec3(6, 7, 8));
    Vec3 direction;
    m.transformVector(1, 1, 1, 0, &direction);
    EXPECT_EQ(direction, Vec3(1, 1, 1)) << "w = 0 ignores the translation";
}

TEST(Mat4, TimesInverseIsTheIdentity) {
    std::mt19937 rng(42);
    for (int i = 0; i < 50; ++i) {
        const Mat4 m = randomMatrix(rng);
        if (std::fabs(m.determinant()) < 1.0f) continue;  // keep the check well conditioned
        Mat4 inv = m;
        ASSERT_TRUE(inv.inverse());
        EXPECT_TRUE(matricesNear(m * inv, Mat4::IDENTITY, 1e-4f)) << "matrix " << i;
        EXPECT_TRUE(matricesNear(inv * m, Mat4::IDENTITY, 1e-4f)) << "matrix " << i;
    }
    const Mat4 node = trs(Vec3(100, 50, 0), Quaternion(Vec3::UNIT_Z, 0.3f), Vec3(2, 0.5f, 1));
    EXPECT_TRUE(matricesNear(node * node.getInversed(), Mat4::IDENTITY, 1e-5f));
}

TEST(Mat4, InvertingASingularMatrixLeavesItUnchanged) {
    Mat4 zeroColumn(0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 4, 5, 6, 1);
    const Mat4 original = zeroColumn;
    EXPECT_FALSE(zeroColumn.inverse());
    EXPECT_EQ(zeroColumn, original);
    EXPECT_EQ(original.getInversed(), original);

    // A determinant at the tolerance counts as zero.
    Mat4 tiny;
    Mat4::createScale(1e-13f, 1e-13f, 1e-13f, &tiny);
    const Mat4 tinyOriginal = tiny;
    EXPECT_FALSE(tiny.inverse());
    EXPECT_EQ(tiny, tinyOriginal);
}

TEST(Mat4, DeterminantOfScaleAndMirror) {
    Mat4 s;
    Mat4::createScale(2, 3, 4, &s);
    EXPECT_FLOAT_EQ(s.determinant(), 24.0f);
    Mat4 mirror;
    Mat4::createScale(1, 1, -1, &mirror);
    EXPECT_FLOAT_EQ(mirror.determinant(), -1.0f);
    std::mt19937 rng(5);
    const Mat4 a = randomMatrix(rng), b = randomMatrix(rng);
    EXPECT_NEAR((a * b).determinant(), a.determinant() * b.determinant(),
                std::fabs(a.determinant() * b.determinant()) * 1e-4f);
}

TEST(Mat4, DecomposingTranslationRotationScaleGivesThemBack) {
    struct Case {
        Vec3 axis;
        float angle;
    };
    // Small and large angles exercise every branch of the rotation extraction.
    const Case cases[] = {{Vec3(1, 2, 3), 0.7f},     {Vec3(1, 0, 0), 3.14159f}, {Vec3(0, 1, 0), 3.14159f},
                          {Vec3(0, 0, 1), 3.14159f}, {Vec3(0, 0, 1), 0.0f},     {Vec3(-1, 1, 0.5f), 2.5f}};
    for (const Case& c : cases) {
        const Vec3 t(1, -2, 3);
        const Quaternion r(c.axis, c.angle);
        const Vec3 s(2, 3, 4);
        Vec3 scale, translation;
        Quaternion rotation(9, 9, 9, 9);
        ASSERT_TRUE(trs(t, r, s).decompose(&scale, &rotation, &translation));
        EXPECT_TRUE(translation.equals(t));
        EXPECT_NEAR(scale.x, 2, 1e-5f);
        EXPECT_NEAR(scale.y, 3, 1e-5f);
        EXPECT_NEAR(scale.z, 4, 1e-5f);
        EXPECT_TRUE(sameRotation(rotation, r, 1e-4f)) << "angle " << c.angle;
    }
}

TEST(Mat4, DecomposeShowsAMirrorAsNegativeZScale) {
    Vec3 scale;
    Quaternion rotation;
    ASSERT_TRUE(trs(Vec3(), Quaternion(), Vec3(2, 2, -3)).decompose(&scale, &rotation, nullptr));
    EXPECT_NEAR(scale.z, -3, 1e-5f);
    EXPECT_TRUE(sameRotation(rotation, Quaternion(), 1e-5f));
}

TEST(Mat4, DecomposeOfAZeroScaleWritesScaleAndTranslationButNoRotation) {
    Mat4 m;
    Mat4::createScale(0, 2, 3, &m);
    m.m[12] = 7;
    Vec3 scale(-1, -1, -1), translation;
    Quaternion rotation(0.1f, 0.2f, 0.3f, 0.4f);
    EXPECT_FALSE(m.decompose(&scale, &rotation, &translation));
    EXPECT_EQ(scale, Vec3(0, 2, 3));
    EXPECT_EQ(translation, Vec3(7, 0, 0));
    EXPECT_EQ(rotation, Quaternion(0.1f, 0.2f, 0.3f, 0.4f));
    Vec3 onlyScale;
    EXPECT_TRUE(m.decompose(&onlyScale, nullptr, nullptr)) << "no rotation asked, nothing fails";
}

TEST(Mat4, RotationFromAQuaternionTurnsCounterClockwise) {
    Mat4 m;
    Mat4::createRotation(Quaternion(Vec3::UNIT_Z, kPiOver2), &m);
    Vec3 p(1, 0, 0);
    m.transformPoint(&p);
    EXPECT_NEAR(p.x, 0, 1e-6f);
    EXPECT_NEAR(p.y, 1, 1e-6f);
    Quaternion back;
    ASSERT_TRUE(m.getRotation(&back));
    EXPECT_TRUE(sameRotation(back, Quaternion(Vec3::UNIT_Z, kPiOver2), 1e-6f));
}

TEST(Mat4, PerspectiveOfAMultipleOf180DegreesLeavesTheDestination) {
    for (float fov : {0.0f, 180.0f, 360.0f, -180.0f}) {
        Mat4 m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
        const Mat4 before = m;
        Mat4::createPerspective(fov, 1.5f, 1, 100, &m);
        EXPECT_EQ(m, before) << fov;
    }
}

TEST(Mat4, PerspectiveOf60Degrees) {
    Mat4 m;
    Mat4::createPerspective(60, 1, 1, 3, &m);
    const float f = 1.0f / std::tan(30.0f * kDegreesToRadians);
    Mat4 expected = Mat4::ZERO;
    expected.m[0] = f;
    expected.m[5] = f;
    expected.m[10] = -2;
    expected.m[11] = -1;
    expected.m[14] = -3;
    EXPECT_TRUE(matricesNear(m, expected, 1e-6f));
    Mat4 wide;
    Mat4::createPerspective(60, 2, 1, 3, &wide);
    EXPECT_FLOAT_EQ(wide.m[0], f / 2);
}

TEST(Mat4, PerspectiveMapsNearAndFarPlanesToTheClipRange) {
    Mat4 m;
    Mat4::createPerspective(60, 1.5f, 10, 1000, &m);
    Vec4 nearPoint(0, 0, -10, 1), farPoint(0, 0, -1000, 1);
    m.transformVector(&nearPoint);
    m.transformVector(&farPoint);
    EXPECT_NEAR(nearPoint.z / nearPoint.w, -1, 1e-5f);
    EXPECT_NEAR(farPoint.z / farPoint.w, 1, 1e-4f);
}

TEST(Mat4, OrthographicMapsTheBoxOntoTheClipCube) {
    Mat4 m;
    Mat4::createOrthographicOffCenter(0, 480, 0, 720, -1024, 1024, &m);
    Vec3 low(0, 0, 1024), high(480, 720, -1024), centre(240, 360, 0);
    m.transformPoint(&low);
    m.transformPoint(&high);
    m.transformPoint(&centre);
    EXPECT_TRUE(low.equals(Vec3(-1, -1, -1)));
    EXPECT_TRUE(high.equals(Vec3(1, 1, 1)));
    EXPECT_TRUE(centre.equals(Vec3(0, 0, 0)));
    EXPECT_EQ(m.m[15], 1);
    EXPECT_EQ(m.m[3], 0);
}

TEST(Mat4, LookAtPutsTheEyeAtTheOriginLookingDownMinusZ) {
    Mat4 view;
    // A non-unit up vector is normalised.
    Mat4::createLookAt(Vec3(240, 360, 622.5f), Vec3(240, 360, 0), Vec3(0, 5, 0), &view);
    Vec3 eye(240, 360, 622.5f), target(240, 360, 0), above(240, 361, 0);
    view.transformPoint(&eye);
    view.transformPoint(&target);
    view.transformPoint(&above);
    EXPECT_TRUE(eye.equals(Vec3(0, 0, 0)));
    EXPECT_NEAR(target.z, -622.5f, 1e-3f);
    EXPECT_NEAR(target.x, 0, 1e-4f);
    EXPECT_NEAR(above.y - target.y, 1, 1e-4f) << "up stays up";

    Mat4 fromFloats;
    Mat4::createLookAt(240, 360, 622.5f, 240, 360, 0, 0, 5, 0, &fromFloats);
    EXPECT_EQ(fromFloats, view);
}

TEST(Mat4, TranslateMultipliesOnTheRight) {
    std::mt19937 rng(9);
    Mat4 m = randomMatrix(rng);
    Mat4 t;
    Mat4::createTranslation(3, -4, 5, &t);
    const Mat4 expected = m * t;
    m.translate(3, -4, 5);
    EXPECT_TRUE(matricesNear(m, expected, 1e-3f));
}

TEST(Mat4, TransposeSwapsRowsAndColumns) {
    Mat4 m(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    m.transpose();
    EXPECT_EQ(m, Mat4(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15));
}

}  // namespace
}  // namespace kite
