// 2D affine transform operations.
#include "kite/foundation/math/AffineTransform.h"

#include "kite/foundation/math/Mat4.h"

#include <algorithm>
#include <cmath>

namespace kite {

Vec2 PointApplyAffineTransform(const Vec2& point, const AffineTransform& t) {
    const double x =
        static_cast<double>(t.tx) + (static_cast<double>(t.a) * point.x + static_cast<double>(t.c) * point.y);
    const double y =
        static_cast<double>(t.ty) + (static_cast<double>(t.b) * point.x + static_cast<double>(t.d) * point.y);
    return Vec2(static_cast<float>(x), static_cast<float>(y));
}

Size SizeApplyAffineTransform(const Size& size, const AffineTransform& t) {
    return Size(t.a * size.width + t.c * size.height, t.b * size.width + t.d * size.height);
}

namespace {

Rect boundingBox(const Vec2& p0, const Vec2& p1, const Vec2& p2, const Vec2& p3) {
    const float minX = std::min({p0.x, p1.x, p2.x, p3.x});
    const float maxX = std::max({p0.x, p1.x, p2.x, p3.x});
    const float minY = std::min({p0.y, p1.y, p2.y, p3.y});
    const float maxY = std::max({p0.y, p1.y, p2.y, p3.y});
    return Rect(minX, minY, maxX - minX, maxY - minY);
}

}  // namespace

Rect RectApplyAffineTransform(const Rect& rect, const AffineTransform& t) {
    const float left = rect.getMinX(), right = rect.getMaxX();
    const float bottom = rect.getMinY(), top = rect.getMaxY();
    return boundingBox(PointApplyAffineTransform(Vec2(left, bottom), t),
                       PointApplyAffineTransform(Vec2(right, bottom), t), PointApplyAffineTransform(Vec2(left, top), t),
                       PointApplyAffineTransform(Vec2(right, top), t));
}

Rect RectApplyTransform(const Rect& rect, const Mat4& transform) {
    const float left = rect.getMinX(), right = rect.getMaxX();
    const float bottom = rect.getMinY(), top = rect.getMaxY();
    auto corner = [&transform](float x, float y) {
        Vec3 p;
        transform.transformVector(x, y, 0.0f, 1.0f, &p);
        return Vec2(p.x, p.y);
    };
    return boundingBox(corner(left, bottom), corner(right, bottom), corner(left, top), corner(right, top));
}

AffineTransform AffineTransformTranslate(const AffineTransform& t, float tx, float ty) {
    return AffineTransform{t.a, t.b, t.c, t.d, t.a * tx + t.c * ty + t.tx, t.b * tx + t.d * ty + t.ty};
}

AffineTransform AffineTransformRotate(const AffineTransform& t, float angle) {
    const float s = std::sin(angle);
    const float c = std::cos(angle);
    return AffineTransform{c * t.a + s * t.c, c * t.b + s * t.d, c * t.c - s * t.a, c * t.d - s * t.b, t.tx, t.ty};
}

AffineTransform AffineTransformScale(const AffineTransform& t, float sx, float sy) {
    return AffineTransform{t.a * sx, t.b * sx, t.c * sy, t.d * sy, t.tx, t.ty};
}

AffineTransform AffineTransformConcat(const AffineTransform& t1, const AffineTransform& t2) {
    return AffineTransform{t1.a * t2.a + t1.b * t2.c,           t1.a * t2.b + t1.b * t2.d,
                           t1.c * t2.a + t1.d * t2.c,           t1.c * t2.b + t1.d * t2.d,
                           t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

AffineTransform AffineTransformInvert(const AffineTransform& t) {
    const float k = 1.0f / (t.a * t.d - t.b * t.c);
    return AffineTransform{
        k * t.d, -k * t.b, -k * t.c, k * t.a, k * (t.c * t.ty - t.d * t.tx), k * (t.b * t.tx - t.a * t.ty)};
}

bool AffineTransformEqualToTransform(const AffineTransform& t1, const AffineTransform& t2) {
    return t1.a == t2.a && t1.b == t2.b && t1.c == t2.c && t1.d == t2.d && t1.tx == t2.tx && t1.ty == t2.ty;
}

void MatrixToAffineTransform(const Mat4& matrix, AffineTransform* dst) {
    const float* m = matrix.m;
    *dst = AffineTransform{m[0], m[1], m[4], m[5], m[12], m[13]};
}

AffineTransform MatrixToAffineTransform(const Mat4& matrix) {
    AffineTransform t;
    MatrixToAffineTransform(matrix, &t);
    return t;
}

void AffineTransformToMatrix(const AffineTransform& t, Mat4* dst) {
    *dst = Mat4::IDENTITY;
    dst->m[0] = t.a;
    dst->m[1] = t.b;
    dst->m[4] = t.c;
    dst->m[5] = t.d;
    dst->m[12] = t.tx;
    dst->m[13] = t.ty;
}

}  // namespace kite
