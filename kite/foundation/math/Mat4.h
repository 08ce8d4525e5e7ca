// 4x4 float matrix, column-major: element (row r, column c) at m[4c + r], translation in m[12..14].
#pragma once
#include <cstdint>
#include <cstring>

#include "kite/foundation/math/MathUtil.h"
#include "kite/foundation/math/Vec3.h"
#include "kite/foundation/math/Vec4.h"

namespace kite {

class Quaternion;

// A float's bits, read where the float is.
inline std::uint32_t bitsOf(const float& value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    return bits;
}

class Mat4 {
public:
    float m[16];

    // The identity.
    constexpr Mat4() : m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1} {}
    // The 16 elements in storage (column-major) order.
    constexpr Mat4(float m0, float m1, float m2, float m3, float m4, float m5, float m6, float m7, float m8, float m9,
                   float m10, float m11, float m12, float m13, float m14, float m15)
        : m{m0, m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12, m13, m14, m15} {}
    // Copies 16 floats in column-major order.
    explicit Mat4(const float* elements) { set(elements); }

    // View matrix looking from eye at target with the given up direction.
    static void createLookAt(const Vec3& eye, const Vec3& target, const Vec3& up, Mat4* dst);
    static void createLookAt(float eyeX, float eyeY, float eyeZ, float targetX, float targetY, float targetZ, float upX,
                             float upY, float upZ, Mat4* dst);
    // Perspective projection; a field of view that is a multiple of 180 degrees (0 included)
    // leaves dst untouched.
    static void createPerspective(float fieldOfView, float aspectRatio, float zNear, float zFar, Mat4* dst);
    static void createOrthographicOffCenter(float left, float right, float bottom, float top, float zNear, float zFar,
                                            Mat4* dst);
    // Orthographic projection centred on the origin.
    static void createOrthographic(float width, float height, float zNear, float zFar, Mat4* dst);
    // Rotation of a unit quaternion.
    static void createRotation(const Quaternion& q, Mat4* dst);
    // Rotation by angle radians about axis.
    static void createRotation(const Vec3& axis, float angle, Mat4* dst);
    static void createTranslation(float x, float y, float z, Mat4* dst);
    static void createTranslation(const Vec3& t, Mat4* dst) { createTranslation(t.x, t.y, t.z, dst); }
    static void createScale(float x, float y, float z, Mat4* dst);
    static void createScale(const Vec3& s, Mat4* dst) { createScale(s.x, s.y, s.z, dst); }

    void set(const float* elements) {
        for (int i = 0; i < 16; ++i) m[i] = elements[i];
    }
    void setIdentity() { *this = IDENTITY; }
    void setZero() {
        for (float& e : m) e = 0.0f;
    }
    bool isIdentity() const { return *this == IDENTITY; }

    // Splits into scale, rotation and translation; any output may be null. Returns false
    // (rotation untouched) when the rotation is asked of a matrix with a zero scale.
    bool decompose(Vec3* scale, Quaternion* rotation, Vec3* translation) const;
    bool getRotation(Quaternion* rotation) const { return decompose(nullptr, rotation, nullptr); }
    void getScale(Vec3* scale) const { decompose(scale, nullptr, nullptr); }
    void getTranslation(Vec3* translation) const { translation->set(m[12], m[13], m[14]); }

    float determinant() const;
    // Inverts in place; a singular matrix is left unchanged and false returned.
    bool inverse();
    // An inverted copy; a singular matrix comes back unchanged.
    Mat4 getInversed() const {
        Mat4 copy(*this);
        copy.inverse();
        return copy;
    }
    void transpose() { MathUtil::transposeMatrix(m, m); }
    Mat4 getTransposed() const {
        Mat4 copy(*this);
        copy.transpose();
        return copy;
    }

    // this = this x other
    void multiply(const Mat4& other) { MathUtil::multiplyMatrix(m, other.m, m); }
    // dst = m1 x m2; dst may be m1 or m2.
    static void multiply(const Mat4& m1, const Mat4& m2, Mat4* dst) { MathUtil::multiplyMatrix(m1.m, m2.m, dst->m); }
    void multiply(float scalar) { MathUtil::multiplyMatrixByScalar(m, scalar, m); }
    // Planar: x and y move by a 2D affine map and z by its own scale and offset, as every
    // node without 3D rotation, skew or an additional transform does.
    bool isPlanar() const {
        // On the bits: either sign of zero in the seven, exactly one in the last; branch-free.
        // Each entry is read in place (a copy of the matrix first would be stored and reloaded).
        const std::uint32_t zeros =
            bitsOf(m[2]) | bitsOf(m[3]) | bitsOf(m[6]) | bitsOf(m[7]) | bitsOf(m[8]) | bitsOf(m[9]) | bitsOf(m[11]);
        return ((zeros & 0x7fffffffu) | (bitsOf(m[15]) ^ 0x3f800000u)) == 0;
    }
    // dst = m1 x m2 for planar m1 and m2 (2D affine products); dst may be m1 or m2.
    static void multiplyPlanar(const Mat4& m1, const Mat4& m2, Mat4* dst) {
        MathUtil::multiplyPlanarMatrix(m1.m, m2.m, dst->m);
    }

    // dst = x, y, z of this x (x, y, z, w).
    void transformVector(float x, float y, float z, float w, Vec3* dst) const {
        MathUtil::transformVec4(m, x, y, z, w, &dst->x);
    }
    // v = this x v
    void transformVector(Vec4* v) const { MathUtil::transformVec4(m, &v->x, &v->x); }
    void transformVector(const Vec4& v, Vec4* dst) const { MathUtil::transformVec4(m, &v.x, &dst->x); }
    // Direction (w = 0) and point (w = 1) forms, in place.
    void transformVector(Vec3* v) const { transformVector(v->x, v->y, v->z, 0.0f, v); }
    void transformPoint(Vec3* p) const { transformVector(p->x, p->y, p->z, 1.0f, p); }

    // this = this x translation(x, y, z)
    void translate(float x, float y, float z);
    void translate(const Vec3& t) { translate(t.x, t.y, t.z); }
    // this = this x scale(x, y, z)
    void scale(float x, float y, float z);

    Mat4 operator*(const Mat4& other) const {
        Mat4 r;
        multiply(*this, other, &r);
        return r;
    }
    Mat4& operator*=(const Mat4& other) {
        multiply(other);
        return *this;
    }
    Vec4 operator*(const Vec4& v) const {
        Vec4 r;
        transformVector(v, &r);
        return r;
    }
    // Exact element-wise comparison.
    bool operator==(const Mat4& other) const {
        for (int i = 0; i < 16; ++i)
            if (m[i] != other.m[i]) return false;
        return true;
    }
    bool operator!=(const Mat4& other) const { return !(*this == other); }

    static const Mat4 IDENTITY;
    static const Mat4 ZERO;
};

inline constexpr Mat4 Mat4::IDENTITY{};
inline constexpr Mat4 Mat4::ZERO{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

static_assert(sizeof(Mat4) == 16 * sizeof(float), "Mat4 is 16 packed floats");

}  // namespace kite
