// Where the nine slices of an image lie in its texture, and the sizes that lay them out.
#pragma once
#include "kite/foundation/math/MathTypes.h"

namespace kite {
namespace ui {

struct NineSlices {
    // Texture rectangles, rows from the top: top-left, top, top-right, left, centre, right,
    // bottom-left, bottom, bottom-right. A slice the frame has no pixels for has a zero side.
    Rect slices[9];
    // The untrimmed sizes of the top-left, centre and bottom-right slices.
    Size topLeftSize;
    Size centreSize;
    Size bottomRightSize;
    // How far the trimmed centre lies from the untrimmed one (y up).
    Vec2 centreOffset;
};

// Cuts the image shown by a sprite frame (its rectangle in the texture, stored rotated or not,
// its trim offset and untrimmed size) by cap insets measured from the untrimmed top-left:
// x = left width, y = top height, width and height = the centre's. Insets reaching past the
// image are kept inside it.
NineSlices sliceImage(const Rect& frameRect, bool rotated, const Vec2& trimOffset, const Size& untrimmedSize,
                      const Rect& capInsets);

}  // namespace ui
}  // namespace kite
