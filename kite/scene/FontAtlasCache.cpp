#include "kite/scene/FontAtlasCache.h"

#include <functional>
#include <unordered_map>

#include "kite/foundation/StringUtils.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/FontAtlas.h"
#include "kite/scene/FontCharMap.h"
#include "kite/scene/FontFNT.h"
#include "kite/scene/FontFreeType.h"
#include "kite/scene/Label.h"

namespace kite {

namespace {

std::unordered_map<std::string, FontAtlas*>& atlasMap() {
    static std::unordered_map<std::string, FontAtlas*> map = [] {
        std::unordered_map<std::string, FontAtlas*> m;
        m.max_load_factor(1.0f);
        return m;
    }();
    return map;
}

// A hit gains a reference; a miss makes the font, then its atlas, and stores it under the key.
FontAtlas* findOrCreate(const std::string& key, const std::function<Font*()>& makeFont) {
    auto& map = atlasMap();
    auto it = map.find(key);
    if (it != map.end()) {
        it->second->retain();
        return it->second;
    }
    Font* font = makeFont();
    FontAtlas* atlas = font ? font->createFontAtlas() : nullptr;
    if (!atlas) return nullptr;
    map.emplace(key, atlas);
    return atlas;
}

const char* glyphsName(GlyphCollection glyphs) {
    switch (glyphs) {
        case GlyphCollection::DYNAMIC: return "_DYNAMIC_";
        case GlyphCollection::NEHE: return "_NEHE_";
        case GlyphCollection::ASCII: return "_ASCII_";
        case GlyphCollection::CUSTOM: return "_CUSTOM_";
    }
    return "_DYNAMIC_";
}

}  // namespace

std::string FontAtlasCache::generateFontName(const std::string& fontFileName, int size, GlyphCollection glyphs,
                                             bool useDistanceField) {
    return fontFileName + glyphsName(glyphs) + (useDistanceField ? "df" : "") + std::to_string(size);
}

FontAtlas* FontAtlasCache::getFontAtlasTTF(const TTFConfig& config) {
    // Distance-field atlases are always rendered at one size and scaled by the label.
    const bool useDistanceField = config.distanceFieldEnabled && config.outlineSize < 1;
    const int fontSize =
        useDistanceField ? static_cast<int>(Label::DistanceFieldFontSize / frameContentScaleFactor()) : config.fontSize;
    const std::string key = generateFontName(config.fontFilePath, fontSize, config.glyphs, useDistanceField) +
                            "_outline_" + std::to_string(config.outlineSize);
    return findOrCreate(key, [&]() -> Font* {
        return FontFreeType::create(config.fontFilePath, fontSize, config.glyphs, config.customGlyphs, useDistanceField,
                                    config.outlineSize);
    });
}

FontAtlas* FontAtlasCache::getFontAtlasFNT(const std::string& fontFileName, const Vec2& imageOffset) {
    // Letters of another offset lie elsewhere on the image: that is another atlas.
    const std::string key = generateFontName(fontFileName, 0, GlyphCollection::CUSTOM, false) +
                            StringUtils::format("_offset_%g_%g", imageOffset.x, imageOffset.y);
    return findOrCreate(key, [&]() -> Font* { return FontFNT::create(fontFileName, imageOffset); });
}

FontAtlas* FontAtlasCache::getFontAtlasCharMap(const std::string& plistFile) {
    const std::string key = generateFontName(plistFile, 0, GlyphCollection::CUSTOM, false);
    return findOrCreate(key, [&]() -> Font* { return FontCharMap::create(plistFile); });
}

FontAtlas* FontAtlasCache::getFontAtlasCharMap(Texture2D* texture, int itemWidth, int itemHeight, int startCharMap) {
    if (!texture) return nullptr;
    const std::string name =
        StringUtils::format("name:%u_%d_%d_%d", texture->getName(), itemWidth, itemHeight, startCharMap);
    const std::string key = generateFontName(name, 0, GlyphCollection::CUSTOM, false);
    return findOrCreate(key,
                        [&]() -> Font* { return FontCharMap::create(texture, itemWidth, itemHeight, startCharMap); });
}

FontAtlas* FontAtlasCache::getFontAtlasCharMap(const std::string& charMapFile, int itemWidth, int itemHeight,
                                               int startCharMap) {
    std::string name =
        StringUtils::format("name:%s_%d_%d_%d", charMapFile.c_str(), itemWidth, itemHeight, startCharMap);
    if (name.size() > 250) name.resize(250);
    const std::string key = generateFontName(name, 0, GlyphCollection::CUSTOM, false);
    return findOrCreate(
        key, [&]() -> Font* { return FontCharMap::create(charMapFile, itemWidth, itemHeight, startCharMap); });
}

bool FontAtlasCache::releaseFontAtlas(FontAtlas* atlas) {
    if (!atlas) return false;
    auto& map = atlasMap();
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (it->second != atlas) continue;
        if (atlas->getReferenceCount() == 1) map.erase(it);
        atlas->release();
        return true;
    }
    return false;
}

std::size_t FontAtlasCache::size() { return atlasMap().size(); }

}  // namespace kite
