#include "platform/PrintableText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::printableText;

TEST(PrintableText, ControlCharactersShowAsHexEscapes) {
    EXPECT_EQ(printableText("junk\033[2J"), "junk\\x1b[2J");
    EXPECT_EQ(printableText("two\nlines\r\t"), "two\\x0alines\\x0d\\x09");
    EXPECT_EQ(printableText(std::string("nul\0end", 7)), "nul\\x00end");
    EXPECT_EQ(printableText("del\x7f"), "del\\x7f");
}

TEST(PrintableText, C1ControlsAndBytesThatAreNotUtf8AreEscaped) {
    EXPECT_EQ(printableText("csi\xc2\x9b" "2J"), "csi\\xc2\\x9b2J");  // U+009B, the one-character CSI
    EXPECT_EQ(printableText("lone\x9b"), "lone\\x9b");
    EXPECT_EQ(printableText("latin1 caf\xe9"), "latin1 caf\\xe9");
    EXPECT_EQ(printableText("overlong \xc0\xaf"), "overlong \\xc0\\xaf");
    EXPECT_EQ(printableText("surrogate \xed\xa0\x80"), "surrogate \\xed\\xa0\\x80");
    EXPECT_EQ(printableText("cut \xe4\xbb"), "cut \\xe4\\xbb");
}

TEST(PrintableText, PrintableTextAndUtf8StayAsTheyAre) {
    EXPECT_EQ(printableText("pg5e18c0a7d94b2f63://open?a=1 b"), "pg5e18c0a7d94b2f63://open?a=1 b");
    EXPECT_EQ(printableText("付款结果未保存，重启后告知!"), "付款结果未保存，重启后告知!");
    EXPECT_EQ(printableText("é \xc2\xa0 \xf0\x9f\x98\x80"), "é \xc2\xa0 \xf0\x9f\x98\x80");
    EXPECT_EQ(printableText(""), "");
}

}  // namespace
