#include "kite/widgets/NineSlices.h"

#include <algorithm>
#include <cmath>

#include "kite/foundation/math/AffineTransform.h"

namespace kite {
namespace ui {

namespace {

enum { TOP_LEFT = 0, CENTRE = 4, BOTTOM_RIGHT = 8 };

// Origin = the larger origins; a size that would be negative is zero.
Rect intersection(const Rect& a, const Rect& b) {
    const float x = std::max(a.origin.x, b.origin.x);
    const float y = std::max(a.origin.y, b.origin.y);
    const float right = std::min(a.getMaxX(), b.getMaxX());
    const float top = std::min(a.getMaxY(), b.getMaxY());
    return Rect(x, y, std::max(right - x, 0.0f), std::max(top - y, 0.0f));
}

// Insets reaching past the image would give slices of negative size: keep them inside it.
Rect clampedInsets(const Rect& insets, const Size& image) {
    const float x = std::clamp(insets.origin.x, 0.0f, image.width);
    const float y = std::clamp(insets.origin.y, 0.0f, image.height);
    return Rect(x, y, std::clamp(insets.size.width, 0.0f, image.width - x),
                std::clamp(insets.size.height, 0.0f, image.height - y));
}

// From the untrimmed image's space (y down) into the texture's; a rotated frame is stored
// turned a quarter about the image's corner.
AffineTransform imageToTexture(const Rect& frameRect, bool rotated, const Vec2& trimmedOrigin, const Size& image) {
    const float x = frameRect.origin.x - (rotated ? trimmedOrigin.y : trimmedOrigin.x);
    const float y = frameRect.origin.y - (rotated ? trimmedOrigin.x : trimmedOrigin.y);
    if (!rotated) return AffineTransformTranslate(AffineTransform::IDENTITY, x, y);
    const AffineTransform moved = AffineTransformTranslate(AffineTransform::IDENTITY, image.height + x, y);
    return AffineTransformRotate(moved, 1.57079633f);
}

Vec2 centreOffsetOf(const Rect& c, const Rect& o, bool rotated) {
    if (rotated) {
        return Vec2(-((o.origin.y + o.size.width / 2) - (c.origin.y + c.size.width / 2)),
                    (c.origin.x + c.size.height / 2) - (o.origin.x + o.size.height / 2));
    }
    return Vec2((c.origin.x + c.size.width / 2) - (o.origin.x + o.size.width / 2),
                (o.origin.y + o.size.height / 2) - (c.origin.y + c.size.height / 2));
}

}  // namespace

NineSlices sliceImage(const Rect& frameRect, bool rotated, const Vec2& trimOffset, const Size& untrimmedSize,
                      const Rect& capInsets) {
    const float w = untrimmedSize.width;
    const float h = untrimmedSize.height;
    const Rect insets = clampedInsets(capInsets, untrimmedSize);
    const float xs[3] = {0.0f, insets.origin.x, insets.getMaxX()};
    const float ws[3] = {insets.origin.x, insets.size.width, w - insets.getMaxX()};
    const float ys[3] = {0.0f, insets.origin.y, insets.getMaxY()};
    const float hs[3] = {insets.origin.y, insets.size.height, h - insets.getMaxY()};
    NineSlices cut;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            cut.slices[row * 3 + column] = Rect(xs[column], ys[row], ws[column], hs[row]);
    Rect topLeft = cut.slices[TOP_LEFT], centre = cut.slices[CENTRE], bottomRight = cut.slices[BOTTOM_RIGHT];

    // A trimmed frame has no pixels outside its rectangle: cut every slice to what is there.
    const Vec2 trimmedOrigin(std::ceil(trimOffset.x + (w - frameRect.size.width) * 0.5f),
                             std::ceil(trimOffset.y + (h - frameRect.size.height) * 0.5f));
    const Rect pixels(trimmedOrigin, frameRect.size);
    for (Rect& r : cut.slices) r = intersection(r, pixels);

    const AffineTransform toTexture = imageToTexture(frameRect, rotated, trimmedOrigin, untrimmedSize);
    auto move = [&](Rect& r) { r.origin = RectApplyAffineTransform(r, toTexture).origin; };
    for (Rect& r : cut.slices) move(r);
    move(topLeft);
    move(centre);
    move(bottomRight);

    cut.topLeftSize = topLeft.size;
    cut.centreSize = centre.size;
    cut.bottomRightSize = bottomRight.size;
    cut.centreOffset = centreOffsetOf(cut.slices[CENTRE], centre, rotated);
    return cut;
}

}  // namespace ui
}  // namespace kite
