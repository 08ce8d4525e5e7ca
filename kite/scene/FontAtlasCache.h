// Shares font atlases between labels by a key built from the font's file and settings, counting their users.
#pragma once
#include <string>

#include "kite/foundation/math/Vec2.h"
#include "kite/scene/LabelTypes.h"

namespace kite {

class FontAtlas;
class Texture2D;

class FontAtlasCache {
public:
    // Each lookup returns an atlas with one reference for the caller (give it back with
    // releaseFontAtlas), or null when the font or its atlas cannot be made.
    static FontAtlas* getFontAtlasTTF(const TTFConfig& config);
    static FontAtlas* getFontAtlasFNT(const std::string& fontFileName, const Vec2& imageOffset = Vec2::ZERO);
    static FontAtlas* getFontAtlasCharMap(const std::string& plistFile);
    static FontAtlas* getFontAtlasCharMap(Texture2D* texture, int itemWidth, int itemHeight, int startCharMap);
    static FontAtlas* getFontAtlasCharMap(const std::string& charMapFile, int itemWidth, int itemHeight,
                                          int startCharMap);

    // False for null or an atlas the cache does not hold; the entry goes with its last user.
    static bool releaseFontAtlas(FontAtlas* atlas);

    // The key of a font: file, glyph collection, "df" for a distance field, size.
    static std::string generateFontName(const std::string& fontFileName, int size, GlyphCollection glyphs,
                                        bool useDistanceField);
    // Atlases currently shared.
    static std::size_t size();
};

}  // namespace kite
