// Quaternion products, normalisation and conversions.
#include "kite/foundation/math/Quaternion.h"

#include "kite/foundation/math/Mat4.h"
#include "kite/foundation/math/MathBase.h"

#include <cmath>

namespace kite {

const Quaternion& Quaternion::identity() {
    static constexpr Quaternion value;
    return value;
}

void Quaternion::createFromRotationMatrix(const Mat4& m, Quaternion* dst) { m.getRotation(dst); }

void Quaternion::createFromAxisAngle(const Vec3& axis, float angle, Quaternion* dst) {
    const float half = angle * 0.5f;
    const float s = std::sin(half);
    const Vec3 n = axis.getNormalized();
    dst->set(n.x * s, n.y * s, n.z * s, std::cos(half));
}

void Quaternion::multiply(const Quaternion& q1, const Quaternion& q2, Quaternion* dst) {
    const float x = q1.w * q2.x + q1.x * q2.w + q1.y * q2.z - q1.z * q2.y;
    const float y = q1.w * q2.y - q1.x * q2.z + q1.y * q2.w + q1.z * q2.x;
    const float z = q1.w * q2.z + q1.x * q2.y - q1.y * q2.x + q1.z * q2.w;
    const float w = q1.w * q2.w - q1.x * q2.x - q1.y * q2.y - q1.z * q2.z;
    dst->set(x, y, z, w);
}

float Quaternion::length() const { return std::sqrt(x * x + y * y + z * z + w * w); }

void Quaternion::normalize() {
    float n = x * x + y * y + z * z + w * w;
    if (n == 1.0f) return;
    n = std::sqrt(n);
    if (n < kMathTolerance) return;
    n = 1.0f / n;
    x *= n;
    y *= n;
    z *= n;
    w *= n;
}

Quaternion Quaternion::getNormalized() const {
    Quaternion q(*this);
    q.normalize();
    return q;
}

bool Quaternion::inverse() {
    const float n = x * x + y * y + z * z + w * w;
    if (n == 1.0f) {
        conjugate();
        return true;
    }
    if (n <= kMathTolerance) return false;
    const float k = 1.0f / n;
    set(-x * k, -y * k, -z * k, w * k);
    return true;
}

Quaternion Quaternion::getInversed() const {
    Quaternion q(*this);
    q.inverse();
    return q;
}

float Quaternion::toAxisAngle(Vec3* axis) const {
    Quaternion q = getNormalized();
    // Keep w in acos's domain against rounding.
    const float cw = clampf(q.w, -1.0f, 1.0f);
    Vec3 a(q.x, q.y, q.z);
    if (a.lengthSquared() <= kMathTolerance) {
        a = Vec3::UNIT_X;
    } else {
        a.normalize();
    }
    *axis = a;
    return 2.0f * std::acos(cw);
}

Vec3 Quaternion::rotate(const Vec3& v) const {
    // v' = v + w t + q x t, with t = 2 (q x v)
    const Vec3 q(x, y, z);
    Vec3 t;
    Vec3::cross(q, v, &t);
    t.scale(2.0f);
    Vec3 qt;
    Vec3::cross(q, t, &qt);
    return v + t * w + qt;
}

}  // namespace kite
