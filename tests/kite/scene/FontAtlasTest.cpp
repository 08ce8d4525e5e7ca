// TrueType atlas pages: where glyphs are written, checked by the bitmaps written rather than by the boxes drawn.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "SceneDrawSupport.h"
#include "kite/scene/FontAtlas.h"
#include "kite/scene/FontAtlasCache.h"
#include "kite/scene/FontFreeType.h"
#include "kite/scene/Label.h"

namespace kite {
namespace {

// From fonts-wqy-microhei, which scripts/setup installs.
const char* const kCjkFontPath = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

struct Written {
    int page = 0;
    int x = 0, y = 0, width = 0, height = 0;  // pixels
};

class FontAtlasTest : public test::SceneDrawTest {
protected:
    TTFConfig config(int size, int outline, bool distanceField) const {
        return test::ttfConfig(kCjkFontPath, size, outline, distanceField);
    }

    // The first count CJK ideographs.
    static std::u16string ideographs(int count) {
        std::u16string text;
        for (int i = 0; i < count; ++i) text += static_cast<char16_t>(0x4E00 + i);
        return text;
    }

    // Where each glyph of the text was written on its page: at its definition's corner, as large as the
    // bitmap the font renders for it.
    static std::map<char16_t, Written> writtenRects(FontAtlas& atlas, const std::u16string& text) {
        std::map<char16_t, Written> rects;
        auto* font = dynamic_cast<FontFreeType*>(atlas.getFont());
        if (!font) return rects;
        for (char16_t unit : text) {
            FontLetterDefinition def;
            GlyphBitmap bitmap;
            if (!atlas.getLetterDefinitionForChar(unit, def) || def.width == 0) continue;
            if (!font->getGlyphBitmap(unit, bitmap) || !bitmap.pixels) continue;
            rects[unit] = Written{def.textureID, static_cast<int>(def.U), static_cast<int>(def.V),
                                  font->pageWidthOf(bitmap), font->pageHeightOf(bitmap)};
        }
        return rects;
    }

    // Glyphs written over a pixel another glyph wrote, or past the page.
    static int glyphsWrittenOverOthers(const std::map<char16_t, Written>& rects) {
        std::map<int, std::vector<char16_t>> owners;  // page -> owner of each pixel
        int over = 0;
        for (const auto& [unit, r] : rects) {
            std::vector<char16_t>& page = owners[r.page];
            page.resize(FontAtlas::CacheTextureWidth * FontAtlas::CacheTextureHeight, 0);
            if (r.x + r.width > FontAtlas::CacheTextureWidth || r.y + r.height > FontAtlas::CacheTextureHeight) {
                ++over;
                continue;
            }
            bool overwrites = false;
            for (int y = r.y; y < r.y + r.height; ++y)
                for (int x = r.x; x < r.x + r.width; ++x) {
                    char16_t& owner = page[static_cast<std::size_t>(y) * FontAtlas::CacheTextureWidth + x];
                    overwrites = overwrites || owner != 0;
                    owner = unit;
                }
            over += overwrites;
        }
        return over;
    }

    void expectNoBitmapOverlaps(const TTFConfig& c, int glyphs) {
        FontAtlas* atlas = FontAtlasCache::getFontAtlasTTF(c);
        ASSERT_NE(atlas, nullptr);
        const std::u16string text = ideographs(glyphs);
        ASSERT_TRUE(atlas->prepareLetterDefinitions(text));
        const std::map<char16_t, Written> rects = writtenRects(*atlas, text);
        EXPECT_GT(rects.size(), static_cast<std::size_t>(glyphs) * 9 / 10);
        EXPECT_EQ(glyphsWrittenOverOthers(rects), 0) << "of " << rects.size() << " glyphs";
        FontAtlasCache::releaseFontAtlas(atlas);
    }
};

TEST_F(FontAtlasTest, NoDistanceFieldGlyphIsWrittenOverAnotherAtALargeSize) {
    expectNoBitmapOverlaps(config(64, 0, true), 1200);
}

TEST_F(FontAtlasTest, NoPlainGlyphIsWrittenOverAnother) { expectNoBitmapOverlaps(config(48, 0, false), 600); }

TEST_F(FontAtlasTest, NoOutlinedGlyphIsWrittenOverAnother) { expectNoBitmapOverlaps(config(48, 2, false), 600); }

// A distance field's bitmap can be wider than the glyph's box; the letter must show all of it.
class FontAtlasGlowTest : public test::SceneDrawTest {
protected:
    int frameWidth() const override { return 200; }
    int frameHeight() const override { return 120; }
};

TEST_F(FontAtlasGlowTest, AGlowShinesAsFarRightOfAStemAsLeftOfIt) {
    TTFConfig c;
    c.fontFilePath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    c.fontSize = 60;
    Label* label = Label::createWithTTF(c, "I");
    ASSERT_NE(label, nullptr);
    label->setAnchorPoint(Vec2::ZERO);
    label->setPosition(80, 10);
    label->enableGlow(Color4B(255, 0, 0, 255));
    drawFrame(label);
    saveFrame();
    // Along a row through the stem's middle: the red of the glow on each side of the white stem.
    const int y = static_cast<int>(10 + label->getBoundingBox().size.height / 2);
    int left = 0, right = 0;
    bool pastStem = false, inStem = false;
    for (int x = 60; x < 140; ++x) {
        const test::Pixel p = readPixel(x, y);
        const bool white = p.r > 200 && p.g > 200;
        if (white) inStem = true;
        if (inStem && !white) pastStem = true;
        if (white || p.g >= p.r / 2) continue;
        (pastStem ? right : left) += p.r;
    }
    ASSERT_TRUE(inStem);
    EXPECT_GT(left, 100);
    EXPECT_GT(right, left * 3 / 4) << "left " << left;
}

}  // namespace
}  // namespace kite
