// Axis-aligned rectangle: origin (smallest x and y) and size.
#pragma once
#include "kite/foundation/math/Size.h"
#include "kite/foundation/math/Vec2.h"

namespace kite {

class Rect {
public:
    Vec2 origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(float x, float y, float width, float height) : origin(x, y), size(width, height) {}
    constexpr Rect(const Vec2& o, const Size& s) : origin(o), size(s) {}

    void setRect(float x, float y, float width, float height) {
        origin.set(x, y);
        size.setSize(width, height);
    }

    float getMinX() const { return origin.x; }
    float getMidX() const { return origin.x + size.width * 0.5f; }
    float getMaxX() const { return origin.x + size.width; }
    float getMinY() const { return origin.y; }
    float getMidY() const { return origin.y + size.height * 0.5f; }
    float getMaxY() const { return origin.y + size.height; }

    // Origins equal by Vec2::equals, width and height each within the float epsilon.
    bool equals(const Rect& r) const { return origin.equals(r.origin) && size.equals(r.size); }
    bool operator==(const Rect& r) const { return origin == r.origin && size == r.size; }
    bool operator!=(const Rect& r) const { return !(*this == r); }

    // Edges and corners count as inside.
    bool containsPoint(const Vec2& p) const {
        return p.x >= getMinX() && p.x <= getMaxX() && p.y >= getMinY() && p.y <= getMaxY();
    }
    // Rectangles that only touch along an edge or at a corner intersect.
    bool intersectsRect(const Rect& r) const {
        return !(getMaxX() < r.getMinX() || r.getMaxX() < getMinX() || getMaxY() < r.getMinY() ||
                 r.getMaxY() < getMinY());
    }
    // The smallest rectangle that holds both.
    Rect unionWithRect(const Rect& r) const;

    static const Rect ZERO;
};

inline constexpr Rect Rect::ZERO{0.0f, 0.0f, 0.0f, 0.0f};

}  // namespace kite
