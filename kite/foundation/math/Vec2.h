// Two-float vector: a point or a direction in design coordinates.
#pragma once
#include "kite/foundation/math/MathBase.h"

#include <cmath>

namespace kite {

class Vec2 {
public:
    float x = 0.0f;
    float y = 0.0f;

    constexpr Vec2() = default;
    constexpr Vec2(float xx, float yy) : x(xx), y(yy) {}

    void set(float xx, float yy) {
        x = xx;
        y = yy;
    }
    void setZero() { x = y = 0.0f; }

    void add(const Vec2& v) {
        x += v.x;
        y += v.y;
    }
    void subtract(const Vec2& v) {
        x -= v.x;
        y -= v.y;
    }
    void scale(float s) {
        x *= s;
        y *= s;
    }
    void negate() {
        x = -x;
        y = -y;
    }

    float dot(const Vec2& v) const { return x * v.x + y * v.y; }
    // z of the 3D cross product of the two vectors taken with z = 0.
    float cross(const Vec2& v) const { return x * v.y - y * v.x; }
    float length() const { return std::sqrt(x * x + y * y); }
    float lengthSquared() const { return x * x + y * y; }
    float distance(const Vec2& v) const { return (*this - v).length(); }
    float distanceSquared(const Vec2& v) const { return (*this - v).lengthSquared(); }

    // Unit-length copy; a vector of (near) zero length comes back unchanged.
    Vec2 getNormalized() const {
        Vec2 v(*this);
        v.normalize();
        return v;
    }
    void normalize() {
        float n = x * x + y * y;
        if (n == 1.0f) return;
        n = std::sqrt(n);
        if (n < kMathTolerance) return;
        n = 1.0f / n;
        x *= n;
        y *= n;
    }

    // True when each coordinate differs by less than the float epsilon.
    bool equals(const Vec2& v) const {
        return std::fabs(x - v.x) < kFloatEpsilon && std::fabs(y - v.y) < kFloatEpsilon;
    }
    bool isZero() const { return x == 0.0f && y == 0.0f; }

    Vec2 operator+(const Vec2& v) const { return Vec2(x + v.x, y + v.y); }
    Vec2 operator-(const Vec2& v) const { return Vec2(x - v.x, y - v.y); }
    Vec2 operator-() const { return Vec2(-x, -y); }
    Vec2 operator*(float s) const { return Vec2(x * s, y * s); }
    Vec2 operator/(float s) const { return Vec2(x / s, y / s); }
    Vec2& operator+=(const Vec2& v) {
        add(v);
        return *this;
    }
    Vec2& operator-=(const Vec2& v) {
        subtract(v);
        return *this;
    }
    Vec2& operator*=(float s) {
        scale(s);
        return *this;
    }
    Vec2& operator/=(float s) {
        x /= s;
        y /= s;
        return *this;
    }
    // Exact comparison; use equals for the fuzzy one.
    bool operator==(const Vec2& v) const { return x == v.x && y == v.y; }
    bool operator!=(const Vec2& v) const { return !(*this == v); }

    static const Vec2 ZERO;
    static const Vec2 ONE;
    static const Vec2 UNIT_X;
    static const Vec2 UNIT_Y;
    static const Vec2 ANCHOR_MIDDLE;
    static const Vec2 ANCHOR_BOTTOM_LEFT;
    static const Vec2 ANCHOR_TOP_LEFT;
    static const Vec2 ANCHOR_BOTTOM_RIGHT;
    static const Vec2 ANCHOR_TOP_RIGHT;
    static const Vec2 ANCHOR_MIDDLE_LEFT;
    static const Vec2 ANCHOR_MIDDLE_RIGHT;
    static const Vec2 ANCHOR_MIDDLE_TOP;
    static const Vec2 ANCHOR_MIDDLE_BOTTOM;
};

inline Vec2 operator*(float s, const Vec2& v) { return Vec2(v.x * s, v.y * s); }

// Constant-initialised, so usable from any static initialiser.
inline constexpr Vec2 Vec2::ZERO{0.0f, 0.0f};
inline constexpr Vec2 Vec2::ONE{1.0f, 1.0f};
inline constexpr Vec2 Vec2::UNIT_X{1.0f, 0.0f};
inline constexpr Vec2 Vec2::UNIT_Y{0.0f, 1.0f};
inline constexpr Vec2 Vec2::ANCHOR_MIDDLE{0.5f, 0.5f};
inline constexpr Vec2 Vec2::ANCHOR_BOTTOM_LEFT{0.0f, 0.0f};
inline constexpr Vec2 Vec2::ANCHOR_TOP_LEFT{0.0f, 1.0f};
inline constexpr Vec2 Vec2::ANCHOR_BOTTOM_RIGHT{1.0f, 0.0f};
inline constexpr Vec2 Vec2::ANCHOR_TOP_RIGHT{1.0f, 1.0f};
inline constexpr Vec2 Vec2::ANCHOR_MIDDLE_LEFT{0.0f, 0.5f};
inline constexpr Vec2 Vec2::ANCHOR_MIDDLE_RIGHT{1.0f, 0.5f};
inline constexpr Vec2 Vec2::ANCHOR_MIDDLE_TOP{0.5f, 1.0f};
inline constexpr Vec2 Vec2::ANCHOR_MIDDLE_BOTTOM{0.5f, 0.0f};

static_assert(sizeof(Vec2) == 2 * sizeof(float), "Vec2 is two packed floats");

}  // namespace kite
