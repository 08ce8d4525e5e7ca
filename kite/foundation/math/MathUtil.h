// Four-lane kernels behind the matrix and vector products. Each reads all of its
// inputs before writing, so the destination may alias any input.
#pragma once

namespace kite {

class MathUtil {
public:
    // dst[i] = m[i] * scalar for the 16 entries.
    static void multiplyMatrixByScalar(const float* m, float scalar, float* dst) {
        float out[16];
        for (int i = 0; i < 16; ++i) out[i] = m[i] * scalar;
        for (int i = 0; i < 16; ++i) dst[i] = out[i];
    }

    // dst = m1 x m2, all column-major.
    static void multiplyMatrix(const float* m1, const float* m2, float* dst) {
        float a[16];
        float b[16];
        for (int i = 0; i < 16; ++i) {
            a[i] = m1[i];
            b[i] = m2[i];
        }
        for (int c = 0; c < 4; ++c) {
            const float b0 = b[4 * c], b1 = b[4 * c + 1], b2 = b[4 * c + 2], b3 = b[4 * c + 3];
            for (int r = 0; r < 4; ++r) {
                dst[4 * c + r] = a[r] * b0 + a[4 + r] * b1 + a[8 + r] * b2 + a[12 + r] * b3;
            }
        }
    }

    // dst = m1 x m2 where both are planar (see Mat4::isPlanar): the values multiplyMatrix gives,
    // in the same order of operations, without the products known to be zero.
    static void multiplyPlanarMatrix(const float* a, const float* b, float* dst) {
        // b is often a matrix written a moment ago entry by entry: it is read the same way, one
        // float at a time, since a wider read of entries stored apart waits for the stores to land.
        const volatile float* v = b;
        multiplyPlanarMatrix(a, v[0], v[1], v[4], v[5], v[10], v[12], v[13], v[14], dst);
    }
    // The same product with b given by its eight entries that are not 0 or 1.
    static void multiplyPlanarMatrix(const float* a, float b0, float b1, float b4, float b5, float b10, float b12,
                                     float b13, float b14, float* dst) {
        const float a0 = a[0], a1 = a[1], a4 = a[4], a5 = a[5], a10 = a[10], a12 = a[12], a13 = a[13], a14 = a[14];
        dst[0] = a0 * b0 + a4 * b1;
        dst[1] = a1 * b0 + a5 * b1;
        dst[4] = a0 * b4 + a4 * b5;
        dst[5] = a1 * b4 + a5 * b5;
        dst[10] = a10 * b10;
        dst[12] = a0 * b12 + a4 * b13 + a12;
        dst[13] = a1 * b12 + a5 * b13 + a13;
        dst[14] = a10 * b14 + a14;
        dst[2] = dst[3] = dst[6] = dst[7] = dst[8] = dst[9] = dst[11] = 0.0f;
        dst[15] = 1.0f;
    }

    static void transposeMatrix(const float* m, float* dst) {
        float out[16];
        for (int c = 0; c < 4; ++c)
            for (int r = 0; r < 4; ++r) out[4 * r + c] = m[4 * c + r];
        for (int i = 0; i < 16; ++i) dst[i] = out[i];
    }

    // dst[0..2] = first three components of m x (x, y, z, w).
    static void transformVec4(const float* m, float x, float y, float z, float w, float* dst) {
        const float ox = m[0] * x + m[4] * y + m[8] * z + m[12] * w;
        const float oy = m[1] * x + m[5] * y + m[9] * z + m[13] * w;
        const float oz = m[2] * x + m[6] * y + m[10] * z + m[14] * w;
        dst[0] = ox;
        dst[1] = oy;
        dst[2] = oz;
    }

    // dst[0..3] = m x v.
    static void transformVec4(const float* m, const float* v, float* dst) {
        const float x = v[0], y = v[1], z = v[2], w = v[3];
        const float ox = m[0] * x + m[4] * y + m[8] * z + m[12] * w;
        const float oy = m[1] * x + m[5] * y + m[9] * z + m[13] * w;
        const float oz = m[2] * x + m[6] * y + m[10] * z + m[14] * w;
        const float ow = m[3] * x + m[7] * y + m[11] * z + m[15] * w;
        dst[0] = ox;
        dst[1] = oy;
        dst[2] = oz;
        dst[3] = ow;
    }

    // Right-handed cross product of two three-float vectors.
    static void crossVec3(const float* a, const float* b, float* dst) {
        const float x = a[1] * b[2] - a[2] * b[1];
        const float y = a[2] * b[0] - a[0] * b[2];
        const float z = a[0] * b[1] - a[1] * b[0];
        dst[0] = x;
        dst[1] = y;
        dst[2] = z;
    }
};

}  // namespace kite
