#include "platform/PlistXml.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/Base64.h"

using platform::PlistValue;

namespace {

PlistValue sample() {
    PlistValue::Dictionary entry{
        {"title", PlistValue("星星 & <stars> \"quoted\"  two spaces")},
        {"count", PlistValue::integer(-9007199254740993)},
        {"ratio", PlistValue::real(0.1)},
        {"on", PlistValue::boolean(true)},
        {"off", PlistValue::boolean(false)},
        {"bytes", PlistValue(PlistValue::Data{0, 1, 2, 0xfe, 0xff})},
        {"none", PlistValue(PlistValue::Data{})},
        {"", PlistValue("")},
    };
    return PlistValue(PlistValue::Dictionary{
        {"entry", PlistValue(entry)},
        {"list",
         PlistValue(PlistValue::Array{PlistValue("a"), PlistValue::integer(7), PlistValue(PlistValue::Array{})})},
    });
}

std::string wrapped(const std::string& inner) {
    return "<?xml version=\"1.0\"?><plist version=\"1.0\">" + inner + "</plist>";
}

}  // namespace

TEST(PlistXml, EveryKindOfValueReadsBackEqual) {
    const std::string xml = platform::encodePlistXml(sample());
    std::string error;
    const auto decoded = platform::decodePlistXml(xml, &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(*decoded, sample());
    EXPECT_NE(xml.find("<string>星星 &amp; &lt;stars&gt;"), std::string::npos);
}

TEST(PlistXml, ReadsWhatOtherWritersIndentAndPad) {
    const auto decoded = platform::decodePlistXml(
        wrapped("\n  <dict>\n    <key>k</key>\n    <data>\n      AAEC\n      /w==\n    </data>\n"
                "    <key>n</key> <integer>42</integer>\n  </dict>\n"));
    ASSERT_TRUE(decoded);
    const PlistValue::Dictionary& entries = *decoded->asDictionary();
    EXPECT_EQ(*entries.at("k").asData(), (PlistValue::Data{0, 1, 2, 0xff}));
    EXPECT_EQ(*entries.at("n").asInteger(), 42);
}

TEST(PlistXml, DamagedTextIsRefusedWithAReason) {
    const std::string damaged[] = {
        "",
        "not xml at all",
        "<plist><dict><key>a</key></dict></plist>",
        "<plist><dict><string>no key</string></dict></plist>",
        "<plist><integer>12x</integer></plist>",
        "<plist><integer>99999999999999999999</integer></plist>",
        "<plist><real>1,5</real></plist>",
        "<plist><data>not*base64</data></plist>",
        "<plist><date>yesterday</date></plist>",
        "<plist><string>a</string><string>b</string></plist>",
        "<plist></plist>",
        "<dict></dict>",
        "<plist><dict><key>a</key><string>unterminated",
        // Texts that are not UTF-8, which no writer of either form could give back.
        "<plist><string>l\xffist</string></plist>",
        "<plist><dict><key>\xc3</key><true/></dict></plist>",
        "<plist><string><![CDATA[\xed\xa0\x80]]></string></plist>",
    };
    for (const std::string& text : damaged) {
        std::string error;
        EXPECT_FALSE(platform::decodePlistXml(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(PlistXml, NestingAndSizeAreCapped) {
    std::string deep;
    for (int i = 0; i < 40; ++i) deep += "<array>";
    for (int i = 0; i < 40; ++i) deep += "</array>";
    EXPECT_FALSE(platform::decodePlistXml(wrapped(deep)));

    platform::PlistLimits small;
    small.maxValues = 3;
    EXPECT_FALSE(platform::decodePlistXml(wrapped("<array><true/><true/><true/></array>"), nullptr, small));
    small.maxBytes = 10;
    EXPECT_FALSE(platform::decodePlistXml(wrapped("<true/>"), nullptr, small));
}

TEST(Base64, EncodesAndDecodesStrictly) {
    const std::uint8_t bytes[] = {'M', 'a', 'n', 'y'};
    EXPECT_EQ(platform::base64Encode(bytes, 4), "TWFueQ==");
    EXPECT_EQ(platform::base64Encode(bytes, 3), "TWFu");
    EXPECT_EQ(platform::base64Decode("TWFueQ=="), (std::vector<std::uint8_t>{'M', 'a', 'n', 'y'}));
    EXPECT_EQ(platform::base64Decode("TWFueQ"), (std::vector<std::uint8_t>{'M', 'a', 'n', 'y'}));
    EXPECT_EQ(platform::base64Decode("TWE"), (std::vector<std::uint8_t>{'M', 'a'}));
    EXPECT_EQ(platform::base64Decode("TW\nFu"), (std::vector<std::uint8_t>{'M', 'a', 'n'}));
    EXPECT_EQ(platform::base64Decode(""), std::vector<std::uint8_t>{});
    EXPECT_FALSE(platform::base64Decode("TWF!"));
    EXPECT_FALSE(platform::base64Decode("T"));
    EXPECT_FALSE(platform::base64Decode("TWFu="));
    EXPECT_FALSE(platform::base64Decode("TQ==TWFu"));
    EXPECT_FALSE(platform::base64Decode("===="));
}

TEST(PlistXml, EveryCharacterOfATextComesBack) {
    const PlistValue texts(PlistValue::Dictionary{
        {std::string("key\0with nul", 12), PlistValue(std::string("a\0x", 3))},
        {"returns", PlistValue("one\rtwo\r\nthree")},
        {"controls", PlistValue("\x01\x02\x1b\x7f tab\t")},
        {"spaces", PlistValue("  ")},
        {"breaks", PlistValue("\n\n")},
        {"markup", PlistValue("]]> &amp; <!-- -->")},
    });
    const std::string xml = platform::encodePlistXml(texts);
    EXPECT_NE(xml.find("one&#13;two&#13;\nthree"), std::string::npos) << xml;
    std::string error;
    const auto decoded = platform::decodePlistXml(xml, &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(*decoded, texts);
}

TEST(PlistXml, DatesAreWholeSecondsInUniversalTime) {
    const auto decoded =
        platform::decodePlistXml(wrapped("<array><date>2001-01-01T00:00:00Z</date><date>1970-01-01T00:00:00Z</date>"
                                         "<date>2024-02-29T23:59:59Z</date></array>"));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded->asArray()->at(0).asDate(), 0.0);
    EXPECT_EQ(*decoded->asArray()->at(1).asDate(), -PlistValue::kSecondsFrom1970To2001);
    EXPECT_EQ(*decoded->asArray()->at(2).asDate(), 1709251199.0 - PlistValue::kSecondsFrom1970To2001);
    EXPECT_NE(platform::encodePlistXml(*decoded).find("<date>2024-02-29T23:59:59Z</date>"), std::string::npos);
}

// A reason quotes what the file holds with its control characters escaped, as a message may show it.
TEST(PlistXml, AReasonQuotesTheFilesTextWithItsControlCharactersEscaped) {
    for (const auto& [inner, reason] : std::vector<std::pair<std::string, std::string>>{
             {"<integer>1\033[2J</integer>", "bad integer \"1\\x1b[2J\""},
             {"<real>1\n\a</real>", "bad real \"1\\x0a\\x07\""},
             {"<date>\033[2Jnow</date>", "bad date \"\\x1b[2Jnow\""},
             {"<a\xc2\x9b/>", "unknown element <a\\xc2\\x9b>"}}) {
        std::string error;
        EXPECT_FALSE(platform::decodePlistXml(wrapped(inner), &error)) << inner;
        EXPECT_EQ(error, reason);
    }
}

TEST(PlistXml, TextsAssembleFromEveryPieceAndRefuseUnknownEntities) {
    const auto decoded = platform::decodePlistXml(
        wrapped("<array><string>a<!-- note -->b<![CDATA[<&>]]>&#x41;&#66;&quot;</string></array>"));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded->asArray()->at(0).asString(), "ab<&>AB\"");
    for (const char* damaged : {"<string>&nbsp;</string>", "<string>&#xD800;</string>", "<string>a & b</string>",
                                "<string><b>bold</b></string>", "<dict><key>k</key><true/><key>k</key><false/></dict>",
                                "<date>2026-13-01T00:00:00Z</date>", "<date>2026-01-01 00:00:00</date>"}) {
        std::string error;
        EXPECT_FALSE(platform::decodePlistXml(wrapped(damaged), &error)) << damaged;
        EXPECT_FALSE(error.empty()) << damaged;
    }
}
