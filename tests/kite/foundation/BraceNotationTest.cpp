#include "kite/foundation/BraceNotation.h"

#include <gtest/gtest.h>

namespace kite {
namespace {

void expectPoint(const Vec2& p, float x, float y) {
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
}

void expectRect(const Rect& r, float x, float y, float w, float h) {
    EXPECT_FLOAT_EQ(r.origin.x, x);
    EXPECT_FLOAT_EQ(r.origin.y, y);
    EXPECT_FLOAT_EQ(r.size.width, w);
    EXPECT_FLOAT_EQ(r.size.height, h);
}

TEST(BraceNotation, PointFromTwoNumbers) {
    expectPoint(PointFromString("{1,2}"), 1.0f, 2.0f);
    expectPoint(PointFromString(" { 1.5, -2 } "), 1.5f, -2.0f);
}

TEST(BraceNotation, MalformedPointsGiveZero) {
    for (const char* text : {"{1,2,3}", "{1}", "{,2}", "{1,}", "}1,2{", "{{1,2}}", "", "1,2", "{}", "{1,2"}) {
        Vec2 p = PointFromString(text);
        EXPECT_EQ(p.x, 0.0f) << text;
        EXPECT_EQ(p.y, 0.0f) << text;
    }
}

TEST(BraceNotation, SizeFromTwoNumbers) {
    Size s = SizeFromString("{30,40.25}");
    EXPECT_FLOAT_EQ(s.width, 30.0f);
    EXPECT_FLOAT_EQ(s.height, 40.25f);
    Size bad = SizeFromString("{30}");
    EXPECT_EQ(bad.width, 0.0f);
    EXPECT_EQ(bad.height, 0.0f);
}

TEST(BraceNotation, RectFromPointAndSize) {
    expectRect(RectFromString("{{10,20},{30,40}}"), 10.0f, 20.0f, 30.0f, 40.0f);
    expectRect(RectFromString("{{-1.5, 2}, {3, 4.75}}"), -1.5f, 2.0f, 3.0f, 4.75f);
}

TEST(BraceNotation, MalformedRectsGiveZero) {
    for (const char* text :
         {"{{10,20},{30}}", "", "{{10,20}}", "{{10,20},{30,40}", "{10,20,30,40}", "{{10,20}{30,40}}", "}}}{{{"}) {
        expectRect(RectFromString(text), 0.0f, 0.0f, 0.0f, 0.0f);
    }
}

}  // namespace
}  // namespace kite
