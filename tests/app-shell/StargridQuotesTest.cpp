// The game executable, and the launcher's claim (stargrid-claim), quoting what they were given: an argument, a
// variable of its environment or a file name shows with its control characters escaped, so an escape sequence
// cannot reach the terminal (ESC [2J clears the screen) and a newline cannot split the line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "GameProcess.h"
#include "support/ForkedRun.h"

namespace {

using ::testing::HasSubstr;
using stargrid::test::Game;

constexpr char kClear[] = "\033[2J";
constexpr char kShownClear[] = "\\x1b[2J";

struct Refusal {
    std::vector<std::string> args;
    std::vector<std::string> env;
    std::string said;  // a part of what it says
};

TEST(StargridQuotes, ARefusalQuotesWhatItWasGivenWithControlCharactersEscaped) {
    const std::string clear = kClear, shown = kShownClear;
    for (const Refusal& refusal : std::vector<Refusal>{
             {{clear + "hello"}, {}, "stargrid: not a URL (a control character (0x1b) at byte 1): " + shown + "hello\n"},
             {{"pg5e18c0a7d94b2f63://a", "b\nc" + clear}, {}, "stargrid: one URL at most: b\\x0ac" + shown + "\n"},
             {{"--bo\ngus" + clear}, {}, "stargrid: unknown option --bo\\x0agus" + shown + " (stargrid --help"},
             {{"--frames", "1"}, {"STARGRID_DEVICE=ipad" + clear}, "unknown device in STARGRID_DEVICE: ipad" + shown},
             {{"--frames", "1", "--script", "/nonexistent/a\nb" + clear},
              {},
              "stargrid: --script: cannot read /nonexistent/a\\x0ab" + shown + ": "}}) {
        const std::string call = ::testing::PrintToString(refusal.args) + ::testing::PrintToString(refusal.env);
        Game game(refusal.args, refusal.env, true);
        ASSERT_TRUE(game.started());
        EXPECT_EQ(game.waitForExit(), 2) << call;
        std::string output;
        for (const std::string& line : game.lines()) output += line + "\n";
        EXPECT_THAT(output, HasSubstr(refusal.said)) << call;
        EXPECT_EQ(output.find('\033'), std::string::npos) << call << ": " << output;
    }
}

// stargrid-claim names an argument that does not start with "-" as unexpected, quoted, not as an unknown option.
TEST(StargridQuotes, TheClaimNamesAnArgumentThatIsNoOptionAsUnexpected) {
    const std::string clear = kClear, shown = kShownClear;
    const std::string usage = " (stargrid-claim --help shows the usage)\n";
    for (const auto& [arg, said] : std::vector<std::pair<std::string, std::string>>{
             {clear, "stargrid-claim: unexpected argument \"" + shown + "\"" + usage},
             {"folders", "stargrid-claim: unexpected argument \"folders\"" + usage},
             {"--bo" + clear, "stargrid-claim: unknown option --bo" + shown + usage}}) {
        const kite::test::ForkedOutcome run = kite::test::runForked([arg = arg] {
            ::execl(STARGRID_CLAIM_PROGRAM, STARGRID_CLAIM_PROGRAM, arg.c_str(), nullptr);
            return 127;
        });
        EXPECT_TRUE(run.exited) << said;
        EXPECT_EQ(run.status, 2) << said;
        EXPECT_EQ(run.output, said);
    }
}

}  // namespace
