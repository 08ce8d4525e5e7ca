// Width and height, laid out like a Vec2.
#pragma once
#include "kite/foundation/math/MathBase.h"
#include "kite/foundation/math/Vec2.h"

#include <cmath>

namespace kite {

class Size {
public:
    float width = 0.0f;
    float height = 0.0f;

    constexpr Size() = default;
    constexpr Size(float w, float h) : width(w), height(h) {}
    // Width from x, height from y.
    constexpr Size(const Vec2& v) : width(v.x), height(v.y) {}  // NOLINT: implicit by design

    Size& operator=(const Vec2& v) {
        width = v.x;
        height = v.y;
        return *this;
    }
    void setSize(float w, float h) {
        width = w;
        height = h;
    }

    Size operator+(const Size& s) const { return Size(width + s.width, height + s.height); }
    Size operator-(const Size& s) const { return Size(width - s.width, height - s.height); }
    Size operator*(float a) const { return Size(width * a, height * a); }
    Size operator/(float a) const { return Size(width / a, height / a); }

    // True when width and height each differ by less than the float epsilon.
    bool equals(const Size& s) const {
        return std::fabs(width - s.width) < kFloatEpsilon && std::fabs(height - s.height) < kFloatEpsilon;
    }
    bool operator==(const Size& s) const { return width == s.width && height == s.height; }
    bool operator!=(const Size& s) const { return !(*this == s); }

    Vec2 toVec2() const { return Vec2(width, height); }

    static const Size ZERO;
};

inline constexpr Size Size::ZERO{0.0f, 0.0f};

static_assert(sizeof(Size) == sizeof(Vec2), "Size has the layout of a Vec2");

}  // namespace kite
