#include "kite/foundation/math/Color.h"

#include <gtest/gtest.h>

#include <limits>

namespace kite {
namespace {

TEST(Color, FloatToByteTruncatesTowardZero) {
    EXPECT_EQ(Color4B(Color4F(1, 0.5f, 0.999f, 0)), Color4B(255, 127, 254, 0));
}

TEST(Color, FloatToByteClampsOutOfRangeComponents) {
    EXPECT_EQ(Color4B(Color4F(1.5f, -0.2f, 2.0f, 300.0f)), Color4B(255, 0, 255, 255));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(Color4B(Color4F(nan, inf, -inf, 0.5f)), Color4B(0, 255, 0, 127));
    EXPECT_EQ(Color3B(Color4F(-1, 2, 0.5f, 1)), Color3B(0, 255, 127));
}

TEST(Color, ConversionsBetweenTypes) {
    EXPECT_EQ(Color3B(Color4B(1, 2, 3, 4)), Color3B(1, 2, 3)) << "alpha dropped";
    EXPECT_EQ(Color4B(Color3B(1, 2, 3), 200), Color4B(1, 2, 3, 200));
    EXPECT_EQ(Color4F(Color4B(255, 0, 255, 0)), Color4F(1, 0, 1, 0));
    EXPECT_EQ(Color4F(Color3B::WHITE), Color4F::WHITE);
    // Bytes survive a round trip through floats.
    for (int v = 0; v <= 255; ++v) {
        const Color4B c(v, v, v, v);
        EXPECT_EQ(Color4B(Color4F(c)), c) << v;
    }
}

TEST(Color, DefaultsAreZero) {
    EXPECT_EQ(Color3B(), Color3B(0, 0, 0));
    EXPECT_EQ(Color4B(), Color4B(0, 0, 0, 0));
    EXPECT_EQ(Color4F(), Color4F(0, 0, 0, 0));
}

TEST(Color, NamedConstants) {
    EXPECT_EQ(Color3B::ORANGE, Color3B(255, 127, 0));
    EXPECT_EQ(Color3B::GRAY, Color3B(166, 166, 166));
    EXPECT_EQ(Color4B::BLACK, Color4B(0, 0, 0, 255));
    EXPECT_EQ(Color4B::MAGENTA, Color4B(255, 0, 255, 255));
    EXPECT_EQ(Color4F::ORANGE, Color4F(1, 0.5f, 0, 1));
    EXPECT_EQ(Color4F::GRAY, Color4F(0.65f, 0.65f, 0.65f, 1));
    EXPECT_EQ(Color4F::YELLOW, Color4F(1, 1, 0, 1));
}

}  // namespace
}  // namespace kite
