// 2D affine transform mapping (x, y) to (a x + c y + tx, b x + d y + ty), and its free functions.
#pragma once
#include "kite/foundation/math/Rect.h"
#include "kite/foundation/math/Size.h"
#include "kite/foundation/math/Vec2.h"

namespace kite {

class Mat4;

struct AffineTransform {
    float a = 1.0f;
    float b = 0.0f;
    float c = 0.0f;
    float d = 1.0f;
    float tx = 0.0f;
    float ty = 0.0f;

    static const AffineTransform IDENTITY;
};

inline constexpr AffineTransform AffineTransform::IDENTITY{1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};

inline AffineTransform AffineTransformMake(float a, float b, float c, float d, float tx, float ty) {
    return AffineTransform{a, b, c, d, tx, ty};
}
inline AffineTransform AffineTransformMakeIdentity() { return AffineTransform::IDENTITY; }

// The point through the transform, computed in double precision.
Vec2 PointApplyAffineTransform(const Vec2& point, const AffineTransform& t);
// The linear part only (no translation), as for a size or a direction.
Size SizeApplyAffineTransform(const Size& size, const AffineTransform& t);
// The axis-aligned bounding box of the rectangle's four mapped corners.
Rect RectApplyAffineTransform(const Rect& rect, const AffineTransform& t);
// The same with the corners taken as (x, y, 0, 1) through the matrix.
Rect RectApplyTransform(const Rect& rect, const Mat4& transform);

// The translation applies before the transform.
AffineTransform AffineTransformTranslate(const AffineTransform& t, float tx, float ty);
// The rotation (radians, counter-clockwise) applies before the transform.
AffineTransform AffineTransformRotate(const AffineTransform& t, float angle);
// The scale applies before the transform.
AffineTransform AffineTransformScale(const AffineTransform& t, float sx, float sy);
// t1 first, then t2.
AffineTransform AffineTransformConcat(const AffineTransform& t1, const AffineTransform& t2);
// The inverse. There is no zero-determinant test: a singular transform gives
// non-finite values.
AffineTransform AffineTransformInvert(const AffineTransform& t);
bool AffineTransformEqualToTransform(const AffineTransform& t1, const AffineTransform& t2);

// a = m[0], b = m[1], c = m[4], d = m[5], tx = m[12], ty = m[13].
void MatrixToAffineTransform(const Mat4& matrix, AffineTransform* dst);
AffineTransform MatrixToAffineTransform(const Mat4& matrix);
// The affine transform as a matrix, identity in z and w.
void AffineTransformToMatrix(const AffineTransform& t, Mat4* dst);

}  // namespace kite
