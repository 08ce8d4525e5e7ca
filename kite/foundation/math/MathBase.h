// Shared constants and small helpers of the math types.
#pragma once

namespace kite {

// Per-component tolerance of the fuzzy equality tests (2^-23).
constexpr float kFloatEpsilon = 1.1920929e-7f;
// A length or determinant at or below this counts as zero.
constexpr float kMathTolerance = 2e-37f;
// Threshold of the perspective guard and of the matrix-to-quaternion conversion.
constexpr float kMatrixEpsilon = 1e-6f;
constexpr float kDegreesToRadians = 0.017453292f;
constexpr float kRadiansToDegrees = 57.29578f;
constexpr float kPi = 3.14159265f;
constexpr float kPiOver2 = 1.57079633f;

constexpr float degreesToRadians(float degrees) { return degrees * kDegreesToRadians; }
constexpr float radiansToDegrees(float radians) { return radians * kRadiansToDegrees; }

// Clamps value into [low, high]; a NaN comes back as low.
constexpr float clampf(float value, float low, float high) {
    return value >= low ? (value <= high ? value : high) : low;
}

}  // namespace kite
