// Four-float vector: homogeneous points and shader uniforms.
#pragma once
#include "kite/foundation/math/MathBase.h"

#include <cmath>

namespace kite {

class Vec4 {
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    constexpr Vec4() = default;
    constexpr Vec4(float xx, float yy, float zz, float ww) : x(xx), y(yy), z(zz), w(ww) {}

    void set(float xx, float yy, float zz, float ww) {
        x = xx;
        y = yy;
        z = zz;
        w = ww;
    }

    float dot(const Vec4& v) const { return x * v.x + y * v.y + z * v.z + w * v.w; }
    float length() const { return std::sqrt(dot(*this)); }

    bool equals(const Vec4& v) const {
        return std::fabs(x - v.x) < kFloatEpsilon && std::fabs(y - v.y) < kFloatEpsilon &&
               std::fabs(z - v.z) < kFloatEpsilon && std::fabs(w - v.w) < kFloatEpsilon;
    }

    Vec4 operator+(const Vec4& v) const { return Vec4(x + v.x, y + v.y, z + v.z, w + v.w); }
    Vec4 operator-(const Vec4& v) const { return Vec4(x - v.x, y - v.y, z - v.z, w - v.w); }
    Vec4 operator*(float s) const { return Vec4(x * s, y * s, z * s, w * s); }
    bool operator==(const Vec4& v) const { return x == v.x && y == v.y && z == v.z && w == v.w; }
    bool operator!=(const Vec4& v) const { return !(*this == v); }

    static const Vec4 ZERO;
};

inline constexpr Vec4 Vec4::ZERO{0.0f, 0.0f, 0.0f, 0.0f};

static_assert(sizeof(Vec4) == 4 * sizeof(float), "Vec4 is four packed floats");

}  // namespace kite
