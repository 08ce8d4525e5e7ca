#include "platform/PlistBinary.h"

#include <gtest/gtest.h>

#include <random>

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
