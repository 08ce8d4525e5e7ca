// The base of the fonts a label draws from: each kind builds a font atlas and answers kerning queries.
#pragma once
#include <memory>
#include <string>

#include "kite/foundation/Ref.h"

namespace kite {

class FontAtlas;

enum class GlyphCollection { DYNAMIC = 0, NEHE = 1, ASCII = 2, CUSTOM = 3 };

class Font : public Ref {
public:
    ~Font() override = default;

    // A new atlas (one creation reference, the caller's), or null.
    virtual FontAtlas* createFontAtlas() = 0;
    // One kerning value (pixels) per UTF-16 unit of the text, or null.
    virtual std::unique_ptr<int[]> getHorizontalKerningForTextUTF16(const std::u16string& text,
                                                                    int& outNumLetters) const = 0;
    // The UTF-8 characters the font prepares at once; null when glyphs come on demand.
    virtual const char* getCurrentGlyphCollection() const;
    virtual int getFontMaxHeight() const { return 0; }

    void setCurrentGlyphCollection(GlyphCollection glyphs, const char* customGlyphs = nullptr);
    GlyphCollection getGlyphCollection() const { return _usedGlyphs; }

protected:
    Font() = default;

    GlyphCollection _usedGlyphs = GlyphCollection::ASCII;
    std::string _customGlyphs;
    bool hasCustomGlyphs_ = false;
};

}  // namespace kite
