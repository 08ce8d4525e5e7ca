#include "Classes/GameHelpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ctime>

#include "Classes/GameRandom.h"
#include "GameTestSupport.h"

namespace {

using game::test::GameStoreTest;
using ::testing::ElementsAre;

TEST(Base64, ElevenDigitPhoneNumberSurvivesTheRoundTrip) {
    const std::string encoded = base64Encode("13912345678");
    EXPECT_EQ(encoded, "MTM5MTIzNDU2Nzg=");
    EXPECT_EQ(base64Decode(encoded), "13912345678");
}

TEST(Base64, LastGroupIsDecodedWithOrWithoutFill) {
    EXPECT_EQ(base64Decode("YQ=="), "a");
    EXPECT_EQ(base64Decode("YQ"), "a");
    EXPECT_EQ(base64Decode("YWI"), "ab");
    EXPECT_EQ(base64Decode("YWJj"), "abc");
    EXPECT_EQ(base64Encode(""), "");
    EXPECT_EQ(base64Decode(""), "");
    const std::string bytes("\0\xff\x10 binary", 10);
    EXPECT_EQ(base64Decode(base64Encode(bytes)), bytes);
}

TEST(Base64, DecodingStopsAtFillOrAForeignCharacter) {
    EXPECT_EQ(base64Decode("YQ==YWJj"), "a");
    EXPECT_EQ(base64Decode("YWJj*YWJj"), "abc");
    EXPECT_EQ(base64Decode("YWJj\nYWJj"), "abc");
}

TEST(Text, NumbersAndSplitting) {
    EXPECT_EQ(stringToInt(""), 0);
    EXPECT_EQ(stringToInt("  42abc"), 42);
    EXPECT_EQ(stringToInt("-7"), -7);
    EXPECT_EQ(stringToInt("x1"), 0);
    EXPECT_EQ(intToString(-305), "-305");
    std::vector<std::string> pieces;
    splitString("12|2|5", "|", pieces);
    EXPECT_THAT(pieces, ElementsAre("12", "2", "5"));
    pieces.clear();
    splitString("|12||2|", "|", pieces);
    EXPECT_THAT(pieces, ElementsAre("12", "2"));
    splitString("a--b", "--", pieces);
    EXPECT_THAT(pieces, ElementsAre("12", "2", "a", "b"));
}

TEST(Text, DateHasNoLeadingZeros) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(dateString(),
              std::to_string(local.tm_year + 1900) + std::to_string(local.tm_mon + 1) + std::to_string(local.tm_mday));
}

TEST(Text, ExtendedRegularExpressions) {
    EXPECT_TRUE(regexMatch("^1[0-9]{10}$", "13912345678"));
    EXPECT_FALSE(regexMatch("^1[0-9]{10}$", "1391234567"));
    EXPECT_FALSE(regexMatch("(", "anything"));  // a pattern that does not compile matches nothing
}

TEST(Guid, FixedSeedGivesARepeatableGuidOfTheFixedForm) {
    game::setFixedSeedForTesting(5u);
    const std::string first = makeGuid();
    game::setFixedSeedForTesting(5u);
    EXPECT_EQ(makeGuid(), first);
    EXPECT_NE(makeGuid(), first);  // the fixed clock moved on
    EXPECT_THAT(first, ::testing::MatchesRegex("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}"));
    game::setFixedSeedForTesting(std::nullopt);
}

class WordTableTest : public GameStoreTest {};

TEST_F(WordTableTest, PlayScreenCaptionsAreInTheTable) {
    reloadWordTable();
    EXPECT_EQ(lookupWord("guanqia"), "关卡");
    for (const char* key : {"mubiao", "fen", "lianji", "shengyu", "ge", "jiangli"})
        EXPECT_FALSE(lookupWord(key).empty()) << key;
    EXPECT_EQ(lookupWord("no-such-key"), "");
}

}  // namespace
