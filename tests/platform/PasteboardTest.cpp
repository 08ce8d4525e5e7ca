#include "platform/Pasteboard.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include "support/TemporaryFolder.h"

using platform::Pasteboard;
using platform::PlistValue;

namespace {

class PasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime_.made());
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
    }
    kite::test::TemporaryFolder runtime_{"stargrid-runtime"};
};

Pasteboard::Data bytesOf(const std::string& text) { return Pasteboard::Data(text.begin(), text.end()); }

}  // namespace

TEST_F(PasteboardTest, ItemsReadBackByTypeAndKind) {
    Pasteboard general = Pasteboard::general();
    EXPECT_FALSE(general.data("content"));

    ASSERT_TRUE(general.setString("text", "星 & stars"));
    EXPECT_EQ(general.string("text"), "星 & stars");
    EXPECT_EQ(general.data("text"), bytesOf("星 & stars"));
    EXPECT_FALSE(general.data("content"));

    const PlistValue list(PlistValue::Dictionary{{"version", PlistValue("1.5")}});
    ASSERT_TRUE(general.setPropertyList("content", list));
    EXPECT_EQ(general.propertyList("content"), list);
    EXPECT_FALSE(general.string("text")) << "a new item replaces the old ones";

    ASSERT_TRUE(general.setData("content", *general.data("content")));
    EXPECT_EQ(general.propertyList("content"), list) << "data holding a property list reads as one";
}

TEST_F(PasteboardTest, NamedPasteboardsAreMadeOnlyWhenAsked) {
    EXPECT_FALSE(Pasteboard::named("pigeon_data", false));
    auto made = Pasteboard::named("pigeon_data", true);
    ASSERT_TRUE(made);
    ASSERT_TRUE(made->setData("content", bytesOf("x")));

    auto again = Pasteboard::named("pigeon_data", false);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->data("content"), bytesOf("x"));
    EXPECT_FALSE(Pasteboard::general().data("content"));

    auto general = Pasteboard::named("general", true);
    ASSERT_TRUE(general);
    general->setData("content", bytesOf("named"));
    EXPECT_FALSE(Pasteboard::general().data("content")) << "a pasteboard named general is not the general one";

    auto odd = Pasteboard::named("../../escape/..", true);
    ASSERT_TRUE(odd);
    EXPECT_TRUE(odd->setData("content", bytesOf("kept inside")));
    EXPECT_FALSE(std::ifstream(runtime_.path() + "/escape"));
}

TEST_F(PasteboardTest, TakingLeavesEmptyDataSoOnlyOneReaderGetsTheItem) {
    Pasteboard general = Pasteboard::general();
    ASSERT_TRUE(general.setData("content", bytesOf("once")));

    std::atomic<int> delivered{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 8; ++i) {
        readers.emplace_back([&delivered] {
            Pasteboard mine = Pasteboard::general();
            auto taken = mine.takeData("content");
            if (taken && !taken->empty()) ++delivered;
        });
    }
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(delivered.load(), 1);
    EXPECT_EQ(general.data("content"), Pasteboard::Data{});
}

TEST_F(PasteboardTest, AnItemTheReaderRefusesStays) {
    Pasteboard general = Pasteboard::general();
    ASSERT_TRUE(general.setData("content", bytesOf("unparsable")));
    auto taken = general.takeData("content", [](const Pasteboard::Data&) { return false; });
    EXPECT_EQ(taken, bytesOf("unparsable"));
    EXPECT_EQ(general.data("content"), bytesOf("unparsable"));
}

TEST_F(PasteboardTest, ADamagedFileReadsAsEmptyAndIsReplacedByTheNextWrite) {
    Pasteboard general = Pasteboard::general();
    const std::string file = Pasteboard::folder() + "/general";
    const std::string damaged[] = {
        "garbage",
        "<plist><array/></plist>",
        "<plist><dict><key>content</key><string>not wrapped</string></dict></plist>",
        "<plist><dict><key>content</key><dict><key>strange</key><true/></dict></dict></plist>",
        "<plist><dict><key>content</key><dict><key>data</key><string>x</string></dict></dict></plist>",
    };
    for (const std::string& text : damaged) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        EXPECT_FALSE(general.data("content")) << text;
        EXPECT_FALSE(general.takeData("content")) << text;
    }
    ASSERT_TRUE(general.setData("content", bytesOf("fresh")));
    EXPECT_EQ(general.data("content"), bytesOf("fresh"));
}
