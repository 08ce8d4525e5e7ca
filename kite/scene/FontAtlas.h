// A font's pages (textures) and the letter definitions that say where each UTF-16 unit lies on them.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

#include "kite/foundation/Ref.h"

namespace kite {

class Font;
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

    // Retains the font; its creator fills pages and letters.
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
    // Renders missing letters on demand; only fonts that render glyphs do, so false here.
    bool prepareLetterDefinitions(const std::u16string& text);

    float getCommonLineHeight() const { return _commonLineHeight; }
    void setCommonLineHeight(float height) { _commonLineHeight = height; }
    Font* getFont() const { return _font; }

    FontAtlas(const FontAtlas&) = delete;
    FontAtlas& operator=(const FontAtlas&) = delete;

private:
    std::unordered_map<int, Texture2D*> _atlasTextures;  // each retained
    std::unordered_map<char16_t, FontLetterDefinition> _letterDefinitions;
    float _commonLineHeight = 0.0f;
    Font* _font = nullptr;  // retained
};

}  // namespace kite
