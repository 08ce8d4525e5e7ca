// Axis-aligned rectangle operations that are not inline.
#include "kite/foundation/math/Rect.h"

#include <algorithm>

namespace kite {

Rect Rect::unionWithRect(const Rect& r) const {
    // min/max of both edges, so a rectangle with a negative size still counts by its extent.
    const float minX = std::min({getMinX(), getMaxX(), r.getMinX(), r.getMaxX()});
    const float maxX = std::max({getMinX(), getMaxX(), r.getMinX(), r.getMaxX()});
    const float minY = std::min({getMinY(), getMaxY(), r.getMinY(), r.getMaxY()});
    const float maxY = std::max({getMinY(), getMaxY(), r.getMinY(), r.getMaxY()});
    return Rect(minX, minY, maxX - minX, maxY - minY);
}

}  // namespace kite
