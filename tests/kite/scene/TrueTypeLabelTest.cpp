// TrueType fonts and labels: glyphs packed into atlas pages, outlines, distance fields, damaged font files,
// and labels probed by their pixels.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "SceneDrawSupport.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/DistanceMap.h"
#include "kite/scene/FontAtlas.h"
#include "kite/scene/FontAtlasCache.h"
#include "kite/scene/FontFreeType.h"
#include "kite/scene/Label.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"
#include "support/TestFonts.h"

namespace kite {
namespace {

using test::Pixel;

// From fonts-dejavu-core, which scripts/setup installs.
const char* const kFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// A font held for one test and released at its end.
struct HeldFont {
    explicit HeldFont(FontFreeType* f) : font(f) {}
    ~HeldFont() {
        if (font) font->release();
    }
    FontFreeType* font;
};

class TrueTypeFontTest : public test::SceneDrawTest {
protected:
    TTFConfig config(int size, int outline = 0, bool distanceField = false) const {
        return test::ttfConfig(kFontPath, size, outline, distanceField);
    }
};

TEST_F(TrueTypeFontTest, FontsOfOneFileShareItsBytesUntilTheLastGoes) {
    const std::size_t before = FontFreeType::cachedFontDataCount();
    {
        HeldFont small(FontFreeType::create(kFontPath, 20, GlyphCollection::DYNAMIC, nullptr, false, 0));
        HeldFont large(FontFreeType::create(kFontPath, 30, GlyphCollection::DYNAMIC, nullptr, false, 0));
        ASSERT_TRUE(small.font && large.font);
        EXPECT_EQ(FontFreeType::cachedFontDataCount(), before + 1);
        EXPECT_LT(small.font->getFontMaxHeight(), large.font->getFontMaxHeight());
    }
    EXPECT_EQ(FontFreeType::cachedFontDataCount(), before);
}

TEST_F(TrueTypeFontTest, AnOutlineWidensAdvancesAndGivesTwoChannels) {
    HeldFont plain(FontFreeType::create(kFontPath, 20, GlyphCollection::DYNAMIC, nullptr, false, 0));
    HeldFont outlined(FontFreeType::create(kFontPath, 20, GlyphCollection::DYNAMIC, nullptr, false, 2));
    ASSERT_TRUE(plain.font && outlined.font);
    GlyphBitmap a, b;
    ASSERT_TRUE(plain.font->getGlyphBitmap(u'H', a));
    ASSERT_TRUE(outlined.font->getGlyphBitmap(u'H', b));
    EXPECT_EQ(b.xAdvance, a.xAdvance + 4);
    EXPECT_GT(b.width, a.width);
    // Outline in the even bytes all around the glyph, coverage in the odd bytes.
    int outlineOnly = 0, both = 0;
    for (int i = 0; i < b.width * b.height; ++i) {
        if (b.pixels[2 * i] > 200 && b.pixels[2 * i + 1] == 0) ++outlineOnly;
        if (b.pixels[2 * i] > 200 && b.pixels[2 * i + 1] > 200) ++both;
    }
    EXPECT_GT(outlineOnly, 20);
    EXPECT_GT(both, 20);
}

TEST_F(TrueTypeFontTest, AtContentScaleTwoAFontHasTwiceThePixels) {
    HeldFont one(FontFreeType::create(kFontPath, 20, GlyphCollection::DYNAMIC, nullptr, false, 0));
    services_->setContentScale(2.0f);
    HeldFont two(FontFreeType::create(kFontPath, 20, GlyphCollection::DYNAMIC, nullptr, false, 0));
    services_->setContentScale(1.0f);
    ASSERT_TRUE(one.font && two.font);
    EXPECT_NEAR(two.font->getFontMaxHeight(), 2 * one.font->getFontMaxHeight(), 1);
}

TEST_F(TrueTypeFontTest, DamagedOrTruncatedFontFilesFailCleanly) {
    test::TemporaryFolder folder("ttf-test");
    ASSERT_TRUE(folder.made());
    const std::string bytes = test::readWholeFile(kFontPath);
    ASSERT_GT(bytes.size(), 4096u);
    std::string scrambled = bytes;
    for (std::size_t i = 12; i < 1024; ++i) scrambled[i] = static_cast<char>(i * 37);
    const std::string files[] = {folder.put("truncated.ttf", bytes.substr(0, 2048)),
                                 folder.put("scrambled.ttf", scrambled), folder.put("empty.ttf", ""),
                                 folder.put("text.ttf", "not a font at all")};
    for (const std::string& path : files) {
        FontFreeType* font = FontFreeType::create(path, 20, GlyphCollection::DYNAMIC, nullptr, false, 0);
        if (!font) continue;  // refused outright
        // Opened from what is left: every glyph asked for renders or fails, never more.
        GlyphBitmap glyph;
        for (char16_t c : std::u16string(u"Hello, \u6211!")) font->getGlyphBitmap(c, glyph);
        font->release();
    }
    Label* label = Label::createWithTTF(config(20), "x");
    EXPECT_NE(label, nullptr);
    TTFConfig missing = config(20);
    missing.fontFilePath = files[3];
    EXPECT_EQ(Label::createWithTTF(missing, "x"), nullptr);
}

TEST_F(TrueTypeFontTest, AtlasesAreSharedByKeyAndOutlinesMakeTheirOwn) {
    EXPECT_EQ(FontAtlasCache::generateFontName("a.ttf", 24, GlyphCollection::DYNAMIC, false), "a.ttf_DYNAMIC_24");
    const std::size_t before = FontAtlasCache::size();
    FontAtlas* first = FontAtlasCache::getFontAtlasTTF(config(24));
    FontAtlas* second = FontAtlasCache::getFontAtlasTTF(config(24));
    FontAtlas* outlined = FontAtlasCache::getFontAtlasTTF(config(24, 2));
    ASSERT_TRUE(first && outlined);
    EXPECT_EQ(first, second);
    EXPECT_NE(first, outlined);
    EXPECT_EQ(FontAtlasCache::size(), before + 2);
    EXPECT_EQ(outlined->getCommonLineHeight(), first->getCommonLineHeight() + 4);
    EXPECT_EQ(first->getTexture(0)->getPixelFormat(), Texture2D::PixelFormat::A8);
    EXPECT_EQ(outlined->getTexture(0)->getPixelFormat(), Texture2D::PixelFormat::AI88);
    for (FontAtlas* atlas : {first, second, outlined}) FontAtlasCache::releaseFontAtlas(atlas);
    EXPECT_EQ(FontAtlasCache::size(), before);
}

TEST_F(TrueTypeFontTest, ASpaceAdvancesWithoutImageAndFullPagesOpenNewOnes) {
    FontAtlas* atlas = FontAtlasCache::getFontAtlasTTF(config(90));
    ASSERT_NE(atlas, nullptr);
    FontLetterDefinition space;
    ASSERT_TRUE(atlas->prepareLetterDefinitions(u" "));
    ASSERT_TRUE(atlas->getLetterDefinitionForChar(u' ', space));
    EXPECT_TRUE(space.validDefinition);
    EXPECT_EQ(space.width, 0);
    EXPECT_GT(space.xAdvance, 0);

    std::u16string many;
    for (char16_t c = u'A'; c <= u'Z'; ++c) many += c;
    for (char16_t c = u'a'; c <= u'z'; ++c) many += c;
    ASSERT_TRUE(atlas->prepareLetterDefinitions(many));
    ASSERT_NE(atlas->getTexture(1), nullptr);
    // Every letter lies inside its page.
    bool sawPageOneStart = false;
    for (char16_t c : many) {
        FontLetterDefinition def;
        ASSERT_TRUE(atlas->getLetterDefinitionForChar(c, def));
        ASSERT_TRUE(def.validDefinition);
        EXPECT_LE(def.U + def.width, FontAtlas::CacheTextureWidth);
        EXPECT_LE(def.V + def.height, FontAtlas::CacheTextureHeight);
        if (def.textureID == 1 && def.V == 0 && def.U == 0) sawPageOneStart = true;
    }
    EXPECT_TRUE(sawPageOneStart);
    FontAtlasCache::releaseFontAtlas(atlas);
}

TEST_F(TrueTypeFontTest, ADistanceFieldGlyphPastTheRightEdgeOpensARowNotAPage) {
    FontAtlas* atlas = FontAtlasCache::getFontAtlasTTF(config(24, 0, true));
    ASSERT_NE(atlas, nullptr);
    std::u16string glyphs;
    for (char16_t c = u'!'; c <= u'~'; ++c) glyphs += c;
    for (char16_t c = 0x00c0; c <= 0x017f; ++c) glyphs += c;
    ASSERT_TRUE(atlas->prepareLetterDefinitions(glyphs));
    // The lowest glyph bottom on each page, and that every glyph lies inside its page.
    std::vector<float> bottoms;
    for (char16_t c : glyphs) {
        FontLetterDefinition def;
        ASSERT_TRUE(atlas->getLetterDefinitionForChar(c, def));
        if (!def.validDefinition || def.width == 0) continue;
        EXPECT_LE(def.U + def.width, FontAtlas::CacheTextureWidth) << static_cast<int>(c);
        EXPECT_LE(def.V + def.height, FontAtlas::CacheTextureHeight) << static_cast<int>(c);
        if (bottoms.size() <= static_cast<std::size_t>(def.textureID)) bottoms.resize(def.textureID + 1, 0.0f);
        bottoms[def.textureID] = std::max(bottoms[def.textureID], def.V + def.height);
    }
    ASSERT_GE(bottoms.size(), 2u);
    // A page is only left when no further row fits on it.
    const float lineHeight = atlas->getCommonLineHeight();
    for (std::size_t page = 0; page + 1 < bottoms.size(); ++page)
        EXPECT_GT(bottoms[page], FontAtlas::CacheTextureHeight - 2 * lineHeight) << "page " << page;
    FontAtlasCache::releaseFontAtlas(atlas);
}

TEST_F(TrueTypeFontTest, AGlyphLargerThanAPageIsRefusedNotWrittenPastIt) {
    FontAtlas* atlas = FontAtlasCache::getFontAtlasTTF(config(700));
    ASSERT_NE(atlas, nullptr);
    EXPECT_TRUE(atlas->prepareLetterDefinitions(u"W"));
    FontLetterDefinition def;
    atlas->getLetterDefinitionForChar(u'W', def);
    EXPECT_FALSE(def.validDefinition);
    FontAtlasCache::releaseFontAtlas(atlas);
}

// An em of 16 units and a triangle of 1400: at 24 pixels the glyph is 2100 pixels a side, at 2 pixels 175.
TEST_F(TrueTypeFontTest, AGlyphLargerThanAPageIsRefusedByItsBoxBeforeItIsRendered) {
    test::TemporaryFolder folder("ttf-huge");
    ASSERT_TRUE(folder.made());
    const std::string path = folder.put("huge.ttf", test::triangleFont(16, 1400, 1400));
    test::LogCapture log;
    const struct {
        bool distanceField;
        int outline;
    } variants[] = {{false, 0}, {false, 2}, {true, 0}};
    for (const auto& variant : variants) {
        HeldFont huge(
            FontFreeType::create(path, 24, GlyphCollection::DYNAMIC, nullptr, variant.distanceField, variant.outline));
        HeldFont small(
            FontFreeType::create(path, 2, GlyphCollection::DYNAMIC, nullptr, variant.distanceField, variant.outline));
        ASSERT_TRUE(huge.font && small.font);
        GlyphBitmap glyph;
        EXPECT_FALSE(huge.font->getGlyphBitmap(u'A', glyph));
        EXPECT_EQ(glyph.pixels, nullptr);
        EXPECT_EQ(glyph.width, 0);
        ASSERT_TRUE(small.font->getGlyphBitmap(u'A', glyph)) << "the same glyph renders where it fits";
        EXPECT_GE(glyph.width, 175);
    }
    EXPECT_EQ(log.count("FontFreeType: glyph U+0041 of \"" + path + "\" (2100 x 2100 pixels) is larger than a page"),
              2u)
        << log.text();
    EXPECT_EQ(log.count("FontFreeType: glyph U+0041 of \"" + path + "\" (2106 x 2106 pixels) is larger than a page"),
              1u)
        << log.text();
}

// 340 units of an em of 16 are 510 pixels at 24: the glyph fits a page, its outline of 4 pixels does not.
TEST_F(TrueTypeFontTest, AnOutlineLargerThanAPageIsRefusedByItsBoxBeforeItIsRendered) {
    test::TemporaryFolder folder("ttf-wide");
    ASSERT_TRUE(folder.made());
    const std::string path = folder.put("wide.ttf", test::triangleFont(16, 340, 340));
    test::LogCapture log;
    HeldFont plain(FontFreeType::create(path, 24, GlyphCollection::DYNAMIC, nullptr, false, 0));
    HeldFont outlined(FontFreeType::create(path, 24, GlyphCollection::DYNAMIC, nullptr, false, 4));
    ASSERT_TRUE(plain.font && outlined.font);
    GlyphBitmap glyph;
    ASSERT_TRUE(plain.font->getGlyphBitmap(u'A', glyph));
    EXPECT_EQ(glyph.width, 510);
    EXPECT_FALSE(outlined.font->getGlyphBitmap(u'A', glyph));
    EXPECT_EQ(glyph.pixels, nullptr);
    EXPECT_TRUE(log.contains("FontFreeType: the outline of glyph U+0041 of \"" + path + "\"")) << log.text();
}

TEST_F(TrueTypeFontTest, AnAtlasRecordsAGlyphLargerThanAPageAsInvalidWithoutRenderingIt) {
    test::TemporaryFolder folder("ttf-huge");
    ASSERT_TRUE(folder.made());
    TTFConfig huge = config(24, 2);
    huge.fontFilePath = folder.put("huge.ttf", test::triangleFont(16, 1400, 1400));
    test::LogCapture log;
    FontAtlas* atlas = FontAtlasCache::getFontAtlasTTF(huge);
    ASSERT_NE(atlas, nullptr);
    EXPECT_TRUE(atlas->prepareLetterDefinitions(u"A"));
    FontLetterDefinition def;
    atlas->getLetterDefinitionForChar(u'A', def);
    EXPECT_FALSE(def.validDefinition);
    FontAtlasCache::releaseFontAtlas(atlas);
    EXPECT_TRUE(log.contains("FontFreeType: glyph U+0041")) << log.text();
    EXPECT_FALSE(log.contains("FontAtlas: ")) << "refused by the font, before a bitmap reached the atlas";
}

TEST(DistanceMapTest, AFieldIsLargerByTheSpreadAndSignedAroundTheEdge) {
    // A 10 x 12 glyph, fully covered.
    std::vector<unsigned char> glyph(10 * 12, 255);
    auto field = makeDistanceMap(glyph.data(), 10, 12);
    const int w = 16;
    // The centre of the glyph (shifted 3 columns right, not down) lies inside: above 128.
    EXPECT_GT(field[6 * w + 8], 128 + 16 * 3);
    // The glyph's edge column 3 and the empty column 2 straddle 128.
    EXPECT_GT(field[6 * w + 3], 128);
    EXPECT_LT(field[6 * w + 2], 128);
    // Far below the glyph (rows 12..17 are outside): lower the further away.
    EXPECT_LT(field[17 * w + 8], field[13 * w + 8]);

    std::vector<unsigned char> dot(2 * 2, 255);
    std::vector<unsigned char> wide(40 * 2, 0);
    wide[0] = wide[1] = wide[40] = wide[41] = 255;
    auto far = makeDistanceMap(wide.data(), 40, 2);
    // More than 8 pixels from any ink: clamped to 0.
    EXPECT_EQ(far[0 * 46 + 3 + 30], 0);
}

// ---- labels by their pixels

class TrueTypeLabelTest : public TrueTypeFontTest {
protected:
    int frameWidth() const override { return 200; }
    int frameHeight() const override { return 120; }

    Label* labelAt(const TTFConfig& c, const std::string& text, float x, float y) {
        Label* label = Label::createWithTTF(c, text);
        if (!label) return nullptr;
        label->setAnchorPoint(Vec2::ZERO);
        label->setPosition(x, y);
        return label;
    }

    // Frame pixels along row y from x0 to x1 whose colour is near `color`.
    int countNear(int y, int x0, int x1, const Pixel& color, int tolerance) const {
        int count = 0;
        for (int x = x0; x < x1; ++x) {
            const Pixel p = readPixel(x, y);
            if (std::abs(p.r - color.r) <= tolerance && std::abs(p.g - color.g) <= tolerance &&
                std::abs(p.b - color.b) <= tolerance)
                ++count;
        }
        return count;
    }
};

TEST_F(TrueTypeLabelTest, LettersDrawInsideTheLabelsBox) {
    Label* label = labelAt(config(40), "HI", 20, 30);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->getLabelType(), Label::LabelType::TTF);
    label->setTextColor(Color4B(255, 255, 0, 255));
    drawFrame(label);
    saveFrame();
    const Size size = label->getContentSize();
    EXPECT_GT(size.width, 40);
    EXPECT_NEAR(size.height, label->getCommonLineHeight(), 1);
    // Yellow ink inside the box, nothing outside it.
    int inside = 0, outside = 0;
    for (int y = 0; y < frameHeight(); ++y) {
        for (int x = 0; x < frameWidth(); ++x) {
            const Pixel p = readPixel(x, y);
            if (p.r < 128) continue;
            const bool in = x >= 20 && x < 20 + size.width && y >= 30 && y < 30 + size.height;
            (in ? inside : outside) += 1;
            EXPECT_LT(p.b, 60) << x << "," << y;
        }
    }
    EXPECT_GT(inside, 150);
    EXPECT_EQ(outside, 0);
}

TEST_F(TrueTypeLabelTest, ALetterOnALaterPageDrawsFromThatPage) {
    FontAtlas* atlas = FontAtlasCache::getFontAtlasTTF(config(90));
    ASSERT_NE(atlas, nullptr);
    std::u16string filler;
    for (char16_t c = u'A'; c <= u'Z'; ++c) filler += c;
    for (char16_t c = u'a'; c <= u'y'; ++c) filler += c;
    atlas->prepareLetterDefinitions(filler);
    Label* label = labelAt(config(90), "z", 10, 10);
    ASSERT_NE(label, nullptr);
    drawFrame(label);
    FontLetterDefinition z;
    ASSERT_TRUE(atlas->getLetterDefinitionForChar(u'z', z));
    EXPECT_GE(z.textureID, 1);
    int ink = 0;
    for (int y = 10; y < 110; ++y)
        for (int x = 10; x < 90; ++x) ink += readPixel(x, y).r > 128;
    EXPECT_GT(ink, 300);
    FontAtlasCache::releaseFontAtlas(atlas);
}

TEST_F(TrueTypeLabelTest, AnOutlinedLabelHasItsOutlineColourAroundItsFill) {
    Label* label = labelAt(config(48), "I", 60, 20);
    ASSERT_NE(label, nullptr);
    label->enableOutline(Color4B(255, 0, 0, 255), 3);
    EXPECT_EQ(label->getLabelEffect(), LabelEffect::OUTLINE);
    drawFrame(label);
    saveFrame();
    // A row through the middle of the stem: red, then white, then red again.
    const int y = static_cast<int>(20 + label->getContentSize().height / 2);
    std::vector<char> kinds;
    for (int x = 55; x < 120; ++x) {
        const Pixel p = readPixel(x, y);
        const char kind = p.r > 200 && p.g > 200 ? 'W' : p.r > 200 && p.g < 60 ? 'R' : p.r < 30 ? '.' : '~';
        if (kind != '~' && (kinds.empty() || kinds.back() != kind)) kinds.push_back(kind);
    }
    EXPECT_EQ(std::string(kinds.begin(), kinds.end()), ".RWR.");
}

TEST_F(TrueTypeLabelTest, AnOutlineWidensTheSpaceLikeEveryOtherLetter) {
    FontAtlas* plain = FontAtlasCache::getFontAtlasTTF(config(48));
    ASSERT_NE(plain, nullptr);
    ASSERT_TRUE(plain->prepareLetterDefinitions(u"I "));
    FontLetterDefinition stem, space;
    ASSERT_TRUE(plain->getLetterDefinitionForChar(u'I', stem));
    ASSERT_TRUE(plain->getLetterDefinitionForChar(u' ', space));
    FontAtlasCache::releaseFontAtlas(plain);

    Label* label = labelAt(config(48), "I I", 10, 20);
    ASSERT_NE(label, nullptr);
    label->enableOutline(Color4B(255, 0, 0, 255), 2);
    drawFrame(label);
    saveFrame();
    // Where each of the two outlined stems begins on a row through their middle.
    const int y = static_cast<int>(20 + label->getContentSize().height / 2);
    std::vector<int> starts;
    bool inInk = false;
    for (int x = 0; x < frameWidth(); ++x) {
        const bool ink = readPixel(x, y).r > 100;
        if (ink && !inInk) starts.push_back(x);
        inInk = ink;
    }
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_NEAR(starts[1] - starts[0], stem.xAdvance + space.xAdvance + 2 * 4, 1);
}

TEST_F(TrueTypeLabelTest, ADistanceFieldLabelScaledFourTimesKeepsSharpEdges) {
    Label* label = labelAt(config(24, 0, true), "I", 80, 5);
    ASSERT_NE(label, nullptr);
    label->setScale(4.0f);
    EXPECT_FLOAT_EQ(label->getScaleX(), 4.0f);
    drawFrame(label);
    saveFrame();
    // Across the stem: the ramp between black and white is at most 3 pixels on each side.
    const int y = static_cast<int>(5 + label->getBoundingBox().size.height / 2);
    int solid = 0, ramp = 0;
    for (int x = 60; x < 160; ++x) {
        const Pixel p = readPixel(x, y);
        if (p.r > 230)
            ++solid;
        else if (p.r > 25)
            ++ramp;
    }
    EXPECT_GT(solid, 6);
    EXPECT_LE(ramp, 6);
}

TEST_F(TrueTypeLabelTest, APlainOrOutlinedConfigAfterADistanceFieldGivesTheSizeOfALabelMadeWithIt) {
    for (const TTFConfig& next : {config(24), config(24, 2)}) {
        Label* direct = labelAt(next, "Hello", 0, 0);
        Label* switched = labelAt(config(24, 0, true), "Hello", 0, 0);
        ASSERT_TRUE(direct && switched);
        ASSERT_TRUE(switched->setTTFConfig(next));
        EXPECT_EQ(switched->getBoundingBox().size, direct->getBoundingBox().size) << next.outlineSize;
        EXPECT_FLOAT_EQ(switched->getScaleX(), 1.0f);
        EXPECT_FLOAT_EQ(switched->getScaleY(), 1.0f);
    }
}

TEST_F(TrueTypeLabelTest, AScaleGivenToADistanceFieldLabelStaysWhenItsConfigTurnsPlain) {
    Label* direct = labelAt(config(24), "Hello", 0, 0);
    Label* switched = labelAt(config(24, 0, true), "Hello", 0, 0);
    ASSERT_TRUE(direct && switched);
    switched->setScaleX(2.0f);
    ASSERT_TRUE(switched->setTTFConfig(config(24)));
    EXPECT_FLOAT_EQ(switched->getScaleX(), 2.0f);
    EXPECT_FLOAT_EQ(switched->getScaleY(), 1.0f);
    EXPECT_EQ(switched->getBoundingBox().size,
              Size(2 * direct->getBoundingBox().size.width, direct->getBoundingBox().size.height));
}

TEST_F(TrueTypeLabelTest, AGlowSwitchesToADistanceFieldAndShinesAroundTheLetters) {
    Label* label = labelAt(config(60), "I", 80, 10);
    ASSERT_NE(label, nullptr);
    label->enableGlow(Color4B(255, 0, 0, 255));
    EXPECT_EQ(label->getLabelEffect(), LabelEffect::GLOW);
    EXPECT_TRUE(label->getTTFConfig().distanceFieldEnabled);
    drawFrame(label);
    saveFrame();
    const int y = static_cast<int>(10 + label->getBoundingBox().size.height / 2);
    EXPECT_GT(countNear(y, 60, 140, Pixel{255, 255, 255, 255}, 30), 2);
    int reddish = 0;
    for (int x = 60; x < 140; ++x) {
        const Pixel p = readPixel(x, y);
        reddish += p.r > 40 && p.g < p.r / 2;
    }
    EXPECT_GT(reddish, 1);
}

}  // namespace
}  // namespace kite
