#include "platform/InputScript.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/ForkedRun.h"
#include "support/TemporaryFolder.h"

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <utility>

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
        "background 30\nforeground 40\ntype 42 138 1234\nsleep 44 250\nnodes 45 /tmp/menu nodes.txt\nquit 50\n",
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
    EXPECT_EQ(script->stepsAt(42)[0].kind, Kind::TYPE);
    EXPECT_EQ(script->stepsAt(42)[0].text, "138 1234");
    EXPECT_EQ(script->stepsAt(44)[0].kind, Kind::SLEEP);
    EXPECT_EQ(script->stepsAt(44)[0].milliseconds, 250);
    EXPECT_EQ(script->stepsAt(45)[0].kind, Kind::NODES);
    EXPECT_EQ(script->stepsAt(45)[0].path, "/tmp/menu nodes.txt");
    EXPECT_EQ(script->stepsAt(50)[0].kind, Kind::QUIT);
    EXPECT_EQ(script->lastFrame(), 50);
    EXPECT_TRUE(script->stepsAt(5).empty());
}

TEST(InputScript, MalformedLinesAreRefusedWithTheirLineNumber) {
    for (const char* bad : {"tap 0 1 2", "tap 1 2", "tap x 1 2", "hover 3 1 1", "drag 1 0 0 5 5 0", "shot 3", "nodes 3",
                            "type 4", "background 2 3", "down 4 1e40 2", "move 2 nan 3", "up 99999999999 1 1"}) {
        std::string error;
        EXPECT_FALSE(InputScript::parse(std::string("# ok\n") + bad, &error)) << bad;
        EXPECT_THAT(error, ::testing::StartsWith("line 2: ")) << bad;
    }
    std::string error;
    EXPECT_FALSE(InputScript::load("/nonexistent/script.txt", &error));
    EXPECT_THAT(error, ::testing::HasSubstr("cannot read"));
}

TEST(InputScript, AValuePastItsLimitIsRefusedNamingTheLimit) {
    std::string error;
    EXPECT_FALSE(InputScript::parse("tap 100000001 1 1", &error));
    EXPECT_EQ(error, "line 1: a frame number from 1 to 100000000 is needed");
    EXPECT_FALSE(InputScript::parse("tap 3 2000000 1", &error));
    EXPECT_EQ(error, "line 1: tap needs FRAME X Y, each coordinate from -1000000 to 1000000");
    EXPECT_FALSE(InputScript::parseShot("0:x.png", &error));
    EXPECT_EQ(error, "--shot needs FRAME:PATH with a frame from 1 to 100000000");
}

// A field past those a step takes is named as one too many, rather than the step's values being blamed.
TEST(InputScript, AFieldPastThoseAStepTakesIsNamedAsOneTooMany) {
    const std::pair<const char*, const char*> lines[] = {
        {"tap 3 10 10 10", "line 1: field 5, \"10\", is one field too many: tap needs FRAME X Y"},
        {"# ok\nmove 3 1 1 7 8", "line 2: fields 5 to 6 are 2 fields too many: move needs FRAME X Y"},
        {"drag 1 0 0 5 5 4 x", "line 1: field 8, \"x\", is one field too many: drag needs FRAME X1 Y1 X2 Y2 STEPS"},
        {"sleep 2 5 5", "line 1: field 4, \"5\", is one field too many: sleep needs FRAME MILLISECONDS"},
        {"quit 3 4", "line 1: field 3, \"4\", is one field too many: quit needs FRAME only"}};
    for (const auto& [line, refusal] : lines) {
        std::string error;
        EXPECT_FALSE(InputScript::parse(line, &error)) << line;
        EXPECT_EQ(error, refusal) << line;
    }
}

// strtol skips a leading space and takes a sign; a whole number here is digits only.
TEST(InputScript, AWholeNumberWithASignOrASpaceIsRefused) {
    std::string error;
    for (const char* bad : {"tap +3 1 1", "sleep 2 +5", "drag 1 0 0 5 5 +4"})
        EXPECT_FALSE(InputScript::parse(bad, &error)) << bad;
    for (const char* bad : {" 3:x.png", "+3:x.png"}) EXPECT_FALSE(InputScript::parseShot(bad, &error)) << bad;
}

TEST(InputScript, FieldsAreSeparatedByRunsOfSpacesAndTabsOnly) {
    std::string error;
    auto script = InputScript::parse("tap  3 10 10\ntap\t5\t\t20 30 \r\nshot 7 \t/tmp/a b.png\t\r\n", &error);
    ASSERT_TRUE(script) << error;
    ASSERT_EQ(script->stepsAt(3).size(), 1u);
    EXPECT_FLOAT_EQ(script->stepsAt(3)[0].x, 10.0f);
    ASSERT_EQ(script->stepsAt(5).size(), 1u);
    EXPECT_FLOAT_EQ(script->stepsAt(5)[0].y, 30.0f);
    ASSERT_EQ(script->stepsAt(7).size(), 1u);
    EXPECT_EQ(script->stepsAt(7)[0].path, "/tmp/a b.png");
    // Another control character is no separator: it stays in its field, which then is no number or step.
    for (const char* bad : {"tap 3\f10 10", "tap 3 10\r10", "shot 3\v/tmp/x.png", "down\v3 1 1"})
        EXPECT_FALSE(InputScript::parse(bad, &error)) << bad;
    EXPECT_EQ(error,
              "line 1: field 1, \"down\\x0b3\", has a control character (\\x0b) in it: only spaces and tabs "
              "separate fields");
}

// The character is named, escaped, with its line and field, instead of a frame number being asked for.
TEST(InputScript, AStrayControlCharacterIsNamedWithItsLineAndField) {
    const std::string why = ") in it: only spaces and tabs separate fields";
    std::string error;
    EXPECT_FALSE(InputScript::parse("# ok\ntap 3\f10 10\n", &error));
    EXPECT_EQ(error, "line 2: field 2, \"3\\x0c10\", has a control character (\\x0c" + why);
    EXPECT_FALSE(InputScript::parse("tap 3\x01 10 10", &error));
    EXPECT_EQ(error, "line 1: field 2, \"3\\x01\", has a control character (\\x01" + why);
    EXPECT_FALSE(InputScript::parse("drag 1 0 0 5 5\x1b[2J 4", &error));
    EXPECT_EQ(error, "line 1: field 6, \"5\\x1b[2J\", has a control character (\\x1b" + why);
    // A path or a typed text is one field, blanks and all.
    EXPECT_FALSE(InputScript::parse("shot 3 /tmp/a b\x7f.png", &error));
    EXPECT_EQ(error, "line 1: field 3, \"/tmp/a b\\x7f.png\", has a control character (\\x7f" + why);
    EXPECT_FALSE(InputScript::parse("type 4 138\xc2\x85 1234", &error));
    EXPECT_EQ(error, "line 1: field 3, \"138\\xc2\\x85 1234\", has a control character (\\xc2\\x85" + why);
    // In a comment it is no step's.
    EXPECT_TRUE(InputScript::parse("tap 3 10 10 # \x1b[2J\r\n", &error)) << error;
}

// A byte that is not UTF-8 is named as \xNN and a character that shows nothing (a space other than the ASCII
// one, a format character) as U+NNNN, as a control character is, instead of a frame or a step being asked for.
TEST(InputScript, AnInvisibleByteOrCharacterIsNamedWithItsLineAndField) {
    const std::string why = ") in it: only spaces and tabs separate fields";
    std::string error;
    EXPECT_FALSE(InputScript::parse("# ok\ntap 3 10 10\xff", &error));
    EXPECT_EQ(error,
              "line 2: field 4, \"10\\xff\", has a byte that is not UTF-8 (\\xff) in it: a script is UTF-8 text");
    EXPECT_FALSE(InputScript::parse("tap 3\xe2\x80\x83 10 10", &error));
    EXPECT_EQ(error, "line 1: field 2, \"3U+2003\", has an invisible character (U+2003" + why);
    EXPECT_FALSE(InputScript::parse("tap 3 10\xe2\x80\x8b 10", &error));
    EXPECT_EQ(error, "line 1: field 3, \"10U+200B\", has an invisible character (U+200B" + why);
    // A path or a typed text too: a path ending in a no-break space names a file nobody would find.
    EXPECT_FALSE(InputScript::parse("shot 3 /tmp/a b.png\xc2\xa0", &error));
    EXPECT_EQ(error, "line 1: field 3, \"/tmp/a b.pngU+00A0\", has an invisible character (U+00A0" + why);
    // Text that shows stays as it is, joined emoji too.
    EXPECT_TRUE(
        InputScript::parse("type 4 \xe4\xbd\xa0\xe5\xa5\xbd \xe2\x9d\xa4\xef\xb8\x8f "
                           "\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa7\n",
                           &error))
        << error;
}

// A direction override shown as it is would reverse the rest of the terminal line the refusal is printed on.
TEST(InputScript, AFieldIsShownWithItsInvisibleCharactersAsTheyAreNamed) {
    std::string error;
    EXPECT_FALSE(InputScript::parse("shot 3 /tmp/\xe2\x80\xaegnp.x\xe2\x81\xa6\x1b", &error));
    EXPECT_EQ(error,
              "line 1: field 3, \"/tmp/U+202Egnp.xU+2066\\x1b\", has an invisible character (U+202E) in it: only "
              "spaces and tabs separate fields");
}

TEST(InputScript, AScriptThatCannotBeReadIsRefusedWithTheReason) {
    std::string error;
    EXPECT_FALSE(InputScript::load("/nonexistent/script.txt", &error));
    EXPECT_EQ(error, "cannot read /nonexistent/script.txt: No such file or directory");
    // It opens, but reading it fails: not an empty script.
    EXPECT_FALSE(InputScript::load("/proc/self/mem", &error));
    EXPECT_EQ(error, "cannot read /proc/self/mem: Input/output error");
}

TEST(InputScript, AFolderIsRefusedRatherThanReadAsAnEmptyScript) {
    kite::test::TemporaryFolder folder("input-script");
    ASSERT_TRUE(folder.made());
    std::string error;
    EXPECT_FALSE(InputScript::load(folder.path(), &error));
    EXPECT_EQ(error, "cannot read " + folder.path() + ": it is a folder");
}

TEST(InputScript, AFifoIsRefusedWithoutWaitingForAWriter) {
    kite::test::TemporaryFolder folder("input-script");
    ASSERT_TRUE(folder.made());
    const std::string fifo = folder.path() + "/script";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const kite::test::ForkedOutcome outcome = kite::test::runForked([&fifo] {
        std::string error;
        const bool loaded = InputScript::load(fifo, &error).has_value();
        std::fprintf(stderr, "%s", error.c_str());
        return loaded ? 1 : 0;
    });
    EXPECT_TRUE(outcome.exited) << "waited on the FIFO";
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.output, "cannot read " + fifo + ": not a regular file (a FIFO)");
}

TEST(InputScript, AByteOrderMarkAtTheStartIsSkipped) {
    kite::test::TemporaryFolder folder("input-script");
    ASSERT_TRUE(folder.made());
    std::string error;
    auto script = InputScript::load(folder.put("marked.script", "\xEF\xBB\xBFtap 3 10 20\nquit 9\n"), &error);
    ASSERT_TRUE(script) << error;
    ASSERT_EQ(script->stepsAt(3).size(), 1u);
    EXPECT_EQ(script->stepsAt(3)[0].kind, Kind::DOWN);
    EXPECT_EQ(script->lastFrame(), 9);
    // Only at the start: elsewhere the mark is a character that shows nothing, and is named.
    EXPECT_FALSE(InputScript::parse("tap 3 10 20\n\xEF\xBB\xBFquit 9\n", &error));
    EXPECT_THAT(error,
                ::testing::StartsWith("line 2: field 1, \"U+FEFFquit\", has an invisible character (U+FEFF)"));
}

TEST(InputScript, StepsGivenOutOfOrderKeepTheirOrderWithinAFrame) {
    std::string error;
    // Descending drags overlap frame by frame: each frame's steps stay in the order given.
    std::string text;
    for (int frame = 400; frame >= 1; frame -= 4) text += "drag " + std::to_string(frame) + " 0 0 10 10 8\n";
    text += "shot 12 a.png\nshot 12 b.png\n";
    auto script = InputScript::parse(text, &error);
    ASSERT_TRUE(script) << error;
    EXPECT_EQ(script->steps().size(), 100u * 10u + 2u);
    for (std::size_t i = 1; i < script->steps().size(); ++i)
        ASSERT_LE(script->steps()[i - 1].frame, script->steps()[i].frame);
    // At 12 the drag given first goes down, the drags from 8 and 4 move, then the shots.
    auto at12 = script->stepsAt(12);
    ASSERT_EQ(at12.size(), 5u);
    EXPECT_EQ(at12[0].kind, Kind::DOWN);
    EXPECT_EQ(at12[1].kind, Kind::MOVE);
    EXPECT_FLOAT_EQ(at12[1].x, 5.0f);
    EXPECT_FLOAT_EQ(at12[2].x, 10.0f);
    EXPECT_EQ(at12[3].path, "a.png");
    EXPECT_EQ(at12[4].path, "b.png");

    InputScript merged;
    merged.add(*InputScript::parseShot("12:first.png", &error));
    merged.add(*script);
    EXPECT_EQ(merged.stepsAt(12).front().path, "first.png");
    EXPECT_EQ(merged.stepsAt(12).size(), 6u);
}

TEST(InputScript, ScriptExpandingToTooManyStepsIsRefused) {
    // A few hundred bytes of long drags would otherwise become millions of steps.
    std::string text;
    for (int i = 0; i < 11; ++i) text += "drag 1 0 0 99 99 10000\n";
    std::string error;
    EXPECT_FALSE(InputScript::parse(text, &error));
    EXPECT_EQ(error, "line 10: the script expands to more than 100000 steps");

    std::string taps;
    for (std::size_t i = 0; i < InputScript::kMaxSteps / 2 + 1; ++i) taps += "tap 1 0 0\n";
    EXPECT_FALSE(InputScript::parse(taps, &error));
    EXPECT_THAT(error, ::testing::HasSubstr("more than 100000 steps"));
}

// A good frame with nothing after its colon lacks only the path: the frame is not blamed.
TEST(InputScript, AShotOptionWithoutAPathNamesTheEmptyPath) {
    std::string error;
    EXPECT_FALSE(InputScript::parseShot("1:", &error));
    EXPECT_EQ(error, "--shot needs a path after the frame, not \"1:\"");
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
