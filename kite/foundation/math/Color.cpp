// Conversions between the colour types.
#include "kite/foundation/math/Color.h"

#include "kite/foundation/math/MathBase.h"

namespace kite {

namespace {

// Out-of-range floats (and NaN) would overflow the byte, so clamp first.
uint8_t toByte(float component) {
    return static_cast<uint8_t>(static_cast<int>(clampf(component, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

Color3B::Color3B(const Color4B& c) : r(c.r), g(c.g), b(c.b) {}

Color3B::Color3B(const Color4F& c) : r(toByte(c.r)), g(toByte(c.g)), b(toByte(c.b)) {}

Color4B::Color4B(const Color4F& c) : r(toByte(c.r)), g(toByte(c.g)), b(toByte(c.b)), a(toByte(c.a)) {}

Color4F::Color4F(const Color3B& c, float aa) : r(c.r / 255.0f), g(c.g / 255.0f), b(c.b / 255.0f), a(aa) {}

Color4F::Color4F(const Color4B& c) : r(c.r / 255.0f), g(c.g / 255.0f), b(c.b / 255.0f), a(c.a / 255.0f) {}

}  // namespace kite
