// The TrueType font behind TrueType labels: a FreeType face over bytes shared per file, rendering single
// glyphs as coverage, coverage plus a stroked outline, or a distance field.
#pragma once
#include <memory>
#include <string>

#include "kite/foundation/math/Rect.h"
#include "kite/scene/Font.h"

namespace kite {

// One rendered glyph. `pixels` is null for a glyph without image (a space); it points either into the
// font's own glyph slot (valid until the next glyph is rendered) or into `owned`.
struct GlyphBitmap {
    const unsigned char* pixels = nullptr;
    std::unique_ptr<unsigned char[]> owned;
    int width = 0;  // bitmap size, pixels
    int height = 0;
    Rect rect;  // x = left bearing, y = minus the top bearing, glyph size; pixels
    int xAdvance = 0;
};

class FontFreeType : public Font {
public:
    static constexpr int DistanceMapSpread = 3;

    // A font with its creation reference (the caller's: not autoreleased), or null with a log line
    // when the file is missing or not a usable font.
    static FontFreeType* create(const std::string& fontName, int fontSize, GlyphCollection glyphs,
                                const char* customGlyphs, bool distanceFieldEnabled, int outline);
    // Destroys the FreeType library when it was made.
    static void shutdownFreeType();
    // Files whose bytes are held for open fonts.
    static std::size_t cachedFontDataCount();

    ~FontFreeType() override;

    // The atlas over this font; the font gives up its creation reference to it.
    FontAtlas* createFontAtlas() override;
    std::unique_ptr<int[]> getHorizontalKerningForTextUTF16(const std::u16string& text,
                                                            int& outNumLetters) const override;
    int getHorizontalKerningForChars(char16_t first, char16_t second) const;
    int getFontMaxHeight() const override;
    virtual int getFontAscender() const;

    // False (with an empty bitmap) when the unit has no glyph or it cannot be rendered.
    bool getGlyphBitmap(char16_t unit, GlyphBitmap& out);
    // Writes a glyph into a page buffer 512 pixels wide at (posX, posY): one byte per pixel, two with
    // an outline, the distance field (6 pixels larger each way) with one.
    void renderCharAt(unsigned char* dest, int posX, int posY, const GlyphBitmap& bitmap) const;
    // The bitmap's footprint on the page, pixels.
    int pageWidthOf(const GlyphBitmap& bitmap) const;
    int pageHeightOf(const GlyphBitmap& bitmap) const;

    bool isDistanceFieldEnabled() const { return _distanceFieldEnabled; }
    float getOutlineSize() const { return _outlineSize; }
    const std::string& getFontName() const { return _fontName; }

    FontFreeType(const FontFreeType&) = delete;
    FontFreeType& operator=(const FontFreeType&) = delete;

private:
    struct Face;  // the FreeType face and stroker

    FontFreeType(bool distanceFieldEnabled, int outline);
    bool createFontObject(const std::string& fontName, int fontSize);
    // False when the glyph cannot be stroked; an empty stroke (a space's) succeeds without pixels.
    bool getGlyphBitmapWithOutline(char16_t unit, std::unique_ptr<unsigned char[]>& pixels, int& outWidth,
                                   int& outHeight) const;
    bool blendOutline(char16_t unit, GlyphBitmap& out);

    std::unique_ptr<Face> _face;
    std::string _fontName;
    bool _distanceFieldEnabled = false;
    float _outlineSize = 0.0f;  // pixels
    bool _holdsFontData = false;
};

}  // namespace kite
