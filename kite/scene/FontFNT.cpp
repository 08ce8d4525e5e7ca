#include "kite/scene/FontFNT.h"

#include <new>

#include "kite/foundation/Log.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/BMFontConfiguration.h"
#include "kite/scene/Director.h"
#include "kite/scene/FontAtlas.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {

Texture2D* loadTexture(const std::string& path) {
    TextureCache* cache = Director::getInstance()->getTextureCache();
    return cache && !path.empty() ? cache->addImage(path) : nullptr;
}

// The rectangle must lie inside the image: letters past its edges would sample other letters or nothing.
bool insideImage(const BMFontDef& def, const Texture2D& texture) {
    const Rect& r = def.rect;
    return r.getMaxX() <= static_cast<float>(texture.getPixelsWide()) &&
           r.getMaxY() <= static_cast<float>(texture.getPixelsHigh());
}

}  // namespace

FontFNT* FontFNT::create(const std::string& fntFilePath, const Vec2& imageOffset) {
    BMFontConfiguration* config = FNTConfigLoadFile(fntFilePath);
    if (!config) return nullptr;
    if (!loadTexture(config->getAtlasName())) {
        log("FontFNT: cannot load the image \"%s\" of %s", platform::printableText(config->getAtlasName()).c_str(),
            platform::printableText(fntFilePath).c_str());
        return nullptr;
    }
    auto* font = new (std::nothrow) FontFNT(config, imageOffset);
    if (font) font->autorelease();
    return font;
}

void FontFNT::purgeCachedData() { FNTConfigRemoveCache(); }

FontFNT::FontFNT(BMFontConfiguration* config, const Vec2& imageOffset)
    : _configuration(config), _imageOffset(imageOffset / frameContentScaleFactor()) {
    _configuration->retain();
}

FontFNT::~FontFNT() { _configuration->release(); }

int FontFNT::getHorizontalKerningForChars(char16_t first, char16_t second) const {
    return _configuration->getKerningAmount(first, second);
}

std::unique_ptr<int[]> FontFNT::getHorizontalKerningForTextUTF16(const std::u16string& text, int& outNumLetters) const {
    outNumLetters = static_cast<int>(text.size());
    if (text.empty()) return nullptr;
    std::unique_ptr<int[]> kernings(new (std::nothrow) int[text.size()]);
    if (!kernings) return nullptr;
    // The pair's amount sits on its second unit, which the layout moves by it (the first stays in place).
    kernings[0] = 0;
    for (std::size_t i = 1; i < text.size(); ++i) kernings[i] = getHorizontalKerningForChars(text[i - 1], text[i]);
    return kernings;
}

FontAtlas* FontFNT::createFontAtlas() {
    const std::set<unsigned int>* characters = _configuration->getCharacterSet();
    if (!characters || characters->empty() || _configuration->getCommonHeight() == 0) {
        log("FontFNT: the description has no characters or no line height");
        return nullptr;
    }
    Texture2D* texture = loadTexture(_configuration->getAtlasName());
    if (!texture) {
        log("FontFNT: cannot load the image \"%s\"", platform::printableText(_configuration->getAtlasName()).c_str());
        return nullptr;
    }
    auto* atlas = new (std::nothrow) FontAtlas(*this);
    if (!atlas) return nullptr;
    atlas->setCommonLineHeight(static_cast<float>(_configuration->getCommonHeight()));

    const float scale = frameContentScaleFactor();
    bool reported = false;
    _configuration->forEachFontDef([&](const BMFontDef& def) {
        if (!insideImage(def, *texture)) {
            if (!reported) log("FontFNT: character %u lies outside its image and is left out", def.charID);
            reported = true;
            return;
        }
        FontLetterDefinition letter;
        letter.letteCharUTF16 = static_cast<char16_t>(def.charID);
        letter.offsetX = def.xOffset;
        letter.offsetY = def.yOffset;
        letter.U = def.rect.origin.x / scale + _imageOffset.x;
        letter.V = def.rect.origin.y / scale + _imageOffset.y;
        letter.width = def.rect.size.width / scale;
        letter.height = def.rect.size.height / scale;
        letter.textureID = 0;
        letter.validDefinition = true;
        letter.xAdvance = def.xAdvance;
        atlas->addLetterDefinition(letter);
    });
    atlas->addTexture(texture, 0);
    return atlas;
}

}  // namespace kite
