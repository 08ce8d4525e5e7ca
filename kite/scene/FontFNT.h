// The font over one bitmap-font description: a single-page atlas from its glyph image, and its kerning pairs.
#pragma once
#include <string>

#include "kite/foundation/math/Vec2.h"
#include "kite/scene/Font.h"

namespace kite {

class BMFontConfiguration;

class FontFNT : public Font {
public:
    // Null (with a log line) when the description cannot be parsed or its image cannot be loaded.
    static FontFNT* create(const std::string& fntFilePath, const Vec2& imageOffset = Vec2::ZERO);
    // Forgets every cached description.
    static void purgeCachedData();

    ~FontFNT() override;

    FontAtlas* createFontAtlas() override;
    // Entry i is the pair amount of units i-1 and i; the first entry is 0.
    std::unique_ptr<int[]> getHorizontalKerningForTextUTF16(const std::u16string& text,
                                                            int& outNumLetters) const override;
    int getHorizontalKerningForChars(char16_t first, char16_t second) const;

    BMFontConfiguration* getConfiguration() const { return _configuration; }

private:
    FontFNT(BMFontConfiguration* config, const Vec2& imageOffset);

    BMFontConfiguration* _configuration;  // retained
    Vec2 _imageOffset;                    // points
};

}  // namespace kite
