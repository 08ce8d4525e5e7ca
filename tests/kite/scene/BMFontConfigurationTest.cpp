// Bitmap-font descriptions: text and binary forms parse alike, the cache parses once, damaged files fail cleanly.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "BitmapFontSupport.h"
#include "SceneDrawSupport.h"
#include "kite/foundation/Log.h"
#include "kite/scene/BMFontConfiguration.h"
#include "kite/scene/FontAtlas.h"
#include "kite/scene/FontFNT.h"
#include "support/LogCapture.h"
#include "support/QuietStdout.h"
#include "support/ScopedLocale.h"

using ::testing::HasSubstr;

namespace kite {
namespace {

using test::kGlyphs;

class BMFontConfigurationTest : public test::SceneDrawTest {
protected:
    void SetUp() override {
        test::SceneDrawTest::SetUp();
        ASSERT_TRUE(folder_.made());
        test::glyphImagePNG(folder_, "cells.png");
    }

    RefPtr<BMFontConfiguration> parse(const std::string& name, const std::string& contents) {
        return RefPtr<BMFontConfiguration>(BMFontConfiguration::create(folder_.put(name, contents)));
    }

    test::TemporaryFolder folder_{"bmfont-test"};
};

void expectSameConfiguration(const BMFontConfiguration& a, const BMFontConfiguration& b) {
    EXPECT_EQ(a.getCommonHeight(), b.getCommonHeight());
    EXPECT_EQ(a.getAtlasName(), b.getAtlasName());
    EXPECT_EQ(*a.getCharacterSet(), *b.getCharacterSet());
    const BMFontPadding& pa = a.getPadding();
    const BMFontPadding& pb = b.getPadding();
    EXPECT_EQ(std::vector<int>({pa.left, pa.top, pa.right, pa.bottom}),
              std::vector<int>({pb.left, pb.top, pb.right, pb.bottom}));
    for (unsigned id : *a.getCharacterSet()) {
        const BMFontDef* da = a.getFontDef(id);
        const BMFontDef* db = b.getFontDef(id);
        ASSERT_TRUE(da && db) << id;
        EXPECT_EQ(da->rect, db->rect) << id;
        EXPECT_EQ(da->xOffset, db->xOffset) << id;
        EXPECT_EQ(da->yOffset, db->yOffset) << id;
        EXPECT_EQ(da->xAdvance, db->xAdvance) << id;
    }
    EXPECT_EQ(a.getKerningAmount('1', '2'), b.getKerningAmount('1', '2'));
}

TEST_F(BMFontConfigurationTest, TextAndBinaryFormsParseToTheSameConfiguration) {
    const std::vector<test::KerningPair> kernings = {{'1', '2', -3}, {'a', 'b', 2}};
    auto text = parse("text.fnt", test::fntText("cells.png", kernings));
    auto binary = parse("binary.fnt", test::fntBinary("cells.png", kernings));
    ASSERT_TRUE(text && binary);
    expectSameConfiguration(*text, *binary);
    EXPECT_EQ(text->getCommonHeight(), test::kLineHeight);
    EXPECT_EQ(text->getAtlasName(), folder_.path() + "/cells.png");
    EXPECT_EQ(text->getCharacterSet()->size(), std::string(kGlyphs).size() + 1);
    EXPECT_EQ(text->getPadding().top, 1);
    EXPECT_EQ(text->getPadding().left, 4);
    EXPECT_EQ(text->getKerningAmount('1', '2'), -3);
    EXPECT_EQ(text->getKerningAmount('2', '1'), 0);
}

TEST_F(BMFontConfigurationTest, ALastLineWithoutALineFeedIsStillRead) {
    std::string contents = test::fntText("cells.png") + "kerning first=49 second=50 amount=-4";
    auto config = parse("nolf.fnt", contents);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->getKerningAmount('1', '2'), -4);
}

TEST_F(BMFontConfigurationTest, OverlongLinesAreCutInsideTheLineBuffer) {
    std::string contents = test::fntText("cells.png");
    contents += "char id=65 x=0 y=0 width=8 height=10 xoffset=0 yoffset=0 " + std::string(600, ' ') + "xadvance=9\n";
    contents += "info face=\"" + std::string(2000, 'x') + "\n";
    auto config = parse("long.fnt", contents);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->getFontDef('A'), nullptr);  // its last key fell past the buffer
    EXPECT_NE(config->getFontDef('0'), nullptr);
}

TEST_F(BMFontConfigurationTest, BinaryKerningBlockOfThirtyBytesHoldsThreePairs) {
    std::string data = test::fntBinary("cells.png", {{'1', '2', -1}, {'2', '3', -2}, {'3', '4', 5}});
    auto config = parse("pairs.fnt", data);
    ASSERT_TRUE(config);
    EXPECT_EQ(config->getKerningAmount('1', '2'), -1);
    EXPECT_EQ(config->getKerningAmount('2', '3'), -2);
    EXPECT_EQ(config->getKerningAmount('3', '4'), 5);
}

TEST_F(BMFontConfigurationTest, ABlockRunningPastTheEndStopsTheParser) {
    std::string data = test::fntBinary("cells.png");
    data += '\x05';
    test::putLE(data, 1000, 4);  // a kerning block that claims more than there is
    data += std::string(10, '\x01');
    auto config = parse("runaway.fnt", data);
    ASSERT_TRUE(config);
    EXPECT_FALSE(config->hasKerning());
}

TEST_F(BMFontConfigurationTest, NumbersThatAreNotFiniteOrLieOutsideAnyTextureAreRefused) {
    std::string contents = test::fntText("cells.png");
    const std::string tail = " xoffset=0 yoffset=0 xadvance=9\n";
    contents += "char id=65 x=0 y=0 width=inf height=10" + tail;
    contents += "char id=66 x=nan y=0 width=8 height=10" + tail;
    contents += "char id=67 x=0 y=0 width=8 height=1e30" + tail;
    contents += "char id=68 x=65530 y=0 width=8 height=10" + tail;  // ends past the largest texture
    contents += "char id=69 x=0 y=0x1p70 width=8 height=10" + tail;
    contents += "char id=70 x=65527 y=0 width=8 height=10" + tail;  // ends on its last pixel
    contents += "kerning first=4294967345 second=50 amount=7\n";  // '1' and 32 bits more
    contents += "info face=\"x\" padding=99999999999,0,0,0\n";
    test::LogCapture log;
    auto config = parse("hostile.fnt", contents);
    ASSERT_TRUE(config);
    for (unsigned id : {65u, 66u, 67u, 68u, 69u}) {
        EXPECT_EQ(config->getFontDef(id), nullptr) << id;
        EXPECT_EQ(config->getCharacterSet()->count(id), 0u) << id;
    }
    EXPECT_NE(config->getFontDef(70), nullptr);
    EXPECT_EQ(config->getKerningAmount('1', '2'), 0);
    EXPECT_EQ(config->getPadding().left, 4);
    EXPECT_THAT(log.text(), HasSubstr("BMFontConfiguration: character 65 has a number that is not finite"));
    EXPECT_THAT(log.text(), HasSubstr("BMFontConfiguration: character 68 lies outside any texture"));
    EXPECT_THAT(log.text(), HasSubstr("BMFontConfiguration: kerning pair out of range skipped"));
    EXPECT_THAT(log.text(), HasSubstr("BMFontConfiguration: padding out of range"));

    std::string binary = "BMF\x03";
    std::string chars;
    test::putChar(chars, 'A', 65530, 8, 10, 0);
    test::putChar(chars, 'B', 0, 8, 10, 0);
    test::putBlock(binary, 4, chars);
    auto fromBinary = parse("hostile-binary.fnt", binary);
    ASSERT_TRUE(fromBinary);
    EXPECT_EQ(fromBinary->getFontDef('A'), nullptr);
    EXPECT_NE(fromBinary->getFontDef('B'), nullptr);
}

TEST_F(BMFontConfigurationTest, DecimalsReadTheSameUnderADecimalCommaLocale) {
    const std::string contents = test::fntText("cells.png") +
                                 "char id=65 x=2.5 y=0 width=8.5 height=10 xoffset=0 yoffset=0 xadvance=9\n";
    test::DecimalComma comma;
    ASSERT_TRUE(comma.active());
    auto config = parse("decimals.fnt", contents);
    ASSERT_TRUE(config);
    ASSERT_NE(config->getFontDef(65), nullptr);
    EXPECT_EQ(config->getFontDef(65)->rect, Rect(2.5f, 0.0f, 8.5f, 10.0f));
}

TEST_F(BMFontConfigurationTest, FilesWithoutCharactersAreRefused) {
    EXPECT_FALSE(parse("empty.fnt", ""));
    EXPECT_FALSE(parse("zero.fnt", std::string(1, '\0') + "char id=48"));
    EXPECT_FALSE(parse("nochars.fnt", "info face=\"x\"\ncommon lineHeight=12\n"));
    EXPECT_FALSE(parse("bmf.fnt", "BMF"));
    EXPECT_EQ(BMFontConfiguration::create(folder_.path() + "/absent.fnt"), nullptr);
}

TEST_F(BMFontConfigurationTest, TheCacheParsesAFileOnce) {
    const std::string path = folder_.put("cached.fnt", test::fntText("cells.png"));
    BMFontConfiguration* first = FNTConfigLoadFile(path);
    ASSERT_NE(first, nullptr);
    folder_.put("cached.fnt", "garbage");
    EXPECT_EQ(FNTConfigLoadFile(path), first);
    FontFNT::purgeCachedData();
    EXPECT_EQ(FNTConfigLoadFile(path), nullptr);
}

TEST_F(BMFontConfigurationTest, AtlasLettersFollowTheDescriptionAndItsImageOffset) {
    std::string contents = test::fntText("cells.png");
    contents += "char id=70000 x=0 y=0 width=8 height=10 xoffset=0 yoffset=0 xadvance=9\n";
    contents += "char id=66 x=200 y=0 width=8 height=10 xoffset=0 yoffset=0 xadvance=9\n";  // past the image
    services_->setContentScale(2.0f);
    FontFNT* font = FontFNT::create(folder_.put("offset.fnt", contents), Vec2(4, 8));
    ASSERT_NE(font, nullptr);
    RefPtr<FontAtlas> atlas(font->createFontAtlas());
    ASSERT_TRUE(atlas);
    atlas->release();
    FontLetterDefinition def;
    ASSERT_TRUE(atlas->getLetterDefinitionForChar(u'1', def));
    EXPECT_EQ(def.U, 8 / 2.0f + 2);
    EXPECT_EQ(def.V, 0 + 4.0f);
    EXPECT_EQ(def.width, 4.0f);
    EXPECT_EQ(def.xAdvance, test::kAdvance);
    // Ids past 16 bits are stored truncated.
    EXPECT_TRUE(atlas->getLetterDefinitionForChar(static_cast<char16_t>(70000 & 0xFFFF), def));
    EXPECT_FALSE(atlas->getLetterDefinitionForChar(u'B', def));
}

TEST_F(BMFontConfigurationTest, AZeroLineHeightYieldsNoAtlas) {
    std::string contents = test::fntText("cells.png");
    contents.replace(contents.find("lineHeight=12"), 13, "lineHeight=0");
    FontFNT* font = FontFNT::create(folder_.put("flat.fnt", contents));
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->createFontAtlas(), nullptr);
}

// Truncations and random byte damage of both forms: each file loads or fails, never faults.
TEST_F(BMFontConfigurationTest, DamagedDescriptionsFailCleanlyOrLoad) {
    const std::vector<test::KerningPair> kernings = {{'1', '2', -3}};
    const std::string originals[] = {test::fntText("cells.png", kernings), test::fntBinary("cells.png", kernings)};
    std::mt19937 random(20261207);
    test::LogCapture log;
    int loaded = 0, failed = 0;
    test::QuietStdout quiet;
    for (const std::string& original : originals) {
        for (std::size_t cut = 0; cut < original.size(); cut += 7) {
            (parse("cut.fnt", original.substr(0, cut)) ? loaded : failed)++;
        }
        for (int round = 0; round < 300; ++round) {
            std::string damaged = original;
            const int hits = 1 + static_cast<int>(random() % 8);
            for (int h = 0; h < hits; ++h) damaged[random() % damaged.size()] = static_cast<char>(random() & 0xFF);
            RefPtr<BMFontConfiguration> config = parse("damaged.fnt", damaged);
            if (!config) {
                ++failed;
                continue;
            }
            ++loaded;
            for (unsigned id : *config->getCharacterSet()) EXPECT_NE(config->getFontDef(id), nullptr);
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(failed, 0);
    EXPECT_FALSE(log.lines().empty());
}

}  // namespace
}  // namespace kite
