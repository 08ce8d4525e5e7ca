#include "kite/scene/FontAtlas.h"

#include "kite/rendering/Texture2D.h"
#include "kite/scene/Font.h"

namespace kite {

FontAtlas::FontAtlas(Font& font) : _font(&font) {
    _font->retain();
    _atlasTextures.max_load_factor(1.0f);
    _letterDefinitions.max_load_factor(1.0f);
}

FontAtlas::~FontAtlas() {
    _font->release();
    for (auto& page : _atlasTextures) page.second->release();
    _atlasTextures.clear();
}

void FontAtlas::addTexture(Texture2D* texture, int slot) {
    if (!texture) return;
    texture->retain();
    auto it = _atlasTextures.find(slot);
    if (it != _atlasTextures.end()) {
        it->second->release();
        it->second = texture;
    } else {
        _atlasTextures.emplace(slot, texture);
    }
}

Texture2D* FontAtlas::getTexture(int slot) const {
    auto it = _atlasTextures.find(slot);
    return it == _atlasTextures.end() ? nullptr : it->second;
}

void FontAtlas::addLetterDefinition(const FontLetterDefinition& def) {
    _letterDefinitions[def.letteCharUTF16] = def;
}

bool FontAtlas::getLetterDefinitionForChar(char16_t unit, FontLetterDefinition& outDef) const {
    auto it = _letterDefinitions.find(unit);
    if (it == _letterDefinitions.end()) {
        outDef.validDefinition = false;
        return false;
    }
    outDef = it->second;
    return true;
}

bool FontAtlas::prepareLetterDefinitions(const std::u16string&) { return false; }

}  // namespace kite
