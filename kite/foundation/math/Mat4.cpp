// Matrix builders, decomposition, determinant and inversion.
#include "kite/foundation/math/Mat4.h"

#include "kite/foundation/math/MathBase.h"
#include "kite/foundation/math/Quaternion.h"

#include <cmath>

namespace kite {

void Mat4::createLookAt(const Vec3& eye, const Vec3& target, const Vec3& up, Mat4* dst) {
    createLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, up.x, up.y, up.z, dst);
}

void Mat4::createLookAt(float eyeX, float eyeY, float eyeZ, float targetX, float targetY, float targetZ, float upX,
                        float upY, float upZ, Mat4* dst) {
    const Vec3 eye(eyeX, eyeY, eyeZ);
    Vec3 up(upX, upY, upZ);
    up.normalize();

    Vec3 zaxis;
    Vec3::subtract(eye, Vec3(targetX, targetY, targetZ), &zaxis);
    zaxis.normalize();
    Vec3 xaxis;
    Vec3::cross(up, zaxis, &xaxis);
    xaxis.normalize();
    Vec3 yaxis;
    Vec3::cross(zaxis, xaxis, &yaxis);
    yaxis.normalize();

    // The axes go into the rows of the rotation part.
    float* m = dst->m;
    m[0] = xaxis.x;
    m[1] = yaxis.x;
    m[2] = zaxis.x;
    m[3] = 0.0f;
    m[4] = xaxis.y;
    m[5] = yaxis.y;
    m[6] = zaxis.y;
    m[7] = 0.0f;
    m[8] = xaxis.z;
    m[9] = yaxis.z;
    m[10] = zaxis.z;
    m[11] = 0.0f;
    m[12] = -xaxis.dot(eye);
    m[13] = -yaxis.dot(eye);
    m[14] = -zaxis.dot(eye);
    m[15] = 1.0f;
}

void Mat4::createPerspective(float fieldOfView, float aspectRatio, float zNear, float zFar, Mat4* dst) {
    const float theta = fieldOfView * kDegreesToRadians * 0.5f;
    // The float pi/2, widened: the tangent is 0 or undefined at its multiples.
    const double halfPi = static_cast<double>(1.57079633f);
    if (std::fabs(std::fmod(static_cast<double>(theta), halfPi)) < static_cast<double>(kMatrixEpsilon)) {
        return;
    }
    const float factor = 1.0f / std::tan(theta);
    const float fn = 1.0f / (zFar - zNear);
    dst->setZero();
    dst->m[0] = factor * (1.0f / aspectRatio);
    dst->m[5] = factor;
    dst->m[10] = -(zNear + zFar) * fn;
    dst->m[11] = -1.0f;
    dst->m[14] = -2.0f * zFar * zNear * fn;
}

void Mat4::createOrthographicOffCenter(float left, float right, float bottom, float top, float zNear, float zFar,
                                       Mat4* dst) {
    dst->setZero();
    dst->m[0] = 2.0f / (right - left);
    dst->m[5] = 2.0f / (top - bottom);
    dst->m[10] = 2.0f / (zNear - zFar);
    dst->m[12] = (left + right) / (left - right);
    dst->m[13] = (bottom + top) / (bottom - top);
    dst->m[14] = (zNear + zFar) / (zNear - zFar);
    dst->m[15] = 1.0f;
}

void Mat4::createOrthographic(float width, float height, float zNear, float zFar, Mat4* dst) {
    const float halfWidth = width * 0.5f;
    const float halfHeight = height * 0.5f;
    createOrthographicOffCenter(-halfWidth, halfWidth, -halfHeight, halfHeight, zNear, zFar, dst);
}

void Mat4::createRotation(const Quaternion& q, Mat4* dst) {
    const float x2 = q.x + q.x;
    const float y2 = q.y + q.y;
    const float z2 = q.z + q.z;
    const float xx2 = q.x * x2, yy2 = q.y * y2, zz2 = q.z * z2;
    const float xy2 = q.x * y2, xz2 = q.x * z2, yz2 = q.y * z2;
    const float wx2 = q.w * x2, wy2 = q.w * y2, wz2 = q.w * z2;
    float* m = dst->m;
    m[0] = 1.0f - yy2 - zz2;
    m[1] = xy2 + wz2;
    m[2] = xz2 - wy2;
    m[3] = 0.0f;
    m[4] = xy2 - wz2;
    m[5] = 1.0f - xx2 - zz2;
    m[6] = yz2 + wx2;
    m[7] = 0.0f;
    m[8] = xz2 + wy2;
    m[9] = yz2 - wx2;
    m[10] = 1.0f - xx2 - yy2;
    m[11] = 0.0f;
    m[12] = 0.0f;
    m[13] = 0.0f;
    m[14] = 0.0f;
    m[15] = 1.0f;
}

void Mat4::createRotation(const Vec3& axis, float angle, Mat4* dst) { createRotation(Quaternion(axis, angle), dst); }

void Mat4::createTranslation(float x, float y, float z, Mat4* dst) {
    *dst = IDENTITY;
    dst->m[12] = x;
    dst->m[13] = y;
    dst->m[14] = z;
}

void Mat4::createScale(float x, float y, float z, Mat4* dst) {
    *dst = IDENTITY;
    dst->m[0] = x;
    dst->m[5] = y;
    dst->m[10] = z;
}

bool Mat4::decompose(Vec3* scale, Quaternion* rotation, Vec3* translation) const {
    if (translation) translation->set(m[12], m[13], m[14]);
    if (!scale && !rotation) return true;

    Vec3 xaxis(m[0], m[1], m[2]);
    Vec3 yaxis(m[4], m[5], m[6]);
    Vec3 zaxis(m[8], m[9], m[10]);
    const float sx = xaxis.length();
    const float sy = yaxis.length();
    float sz = zaxis.length();
    // A mirror shows as a negative z scale.
    if (determinant() < 0.0f) sz = -sz;
    if (scale) scale->set(sx, sy, sz);
    if (!rotation) return true;

    if (sx < kMathTolerance || sy < kMathTolerance || std::fabs(sz) < kMathTolerance) return false;
    xaxis.scale(1.0f / sx);
    yaxis.scale(1.0f / sy);
    zaxis.scale(1.0f / sz);

    const float trace = xaxis.x + yaxis.y + zaxis.z + 1.0f;
    if (trace > kMatrixEpsilon) {
        const float s = 0.5 / std::sqrt(static_cast<double>(trace));
        rotation->w = 0.25f / s;
        rotation->x = (yaxis.z - zaxis.y) * s;
        rotation->y = (zaxis.x - xaxis.z) * s;
        rotation->z = (xaxis.y - yaxis.x) * s;
    } else if (xaxis.x > yaxis.y && xaxis.x > zaxis.z) {
        const float s = 0.5 / std::sqrt(1.0 + xaxis.x - yaxis.y - zaxis.z);
        rotation->w = (yaxis.z - zaxis.y) * s;
        rotation->x = 0.25f / s;
        rotation->y = (yaxis.x + xaxis.y) * s;
        rotation->z = (zaxis.x + xaxis.z) * s;
    } else if (yaxis.y > zaxis.z) {
        const float s = 0.5 / std::sqrt(1.0 + yaxis.y - xaxis.x - zaxis.z);
        rotation->w = (zaxis.x - xaxis.z) * s;
        rotation->x = (yaxis.x + xaxis.y) * s;
        rotation->y = 0.25f / s;
        rotation->z = (zaxis.y + yaxis.z) * s;
    } else {
        const float s = 0.5 / std::sqrt(1.0 + zaxis.z - xaxis.x - yaxis.y);
        rotation->w = (xaxis.y - yaxis.x) * s;
        rotation->x = (zaxis.x + xaxis.z) * s;
        rotation->y = (zaxis.y + yaxis.z) * s;
        rotation->z = 0.25f / s;
    }
    return true;
}

namespace {

// The 2x2 minors of the first two columns (a) and of the last two (b); the
// determinant and the adjugate are both built from them.
struct Minors {
    float a0, a1, a2, a3, a4, a5;
    float b0, b1, b2, b3, b4, b5;

    explicit Minors(const float* m)
        : a0(m[0] * m[5] - m[1] * m[4]),
          a1(m[0] * m[6] - m[2] * m[4]),
          a2(m[0] * m[7] - m[3] * m[4]),
          a3(m[1] * m[6] - m[2] * m[5]),
          a4(m[1] * m[7] - m[3] * m[5]),
          a5(m[2] * m[7] - m[3] * m[6]),
          b0(m[8] * m[13] - m[9] * m[12]),
          b1(m[8] * m[14] - m[10] * m[12]),
          b2(m[8] * m[15] - m[11] * m[12]),
          b3(m[9] * m[14] - m[10] * m[13]),
          b4(m[9] * m[15] - m[11] * m[13]),
          b5(m[10] * m[15] - m[11] * m[14]) {}

    float determinant() const { return a0 * b5 - a1 * b4 + a2 * b3 + a3 * b2 - a4 * b1 + a5 * b0; }
};

}  // namespace

float Mat4::determinant() const { return Minors(m).determinant(); }

bool Mat4::inverse() {
    const Minors k(m);
    const float det = k.determinant();
    if (std::fabs(det) <= kMathTolerance) return false;

    float adj[16];
    adj[0] = m[5] * k.b5 - m[6] * k.b4 + m[7] * k.b3;
    adj[1] = -m[1] * k.b5 + m[2] * k.b4 - m[3] * k.b3;
    adj[2] = m[13] * k.a5 - m[14] * k.a4 + m[15] * k.a3;
    adj[3] = -m[9] * k.a5 + m[10] * k.a4 - m[11] * k.a3;
    adj[4] = -m[4] * k.b5 + m[6] * k.b2 - m[7] * k.b1;
    adj[5] = m[0] * k.b5 - m[2] * k.b2 + m[3] * k.b1;
    adj[6] = -m[12] * k.a5 + m[14] * k.a2 - m[15] * k.a1;
    adj[7] = m[8] * k.a5 - m[10] * k.a2 + m[11] * k.a1;
    adj[8] = m[4] * k.b4 - m[5] * k.b2 + m[7] * k.b0;
    adj[9] = -m[0] * k.b4 + m[1] * k.b2 - m[3] * k.b0;
    adj[10] = m[12] * k.a4 - m[13] * k.a2 + m[15] * k.a0;
    adj[11] = -m[8] * k.a4 + m[9] * k.a2 - m[11] * k.a0;
    adj[12] = -m[4] * k.b3 + m[5] * k.b1 - m[6] * k.b0;
    adj[13] = m[0] * k.b3 - m[1] * k.b1 + m[2] * k.b0;
    adj[14] = -m[12] * k.a3 + m[13] * k.a1 - m[14] * k.a0;
    adj[15] = m[8] * k.a3 - m[9] * k.a1 + m[10] * k.a0;
    MathUtil::multiplyMatrixByScalar(adj, 1.0f / det, m);
    return true;
}

void Mat4::translate(float x, float y, float z) {
    // Only the last column changes: m x T adds x, y, z times the first three columns.
    for (int r = 0; r < 4; ++r) m[12 + r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
}

void Mat4::scale(float x, float y, float z) {
    for (int r = 0; r < 4; ++r) {
        m[r] *= x;
        m[4 + r] *= y;
        m[8 + r] *= z;
    }
}

}  // namespace kite
