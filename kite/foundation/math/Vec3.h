// Three-float vector: positions, directions and Euler angles.
#pragma once
#include "kite/foundation/math/MathBase.h"

#include <cmath>

namespace kite {

class Vec3 {
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vec3() = default;
    constexpr Vec3(float xx, float yy, float zz) : x(xx), y(yy), z(zz) {}

    void set(float xx, float yy, float zz) {
        x = xx;
        y = yy;
        z = zz;
    }
    void setZero() { x = y = z = 0.0f; }

    void add(const Vec3& v) {
        x += v.x;
        y += v.y;
        z += v.z;
    }
    void subtract(const Vec3& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
    }
    // dst = a - b; dst may be a or b.
    static void subtract(const Vec3& a, const Vec3& b, Vec3* dst) { dst->set(a.x - b.x, a.y - b.y, a.z - b.z); }
    void scale(float s) {
        x *= s;
        y *= s;
        z *= s;
    }
    void negate() {
        x = -x;
        y = -y;
        z = -z;
    }

    float dot(const Vec3& v) const { return x * v.x + y * v.y + z * v.z; }
    static float dot(const Vec3& a, const Vec3& b) { return a.dot(b); }
    float length() const { return std::sqrt(x * x + y * y + z * z); }
    float lengthSquared() const { return x * x + y * y + z * z; }
    float distance(const Vec3& v) const { return (*this - v).length(); }

    // Right-handed cross product; dst may be a or b.
    static void cross(const Vec3& a, const Vec3& b, Vec3* dst) {
        const float cx = a.y * b.z - a.z * b.y;
        const float cy = a.z * b.x - a.x * b.z;
        const float cz = a.x * b.y - a.y * b.x;
        dst->set(cx, cy, cz);
    }
    // this = this x v
    void cross(const Vec3& v) { cross(*this, v, this); }

    // Scales to unit length; a vector of (near) zero length stays as it is.
    void normalize() {
        float n = x * x + y * y + z * z;
        if (n == 1.0f) return;
        n = std::sqrt(n);
        if (n < kMathTolerance) return;
        n = 1.0f / n;
        x *= n;
        y *= n;
        z *= n;
    }
    Vec3 getNormalized() const {
        Vec3 v(*this);
        v.normalize();
        return v;
    }

    bool equals(const Vec3& v) const {
        return std::fabs(x - v.x) < kFloatEpsilon && std::fabs(y - v.y) < kFloatEpsilon &&
               std::fabs(z - v.z) < kFloatEpsilon;
    }
    bool isZero() const { return x == 0.0f && y == 0.0f && z == 0.0f; }

    Vec3 operator+(const Vec3& v) const { return Vec3(x + v.x, y + v.y, z + v.z); }
    Vec3 operator-(const Vec3& v) const { return Vec3(x - v.x, y - v.y, z - v.z); }
    Vec3 operator-() const { return Vec3(-x, -y, -z); }
    Vec3 operator*(float s) const { return Vec3(x * s, y * s, z * s); }
    Vec3 operator/(float s) const { return Vec3(x / s, y / s, z / s); }
    Vec3& operator+=(const Vec3& v) {
        add(v);
        return *this;
    }
    Vec3& operator-=(const Vec3& v) {
        subtract(v);
        return *this;
    }
    Vec3& operator*=(float s) {
        scale(s);
        return *this;
    }
    bool operator==(const Vec3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const Vec3& v) const { return !(*this == v); }

    static const Vec3 ZERO;
    static const Vec3 ONE;
    static const Vec3 UNIT_X;
    static const Vec3 UNIT_Y;
    static const Vec3 UNIT_Z;
};

inline Vec3 operator*(float s, const Vec3& v) { return v * s; }

inline constexpr Vec3 Vec3::ZERO{0.0f, 0.0f, 0.0f};
inline constexpr Vec3 Vec3::ONE{1.0f, 1.0f, 1.0f};
inline constexpr Vec3 Vec3::UNIT_X{1.0f, 0.0f, 0.0f};
inline constexpr Vec3 Vec3::UNIT_Y{0.0f, 1.0f, 0.0f};
inline constexpr Vec3 Vec3::UNIT_Z{0.0f, 0.0f, 1.0f};

static_assert(sizeof(Vec3) == 3 * sizeof(float), "Vec3 is three packed floats");

}  // namespace kite
