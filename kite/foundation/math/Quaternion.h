// Rotation quaternion (x, y, z, w); the identity is (0, 0, 0, 1).
#pragma once
#include "kite/foundation/math/Vec3.h"

namespace kite {

class Mat4;

class Quaternion {
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    constexpr Quaternion() = default;
    constexpr Quaternion(float xx, float yy, float zz, float ww) : x(xx), y(yy), z(zz), w(ww) {}
    // Rotation by angle radians about axis (normalised here).
    Quaternion(const Vec3& axis, float angle) { createFromAxisAngle(axis, angle, this); }

    static const Quaternion& identity();
    // The rotation part of a matrix (Mat4::getRotation); dst is left alone when the matrix
    // has a zero scale.
    static void createFromRotationMatrix(const Mat4& m, Quaternion* dst);
    static void createFromAxisAngle(const Vec3& axis, float angle, Quaternion* dst);
    // dst = q1 x q2 (rotate by q2, then by q1); dst may be q1 or q2.
    static void multiply(const Quaternion& q1, const Quaternion& q2, Quaternion* dst);

    void set(float xx, float yy, float zz, float ww) {
        x = xx;
        y = yy;
        z = zz;
        w = ww;
    }
    void setIdentity() { set(0.0f, 0.0f, 0.0f, 1.0f); }
    bool isIdentity() const { return x == 0.0f && y == 0.0f && z == 0.0f && w == 1.0f; }
    bool isZero() const { return x == 0.0f && y == 0.0f && z == 0.0f && w == 0.0f; }

    float length() const;
    // Unit length; a (near) zero quaternion stays as it is.
    void normalize();
    Quaternion getNormalized() const;
    void conjugate() {
        x = -x;
        y = -y;
        z = -z;
    }
    Quaternion getConjugated() const { return Quaternion(-x, -y, -z, w); }
    // Inverts in place; returns false and changes nothing for a zero quaternion.
    bool inverse();
    Quaternion getInversed() const;
    void multiply(const Quaternion& q) { multiply(*this, q, this); }
    // Rotation angle in radians; the unit axis goes to axis (x axis for no rotation).
    float toAxisAngle(Vec3* axis) const;
    // Rotates a vector by this (unit) quaternion.
    Vec3 rotate(const Vec3& v) const;

    Quaternion operator*(const Quaternion& q) const {
        Quaternion r;
        multiply(*this, q, &r);
        return r;
    }
    Quaternion& operator*=(const Quaternion& q) {
        multiply(q);
        return *this;
    }
    bool operator==(const Quaternion& q) const { return x == q.x && y == q.y && z == q.z && w == q.w; }
    bool operator!=(const Quaternion& q) const { return !(*this == q); }

    static const Quaternion ZERO;
};

inline constexpr Quaternion Quaternion::ZERO{0.0f, 0.0f, 0.0f, 0.0f};

}  // namespace kite
