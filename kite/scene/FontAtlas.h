// A font's pages (textures) and the letter definitions that say where each UTF-16 unit lies on them.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "kite/foundation/Ref.h"

namespace kite {

class Font;
class FontFreeType;
struct GlyphBitmap;
class Texture2D;

// One letter of an atlas, copied by value into the label's letter records.
struct FontLetterDefinition {
    char16_t letteCharUTF16 = 0;
    float U = 0.0f;  // top-left corner on the page, points
    float V = 0.0f;
    float width = 0.0f;  // size on the page, points
    float height = 0.0f;
    float offsetX = 0.0f;  // from the pen, pixels
    float offsetY = 0.0f;  // down from the line top, pixels
    int textureID = 0;     // page number
    bool validDefinition = false;
    int xAdvance = 0;  // pixels
    int clipBottom = 0;
};

class FontAtlas : public Ref {
public:
    static constexpr int CacheTextureWidth = 512;
    static constexpr int CacheTextureHeight = 512;

    // Retains the font. A TrueType font gets an empty page 0 that glyphs are rendered into on
    // demand; for the other fonts the creator fills pages and letters.
    explicit FontAtlas(Font& font);
    ~FontAtlas() override;

    // Retains the texture and stores it as page `slot`.
    void addTexture(Texture2D* texture, int slot);
    // Null for a page that does not exist.
    Texture2D* getTexture(int slot) const;
    const std::unordered_map<int, Texture2D*>& getTextures() const { return _atlasTextures; }

    void addLetterDefinition(const FontLetterDefinition& def);
    // False (and an invalid definition) when the unit has no letter.
    bool getLetterDefinitionForChar(char16_t unit, FontLetterDefinition& outDef) const;
    // Renders the letters of the text not yet known (TrueType only; false for other fonts), opening
    // pages as they fill.
    bool prepareLetterDefinitions(const std::u16string& text);

    float getCommonLineHeight() const { return _commonLineHeight; }
    void setCommonLineHeight(float height) { _commonLineHeight = height; }
    Font* getFont() const { return _font; }
    void setAntiAliasTexParameters() { _antialiasEnabled = true; }
    void setAliasTexParameters() { _antialiasEnabled = false; }

    FontAtlas(const FontAtlas&) = delete;
    FontAtlas& operator=(const FontAtlas&) = delete;

private:
    void initTrueTypePage();
    bool addPage();
    // The rows of the current page written since its last upload, pixels.
    struct DirtyRows {
        int top = 0;
        int bottom = 0;
    };
    // Places one rendered glyph on the current page (a new one when it is full); false when it can
    // never fit a page.
    bool placeGlyph(char16_t unit, const GlyphBitmap& bitmap, FontLetterDefinition& def, DirtyRows& dirty);
    void uploadRows(int startY, int rows);
    int bytesPerPixel() const;

    std::unordered_map<int, Texture2D*> _atlasTextures;  // each retained
    std::unordered_map<char16_t, FontLetterDefinition> _letterDefinitions;
    float _commonLineHeight = 0.0f;
    Font* _font = nullptr;                  // retained
    FontFreeType* _fontFreeType = nullptr;  // _font, when it renders glyphs
    int _currentPage = 0;
    std::vector<unsigned char> _currentPageData;  // the page being filled
    float _currentPageOrigX = 0.0f;               // where the next glyph goes, pixels
    float _currentPageOrigY = 0.0f;
    float _letterPadding = 0.0f;
    int _fontAscender = 0;
    bool _antialiasEnabled = true;
};

}  // namespace kite
