#include "kite/foundation/PropertyList.h"

#include "kite/foundation/DecimalCommaLocale.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace kite {
namespace {

Value parse(const std::string& text, bool* ok = nullptr) {
    Value root;
    bool parsed = PropertyList::parse(text.data(), text.size(), root, "test");
    if (ok) *ok = parsed;
    return root;
}

std::string plist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" + body + "</plist>";
}

TEST(PropertyList, ANestedDictionaryAndArrayRoundTrip) {
    ValueMap inner;
    inner["x"] = Value(3);
    inner["name"] = Value("a <b> & \"c\" 'd'");
    ValueVector list;
    list.push_back(Value(1));
    list.push_back(Value(std::string("two")));
    list.push_back(Value(inner));
    list.push_back(Value(ValueVector()));
    ValueMap root;
    root["list"] = Value(list);
    root["inner"] = Value(inner);
    root["yes"] = Value(true);
    root["no"] = Value(false);
    root["ratio"] = Value(0.1);
    root["negative"] = Value(-2147483647 - 1);
    root["unicode"] = Value("星星 \xF0\x9F\x8C\x9F");
    root["spaces"] = Value("  leading and trailing  \n\tlines\r\nCRLF");
    root["control"] = Value(std::string("a\x01z"));
    root["empty"] = Value("");
    root["emptyMap"] = Value(ValueMap());
    root[""] = Value("empty key");

    std::string text = PropertyList::serialize(root);
    bool ok = false;
    Value back = parse(text, &ok);
    ASSERT_TRUE(ok) << text;
    EXPECT_EQ(back, Value(root)) << text;
}

TEST(PropertyList, BooleansStayBooleansAndNumbersKeepTheirKinds) {
    Value v =
        parse(plist("<dict><key>b</key><true/><key>i</key><integer>1</integer>"
                    "<key>r</key><real>1.5</real><key>f</key><false/></dict>"));
    const ValueMap& m = v.asValueMap();
    EXPECT_EQ(m.at("b").getType(), Value::Type::BOOLEAN);
    EXPECT_TRUE(m.at("b").asBool());
    EXPECT_EQ(m.at("f").getType(), Value::Type::BOOLEAN);
    EXPECT_EQ(m.at("i").getType(), Value::Type::INTEGER);
    EXPECT_EQ(m.at("i").asInt(), 1);
    EXPECT_EQ(m.at("r").getType(), Value::Type::DOUBLE);
    EXPECT_EQ(m.at("r").asDouble(), 1.5);
}

TEST(PropertyList, AFloatIsWrittenAsARealAndReadBackAsADouble) {
    ValueMap m;
    m["f"] = Value(0.25f);
    Value back = parse(PropertyList::serialize(m));
    EXPECT_EQ(back.asValueMap().at("f"), Value(0.25));
}

TEST(PropertyList, RealsAreWrittenAndReadWithAPointWhateverTheProcessLocale) {
    testing::DecimalCommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma available";
    ValueMap m;
    m["ratio"] = Value(1.5);
    m["scale"] = Value(0.25f);
    const std::string text = PropertyList::serialize(m);
    EXPECT_NE(text.find("<real>1.5</real>"), std::string::npos) << text;
    bool ok = false;
    Value back = parse(text, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(back.asValueMap().at("ratio"), Value(1.5));
    EXPECT_EQ(back.asValueMap().at("scale"), Value(0.25));
    EXPECT_EQ(parse(plist("<real>2.75</real>")), Value(2.75));
}

TEST(PropertyList, DatesAndDataAreLeftOut) {
    Value v =
        parse(plist("<dict><key>when</key><date>2014-01-01T00:00:00Z</date>"
                    "<key>blob</key><data>AAEC</data><key>kept</key><string>k</string></dict>"));
    EXPECT_EQ(v.asValueMap().size(), 1u);
    Value a = parse(plist("<array><data>AAEC</data><integer>4</integer></array>"));
    ASSERT_EQ(a.asValueVector().size(), 1u);
    EXPECT_EQ(a.asValueVector()[0], Value(4));
}

TEST(PropertyList, ValuesWithoutAPropertyListFormAreSkippedWhenWriting) {
    ValueMap m;
    m["byte"] = Value(static_cast<unsigned char>(7));
    m["none"] = Value();
    ValueMapIntKey intKeys;
    intKeys[1] = Value(1);
    m["intKeys"] = Value(intKeys);
    m["kept"] = Value(1);
    Value back = parse(PropertyList::serialize(m));
    EXPECT_EQ(back.asValueMap().size(), 1u);
    EXPECT_EQ(back.asValueMap().count("kept"), 1u);
}

TEST(PropertyList, IntegersOutside32BitsAreClamped) {
    Value v = parse(plist("<array><integer>99999999999</integer><integer> -7 </integer></array>"));
    ASSERT_EQ(v.asValueVector().size(), 2u);
    EXPECT_EQ(v.asValueVector()[0].asInt(), 2147483647);
    EXPECT_EQ(v.asValueVector()[1].asInt(), -7);
}

TEST(PropertyList, DamagedDocumentsFailWithALogLine) {
    const char* damaged[] = {
        "",
        "not xml at all",
        "<plist><dict><key>a</key>",
        "<notplist><dict/></notplist>",
        "<plist></plist>",
        "<plist><dict><key>a</key></dict></plist>",
        "<plist><dict><string>a</string><string>b</string></dict></plist>",
        "<plist><dict><key>a</key><integer>12x</integer></dict></plist>",
        "<plist><dict><key>a</key><real>fast</real></dict></plist>",
        "<plist><array><mystery/></array></plist>",
    };
    for (const char* text : damaged) {
        ::testing::internal::CaptureStdout();
        bool ok = true;
        Value v = parse(text, &ok);
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_FALSE(ok) << text;
        EXPECT_TRUE(v.isNull()) << text;
        EXPECT_NE(out.find("PropertyList:"), std::string::npos) << text;
    }
}

TEST(PropertyList, WhiteSpaceOnlyStringsAndKeysReadBackUnchanged) {
    ValueMap root;
    root[""] = Value("empty key");
    root[" "] = Value(" ");
    root["\t"] = Value("\t");
    root["\n"] = Value("\n\n");
    root["mixed"] = Value(" \r\n\t ");
    root["empty"] = Value("");
    const std::string text = PropertyList::serialize(root);
    Value back = parse(text);
    ASSERT_EQ(back.getType(), Value::Type::MAP) << text;
    EXPECT_EQ(back.asValueMap(), root) << text;
}

TEST(PropertyList, NulIsNeverWrittenAsACharacterReference) {
    const std::string text = PropertyList::serialize(ValueMap{{"k", Value(std::string("a\0b", 3))}});
    EXPECT_EQ(text.find("&#x0;"), std::string::npos) << text;
    bool ok = false;
    parse(text, &ok);
    EXPECT_TRUE(ok) << text;
}

TEST(PropertyList, LenientReadingSkipsOnlyTheEntryWithABadNumber) {
    const std::string text = plist(
        "<dict><key>a</key><integer>12a</integer><key>b</key><integer>3</integer>"
        "<key>c</key><array><real>fast</real><real>1.5</real></array></dict>");
    Value root;
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(PropertyList::parse(text.data(), text.size(), root, "test", PropertyList::BadValues::Skip));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("bad integer '12a'"), std::string::npos) << out;
    EXPECT_NE(out.find("bad real 'fast'"), std::string::npos) << out;
    EXPECT_EQ(root, Value(ValueMap{{"b", Value(3)}, {"c", Value(ValueVector{Value(1.5)})}}));
}

TEST(PropertyList, HostileInputNeverFaults) {
    std::string good = PropertyList::serialize(ValueMap{{"a", Value(1)}, {"b", Value(ValueVector{Value("x")})}});
    std::mt19937 rng(11);
    ::testing::internal::CaptureStdout();
    for (size_t cut = 0; cut < good.size(); ++cut) parse(good.substr(0, cut));
    for (int round = 0; round < 300; ++round) {
        std::string noisy = good;
        for (int k = 0; k < 4; ++k) noisy[rng() % noisy.size()] = static_cast<char>(rng());
        parse(noisy);
        std::string random(rng() % 200, '\0');
        for (auto& c : random) c = static_cast<char>(rng());
        parse(random);
    }
    std::string deep = "<plist>";
    for (int i = 0; i < 5000; ++i) deep += "<array>";
    bool ok = true;
    parse(deep + "</plist>", &ok);
    EXPECT_FALSE(ok);
    ::testing::internal::GetCapturedStdout();
}

}  // namespace
}  // namespace kite
