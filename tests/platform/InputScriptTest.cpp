#include "platform/InputScript.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace platform {
namespace {

using Kind = ScriptStep::Kind;

TEST(InputScript, StepsExpandAndSortByFrame) {
    std::string error;
    auto script = InputScript::parse(
        "# a demo\n"
        "shot 12 /tmp/after tap.png\n"
        "tap 10 320 568.5   # press and release\n"
        "\n"
        "drag 20 0 0 30 60 3\n"
        "background 30\nforeground 40\nquit 50\n",
        &error);
    ASSERT_TRUE(script) << error;
    auto at10 = script->stepsAt(10);
    ASSERT_EQ(at10.size(), 1u);
    EXPECT_EQ(at10[0].kind, Kind::DOWN);
    EXPECT_FLOAT_EQ(at10[0].y, 568.5f);
    EXPECT_EQ(script->stepsAt(11)[0].kind, Kind::UP);
    EXPECT_EQ(script->stepsAt(12)[0].path, "/tmp/after tap.png");
    // drag: down at 20, moves at 21..23 ending at the target, up at 24.
    EXPECT_EQ(script->stepsAt(20)[0].kind, Kind::DOWN);
    EXPECT_EQ(script->stepsAt(22)[0].kind, Kind::MOVE);
    EXPECT_FLOAT_EQ(script->stepsAt(22)[0].x, 20.0f);
    EXPECT_FLOAT_EQ(script->stepsAt(23)[0].y, 60.0f);
    EXPECT_EQ(script->stepsAt(24)[0].kind, Kind::UP);
    EXPECT_EQ(script->stepsAt(30)[0].kind, Kind::BACKGROUND);
    EXPECT_EQ(script->stepsAt(40)[0].kind, Kind::FOREGROUND);
    EXPECT_EQ(script->stepsAt(50)[0].kind, Kind::QUIT);
    EXPECT_EQ(script->lastFrame(), 50);
    EXPECT_TRUE(script->stepsAt(5).empty());
}

TEST(InputScript, MalformedLinesAreRefusedWithTheirLineNumber) {
    for (const char* bad : {"tap 0 1 2", "tap 1 2", "tap x 1 2", "hover 3 1 1", "drag 1 0 0 5 5 0", "shot 3",
                            "background 2 3", "down 4 1e40 2", "move 2 nan 3", "up 99999999999 1 1"}) {
        std::string error;
        EXPECT_FALSE(InputScript::parse(std::string("# ok\n") + bad, &error)) << bad;
        EXPECT_THAT(error, ::testing::StartsWith("line 2: ")) << bad;
    }
    std::string error;
    EXPECT_FALSE(InputScript::load("/nonexistent/script.txt", &error));
    EXPECT_THAT(error, ::testing::HasSubstr("cannot read"));
}

TEST(InputScript, ShotOptionTakesFrameAndPath) {
    std::string error;
    auto shot = InputScript::parseShot("7:/tmp/a:b.png", &error);
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->frame, 7);
    EXPECT_EQ(shot->path, "/tmp/a:b.png");
    EXPECT_FALSE(InputScript::parseShot("7", &error));
    EXPECT_FALSE(InputScript::parseShot("0:/tmp/x.png", &error));
    EXPECT_FALSE(InputScript::parseShot("3:", &error));
}

}  // namespace
}  // namespace platform
