#include "platform/JsonReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string nested(int depth, const char* inner = "") {
    return std::string(depth, '[') + inner + std::string(depth, ']');
}

TEST(JsonReader, ReadsOneValueWithWhiteSpaceAround) {
    std::optional<Json::Value> value = platform::readJson(" {\"code\":\"0000\",\"list\":[1,2.5,\"x\",null]}\n");
    ASSERT_TRUE(value);
    EXPECT_EQ((*value)["code"].asString(), "0000");
    EXPECT_EQ((*value)["list"].size(), 4u);
    EXPECT_TRUE(platform::readJson("\"text\""));
    EXPECT_TRUE(platform::readJson("12"));
}

TEST(JsonReader, NestingIsBoundedWithoutThrowing) {
    std::string error;
    EXPECT_TRUE(platform::readJson(nested(64), &error)) << error;
    EXPECT_FALSE(platform::readJson(nested(65), &error));
    EXPECT_EQ(error, "nested deeper than 64 levels");
    // What aborted the game: far past the library's own limit, in arrays and objects.
    EXPECT_FALSE(platform::readJson("{\"code\":\"0000\",\"bodymessage\":" + nested(1100) + "}", &error));
    EXPECT_EQ(error, "nested deeper than 64 levels");
    std::string objects;
    for (int i = 0; i < 5000; ++i) objects += "{\"a\":";
    EXPECT_FALSE(platform::readJson(objects + "1" + std::string(5000, '}'), &error));
    EXPECT_FALSE(platform::readJson(std::string(200000, '['), &error));  // unclosed too
    // Brackets inside texts are no nesting.
    EXPECT_TRUE(platform::readJson("[\"" + std::string(5000, '[') + "\\\"\"]"));
    platform::JsonLimits shallow;
    shallow.maxDepth = 3;  // the number inside counts as a level
    EXPECT_TRUE(platform::readJson("[[1]]", nullptr, shallow));
    EXPECT_TRUE(platform::readJson("{\"a\":{\"b\":1}}", nullptr, shallow));
    EXPECT_FALSE(platform::readJson("[[[1]]]", nullptr, shallow));
    EXPECT_FALSE(platform::readJson("[[{\"a\":1}]]", nullptr, shallow));
}

TEST(JsonReader, TextsLongerThanTheLimitAreRefusedUnread) {
    platform::JsonLimits small;
    small.maxBytes = 8;
    std::string error;
    EXPECT_TRUE(platform::readJson("[1,2,3] ", &error, small));
    EXPECT_FALSE(platform::readJson("[1,2,3]  ", &error, small));
    EXPECT_EQ(error, "longer than 8 bytes");
    EXPECT_FALSE(platform::readJson("[\"" + std::string(1 << 20, 'a') + "\"]", &error));
    EXPECT_EQ(error, "longer than 1048576 bytes");
}

TEST(JsonReader, AnythingButOneValueIsRefusedWithAOneLineReason) {
    for (const char* text : {"", "{\"code\":", "{} {}", "[1] x", "// note\n[1]", "{'a':1}", "[1e999]", "[1,]"}) {
        std::string error;
        EXPECT_FALSE(platform::readJson(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_THAT(error, Not(HasSubstr("\n"))) << text;
    }
}

}  // namespace
