#include "platform/PlistBinary.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "platform/PlistXml.h"
#include "support/BinaryPlistBuilder.h"

using kite::test::BinaryPlistBuilder;
using platform::PlistValue;

namespace {

BinaryPlistBuilder::Bytes sampleBinary() {
    BinaryPlistBuilder plist;
    const std::size_t keys[] = {plist.ascii("command"),    plist.ascii("title"), plist.ascii("thumbData"),
                                plist.ascii("n"),          plist.ascii("ok"),    plist.ascii("list"),
                                plist.ascii("description")};
    const std::size_t command = plist.ascii("1010");
    const std::size_t values[] = {command,
                                  plist.utf16(u"星星 \U0001F31F"),
                                  plist.data({1, 2, 3}),
                                  plist.integer(-5),
                                  plist.boolean(true),
                                  plist.array({command, plist.boolean(false)}),
                                  plist.ascii("twenty characters...")};
    const std::size_t top = plist.dictionary(std::vector<std::size_t>(std::begin(keys), std::end(keys)),
                                             std::vector<std::size_t>(std::begin(values), std::end(values)));
    return plist.build(top);
}

std::optional<PlistValue> decoded(const BinaryPlistBuilder::Bytes& bytes) {
    return platform::decodePlist(bytes.data(), bytes.size());
}

}  // namespace

TEST(PlistBinary, ReadsWhatAnotherProgramWrote) {
    const auto value = decoded(sampleBinary());
    ASSERT_TRUE(value);
    const PlistValue expected(PlistValue::Dictionary{
        {"command", PlistValue("1010")},
        {"title", PlistValue("星星 \xF0\x9F\x8C\x9F")},
        {"thumbData", PlistValue(PlistValue::Data{1, 2, 3})},
        {"n", PlistValue::integer(-5)},
        {"ok", PlistValue::boolean(true)},
        {"list", PlistValue(PlistValue::Array{PlistValue("1010"), PlistValue::boolean(false)})},
        {"description", PlistValue("twenty characters...")},
    });
    EXPECT_EQ(*value, expected);
}

TEST(PlistBinary, DamagedStructuresAreRefused) {
    BinaryPlistBuilder cycle;
    cycle.array({0});
    EXPECT_FALSE(decoded(cycle.build(0))) << "an array holding itself";

    BinaryPlistBuilder outside;
    outside.array({7});
    EXPECT_FALSE(decoded(outside.build(0))) << "a reference past the last object";

    BinaryPlistBuilder hugeCount;
    hugeCount.raw({0x4f, 0x13, 0x7f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff});
    EXPECT_FALSE(decoded(hugeCount.build(0))) << "data longer than the file";

    BinaryPlistBuilder loneSurrogate;
    loneSurrogate.raw({0x61, 0xd8, 0x00});
    EXPECT_FALSE(decoded(loneSurrogate.build(0)));

    BinaryPlistBuilder numberKey;
    const std::size_t key = numberKey.integer(1);
    numberKey.dictionary({key}, {key});
    EXPECT_FALSE(decoded(numberKey.build(2)));

    BinaryPlistBuilder unsupported;
    unsupported.raw({0x00});
    EXPECT_FALSE(decoded(unsupported.build(0))) << "null has no place in our values";

    BinaryPlistBuilder::Bytes bytes = sampleBinary();
    bytes.back() = 0xff;
    EXPECT_FALSE(decoded(bytes)) << "offset table past the end";
    const BinaryPlistBuilder::Bytes whole = sampleBinary();
    EXPECT_FALSE(decoded(BinaryPlistBuilder::Bytes(whole.begin(), whole.begin() + 20))) << "cut short";
}

TEST(PlistBinary, RandomDamageNeverFaultsTheReader) {
    const BinaryPlistBuilder::Bytes valid = sampleBinary();
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        BinaryPlistBuilder::Bytes damaged = valid;
        for (int change = 0, changes = 1 + int(random() % 4); change < changes; ++change) {
            damaged[8 + random() % (damaged.size() - 8)] = std::uint8_t(random());
        }
        platform::decodePlist(damaged.data(), damaged.size());
    }
}

namespace {

PlistValue everyKind() {
    PlistValue::Array integers;
    for (std::int64_t n : {std::int64_t(0), std::int64_t(-1), std::int64_t(255), std::int64_t(256), std::int64_t(65535),
                           std::int64_t(65536), std::int64_t(4294967295), std::int64_t(4294967296),
                           std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()}) {
        integers.push_back(PlistValue::integer(n));
    }
    PlistValue::Dictionary many;
    for (int i = 0; i < 300; ++i) many["key " + std::to_string(i)] = PlistValue::integer(i);
    return PlistValue(PlistValue::Dictionary{
        {"ascii", PlistValue("fifteen chars..")},
        {"wide", PlistValue("星星 \xF0\x9F\x8C\x9F and more than fifteen units")},
        {"nul", PlistValue(std::string("a\0x", 3))},
        {"returns", PlistValue("one\rtwo\r\nthree\n\t end ")},
        {"integers", PlistValue(integers)},
        {"real", PlistValue::real(-0.1)},
        {"date", PlistValue::date(-31622400.5)},
        {"truths", PlistValue(PlistValue::Array{PlistValue::boolean(true), PlistValue::boolean(false)})},
        {"bytes", PlistValue(PlistValue::Data(70000, 0xab))},
        {"empty", PlistValue(PlistValue::Dictionary{{"", PlistValue(PlistValue::Array{})}})},
        {"many", PlistValue(many)},
    });
}

std::optional<PlistValue> roundTrip(const PlistValue& value) {
    const auto bytes = platform::encodePlistBinary(value);
    if (!bytes) return std::nullopt;
    return platform::decodePlistBinary(bytes->data(), bytes->size());
}

}  // namespace

TEST(PlistBinary, EveryKindOfValueReadsBackEqual) {
    const auto bytes = platform::encodePlistBinary(everyKind());
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->begin() + 8), "bplist00");
    std::string error;
    const auto decoded = platform::decodePlistBinary(bytes->data(), bytes->size(), &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(*decoded, everyKind());
    EXPECT_EQ(roundTrip(PlistValue("top-level text")), PlistValue("top-level text"));
}

TEST(PlistBinary, KeysAndTextsWithNulAndCarriageReturnsSurviveBothForms) {
    // Two keys that differ only after a NUL, as another program may write them.
    BinaryPlistBuilder plist;
    const std::size_t first = plist.ascii(std::string("a\0x", 3));
    const std::size_t second = plist.ascii(std::string("a\0y", 3));
    const std::size_t text = plist.utf16(u"line\rbreak\r\n星");
    const std::size_t top = plist.dictionary({first, second}, {text, plist.integer(2)});
    const auto bytes = plist.build(top);
    const auto read = platform::decodePlist(bytes.data(), bytes.size());
    ASSERT_TRUE(read);
    ASSERT_EQ(read->asDictionary()->size(), 2u);
    EXPECT_EQ(*read->asDictionary()->at(std::string("a\0x", 3)).asString(), "line\rbreak\r\n星");

    EXPECT_EQ(roundTrip(*read), *read);
    const auto fromXml = platform::decodePlistXml(platform::encodePlistXml(*read));
    ASSERT_TRUE(fromXml);
    EXPECT_EQ(*fromXml, *read);
}

TEST(PlistBinary, ARepeatedKeyIsRefusedRatherThanOneEntryLost) {
    BinaryPlistBuilder plist;
    const std::size_t key = plist.ascii("same");
    const std::size_t again = plist.ascii("same");
    const std::size_t top = plist.dictionary({key, again}, {plist.integer(1), plist.integer(2)});
    const auto bytes = plist.build(top);
    std::string error;
    EXPECT_FALSE(platform::decodePlist(bytes.data(), bytes.size(), &error));
    EXPECT_EQ(error, "a repeated key");
}

TEST(PlistBinary, TextThatIsNotUtf8IsNotWritten) {
    std::string error;
    EXPECT_FALSE(platform::encodePlistBinary(PlistValue(PlistValue::Array{PlistValue("ok \xff")}), &error));
    EXPECT_EQ(error, "a string that is not UTF-8");
    EXPECT_FALSE(platform::encodePlistBinary(PlistValue("\xed\xa0\x80")));  // a surrogate written as UTF-8
}

TEST(PlistBinary, AFourByteRealReadsAsSinglePrecisionAndIsWrittenBackInFourBytes) {
    BinaryPlistBuilder plist;
    const BinaryPlistBuilder::Bytes bytes = plist.build(plist.array({plist.real32(0.5f), plist.real64(1.5)}));
    const auto value = decoded(bytes);
    ASSERT_TRUE(value && value->asArray());
    const PlistValue::Array& items = *value->asArray();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(items[0].isSingleReal());
    EXPECT_EQ(*items[0].asReal(), 0.5);
    EXPECT_FALSE(items[1].isSingleReal());
    EXPECT_EQ(*items[1].asReal(), 1.5);
    const auto written = platform::encodePlistBinary(*value);
    ASSERT_TRUE(written);
    const auto back = decoded(*written);
    ASSERT_TRUE(back && back->asArray());
    EXPECT_TRUE((*back->asArray())[0].isSingleReal());
    EXPECT_FALSE((*back->asArray())[1].isSingleReal());
}

namespace {

bool refusedForItsText(const std::string& error) {
    return error.rfind("decodes to more than ", 0) == 0 && error.find(" bytes of text and data") != std::string::npos;
}

}  // namespace

TEST(PlistBinary, SharedObjectsThatDecodeFarPastTheListAreRefused) {
    // Under 4 KB of bytes, 62,500 copies of 3,300 bytes of data once followed.
    BinaryPlistBuilder plist;
    const BinaryPlistBuilder::Bytes bytes = plist.build(kite::test::addSharedFanOut(plist, 3300, 250));
    ASSERT_LT(bytes.size(), 4096u);
    std::string error;
    EXPECT_FALSE(platform::decodePlist(bytes.data(), bytes.size(), &error));
    EXPECT_TRUE(refusedForItsText(error)) << error;
}

TEST(PlistBinary, SharedObjectsAreCountedAgainstSmallLimitsToo) {
    // 421 values holding 800,000 bytes of data: however many values resource
    // lists may have, they leave text and data no more room.
    BinaryPlistBuilder plist;
    const BinaryPlistBuilder::Bytes bytes = plist.build(kite::test::addSharedFanOut(plist, 2000, 20));
    platform::PlistLimits small;
    small.maxBytes = 4096;
    small.maxValues = std::size_t(1) << 20;
    std::string error;
    EXPECT_FALSE(platform::decodePlistBinary(bytes.data(), bytes.size(), &error, small));
    EXPECT_TRUE(refusedForItsText(error)) << error;
}

TEST(PlistBinary, KeysCostTheirTextButAreNotValuesAsInTheTextForm) {
    const std::string first(100, 'k'), second(100, 'l');
    const PlistValue value(PlistValue::Dictionary{{first, PlistValue::integer(1)}, {second, PlistValue("")}});
    BinaryPlistBuilder plist;
    const BinaryPlistBuilder::Bytes bytes =
        plist.build(plist.dictionary({plist.ascii(first), plist.ascii(second)}, {plist.integer(1), plist.ascii("")}));
    platform::PlistLimits threeValues;  // the dictionary and its two values
    threeValues.maxValues = 3;
    std::string error;
    const auto read = platform::decodePlistBinary(bytes.data(), bytes.size(), &error, threeValues);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(*read, value);
    EXPECT_TRUE(platform::decodePlistXml(platform::encodePlistXml(value), nullptr, threeValues));

    platform::PlistLimits keysText = threeValues;
    keysText.maxBytes = 200;
    EXPECT_TRUE(platform::decodePlistBinary(bytes.data(), bytes.size(), &error, keysText)) << error;
    --keysText.maxBytes;
    EXPECT_FALSE(platform::decodePlistBinary(bytes.data(), bytes.size(), &error, keysText));
    EXPECT_TRUE(refusedForItsText(error)) << error;
}

TEST(PlistBinary, AValueItsReaderWouldRefuseIsNotWritten) {
    std::string error;
    PlistValue::Array numbers(65536, PlistValue::integer(7));
    EXPECT_FALSE(platform::encodePlistBinary(PlistValue(numbers), &error)) << "the array is one value more";
    EXPECT_EQ(error, "more values than allowed");
    numbers.pop_back();
    EXPECT_TRUE(platform::encodePlistBinary(PlistValue(numbers), &error)) << error;

    platform::PlistLimits small;
    small.maxBytes = 64;
    small.maxDepth = 2;
    // One text used three times is written once, and read three times.
    const PlistValue shared(PlistValue::Array{PlistValue(std::string(22, 's')), PlistValue(std::string(22, 's'))});
    EXPECT_FALSE(platform::encodePlistBinary(PlistValue(PlistValue::Array{shared, PlistValue(std::string(22, 's'))}),
                                             &error, small));
    EXPECT_TRUE(refusedForItsText(error)) << error;
    EXPECT_FALSE(platform::encodePlistBinary(
        PlistValue(PlistValue::Array{shared, PlistValue(PlistValue::Array{shared})}), &error, small));
    EXPECT_EQ(error, "nested deeper than allowed");
    // Little text, but more bytes of references and offsets than a reader takes.
    EXPECT_FALSE(
        platform::encodePlistBinary(PlistValue(PlistValue::Array(60, PlistValue::boolean(true))), &error, small));
    EXPECT_EQ(error, "larger than allowed");

    const PlistValue atTheLimits(PlistValue::Array{shared, PlistValue(std::string(20, 's'))});
    const auto bytes = platform::encodePlistBinary(atTheLimits, &error, small);
    ASSERT_TRUE(bytes) << error;
    const auto read = platform::decodePlistBinary(bytes->data(), bytes->size(), &error, small);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(*read, atTheLimits);
}

TEST(PlistBinary, AnObjectReferencedTwiceReadsAsTwoEqualValues) {
    BinaryPlistBuilder plist;
    const std::size_t title = plist.utf16(u"星 shared");
    const std::size_t point =
        plist.dictionary({plist.ascii("x"), plist.ascii("y")}, {plist.integer(1), plist.integer(2)});
    const std::size_t top = plist.dictionary({plist.ascii("title"), plist.ascii("again"), plist.ascii("points")},
                                             {title, title, plist.array({point, point})});
    const BinaryPlistBuilder::Bytes bytes = plist.build(top);
    std::string error;
    const auto value = platform::decodePlist(bytes.data(), bytes.size(), &error);
    ASSERT_TRUE(value) << error;
    const PlistValue pointValue(PlistValue::Dictionary{{"x", PlistValue::integer(1)}, {"y", PlistValue::integer(2)}});
    EXPECT_EQ(*value, PlistValue(PlistValue::Dictionary{
                          {"title", PlistValue("星 shared")},
                          {"again", PlistValue("星 shared")},
                          {"points", PlistValue(PlistValue::Array{pointValue, pointValue})},
                      }));
}

TEST(PlistBinary, AListWithoutSharedObjectsAtTheLimitsDecodes) {
    // UTF-16 text grows by half as UTF-8: counted as the UTF-8 it becomes.
    BinaryPlistBuilder plist;
    std::vector<std::size_t> items;
    std::size_t held = 0;
    for (int i = 0; i < 80; ++i) {
        items.push_back(plist.utf16(std::u16string(400, u'星')));
        items.push_back(plist.utf16(std::u16string(400, u'光')));
        held += 2 * 400 * 3;
        if (i % 2) items.push_back(plist.data(BinaryPlistBuilder::Bytes(300, std::uint8_t(i))));
        if (i % 2 == 0) items.push_back(plist.utf16(u"\U0001F31F" + std::u16string(100, u'é')));
        held += i % 2 ? 300 : 4 + 100 * 2;
    }
    const BinaryPlistBuilder::Bytes bytes = plist.build(plist.array(items), 4);
    platform::PlistLimits exact;
    exact.maxBytes = held;
    exact.maxValues = items.size() + 1;
    std::string error;
    const auto value = platform::decodePlistBinary(bytes.data(), bytes.size(), &error, exact);
    ASSERT_TRUE(value) << error;
    ASSERT_TRUE(value->asArray());
    ASSERT_EQ(value->asArray()->size(), items.size());
    std::string stars;
    for (int i = 0; i < 400; ++i) stars += "星";
    EXPECT_EQ(*(*value->asArray())[0].asString(), stars);

    platform::PlistLimits lessText = exact;
    --lessText.maxBytes;
    EXPECT_FALSE(platform::decodePlistBinary(bytes.data(), bytes.size(), &error, lessText));
    EXPECT_TRUE(refusedForItsText(error)) << error;
    platform::PlistLimits fewerValues = exact;
    --fewerValues.maxValues;
    EXPECT_FALSE(platform::decodePlistBinary(bytes.data(), bytes.size(), &error, fewerValues));
    EXPECT_EQ(error, "more values than allowed");
}
