// The three colour types (bytes without and with alpha, floats) and their named constants.
#pragma once
#include <cstdint>

namespace kite {

struct Color4B;
struct Color4F;

struct Color3B {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;

    constexpr Color3B() = default;
    constexpr Color3B(uint8_t rr, uint8_t gg, uint8_t bb) : r(rr), g(gg), b(bb) {}
    // Alpha dropped.
    explicit Color3B(const Color4B& c);
    // Alpha dropped; components clamped to 0..1 as for Color4B.
    explicit Color3B(const Color4F& c);

    bool operator==(const Color3B& o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Color3B& o) const { return !(*this == o); }

    static const Color3B WHITE;
    static const Color3B YELLOW;
    static const Color3B GREEN;
    static const Color3B BLUE;
    static const Color3B RED;
    static const Color3B MAGENTA;
    static const Color3B BLACK;
    static const Color3B ORANGE;
    static const Color3B GRAY;
};

struct Color4B {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    uint8_t a = 0;

    constexpr Color4B() = default;
    constexpr Color4B(uint8_t rr, uint8_t gg, uint8_t bb, uint8_t aa) : r(rr), g(gg), b(bb), a(aa) {}
    constexpr Color4B(const Color3B& c, uint8_t aa) : r(c.r), g(c.g), b(c.b), a(aa) {}
    // Each component clamped to 0..1 (NaN to 0), times 255 and truncated toward zero.
    explicit Color4B(const Color4F& c);

    bool operator==(const Color4B& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const Color4B& o) const { return !(*this == o); }

    static const Color4B WHITE;
    static const Color4B YELLOW;
    static const Color4B GREEN;
    static const Color4B BLUE;
    static const Color4B RED;
    static const Color4B MAGENTA;
    static const Color4B BLACK;
    static const Color4B ORANGE;
    static const Color4B GRAY;
};

struct Color4F {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;

    constexpr Color4F() = default;
    constexpr Color4F(float rr, float gg, float bb, float aa) : r(rr), g(gg), b(bb), a(aa) {}
    // Each byte divided by 255.
    explicit Color4F(const Color3B& c, float aa = 1.0f);
    explicit Color4F(const Color4B& c);

    bool operator==(const Color4F& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const Color4F& o) const { return !(*this == o); }

    static const Color4F WHITE;
    static const Color4F YELLOW;
    static const Color4F GREEN;
    static const Color4F BLUE;
    static const Color4F RED;
    static const Color4F MAGENTA;
    static const Color4F BLACK;
    static const Color4F ORANGE;
    static const Color4F GRAY;
};

static_assert(sizeof(Color3B) == 3, "Color3B is three bytes");
static_assert(sizeof(Color4B) == 4, "Color4B is four bytes, as the GPU reads it");
static_assert(sizeof(Color4F) == 16, "Color4F is four floats");

inline constexpr Color3B Color3B::WHITE{255, 255, 255};
inline constexpr Color3B Color3B::YELLOW{255, 255, 0};
inline constexpr Color3B Color3B::GREEN{0, 255, 0};
inline constexpr Color3B Color3B::BLUE{0, 0, 255};
inline constexpr Color3B Color3B::RED{255, 0, 0};
inline constexpr Color3B Color3B::MAGENTA{255, 0, 255};
inline constexpr Color3B Color3B::BLACK{0, 0, 0};
inline constexpr Color3B Color3B::ORANGE{255, 127, 0};
inline constexpr Color3B Color3B::GRAY{166, 166, 166};

inline constexpr Color4B Color4B::WHITE{255, 255, 255, 255};
inline constexpr Color4B Color4B::YELLOW{255, 255, 0, 255};
inline constexpr Color4B Color4B::GREEN{0, 255, 0, 255};
inline constexpr Color4B Color4B::BLUE{0, 0, 255, 255};
inline constexpr Color4B Color4B::RED{255, 0, 0, 255};
inline constexpr Color4B Color4B::MAGENTA{255, 0, 255, 255};
inline constexpr Color4B Color4B::BLACK{0, 0, 0, 255};
inline constexpr Color4B Color4B::ORANGE{255, 127, 0, 255};
inline constexpr Color4B Color4B::GRAY{166, 166, 166, 255};

inline constexpr Color4F Color4F::WHITE{1.0f, 1.0f, 1.0f, 1.0f};
inline constexpr Color4F Color4F::YELLOW{1.0f, 1.0f, 0.0f, 1.0f};
inline constexpr Color4F Color4F::GREEN{0.0f, 1.0f, 0.0f, 1.0f};
inline constexpr Color4F Color4F::BLUE{0.0f, 0.0f, 1.0f, 1.0f};
inline constexpr Color4F Color4F::RED{1.0f, 0.0f, 0.0f, 1.0f};
inline constexpr Color4F Color4F::MAGENTA{1.0f, 0.0f, 1.0f, 1.0f};
inline constexpr Color4F Color4F::BLACK{0.0f, 0.0f, 0.0f, 1.0f};
inline constexpr Color4F Color4F::ORANGE{1.0f, 0.5f, 0.0f, 1.0f};
inline constexpr Color4F Color4F::GRAY{0.65f, 0.65f, 0.65f, 1.0f};

}  // namespace kite
