#include "kite/scene/FontCharMap.h"

#include <new>

#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Value.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/FontAtlas.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {

Texture2D* loadTexture(const std::string& path) {
    TextureCache* cache = Director::getInstance()->getTextureCache();
    Texture2D* texture = cache && !path.empty() ? cache->addImage(path) : nullptr;
    if (!texture) log("FontCharMap: cannot load the image \"%s\"", platform::printableText(path).c_str());
    return texture;
}

bool hasKeys(const ValueMap& dict, std::initializer_list<const char*> keys) {
    for (const char* key : keys)
        if (dict.find(key) == dict.end()) return false;
    return true;
}

}  // namespace

FontCharMap* FontCharMap::create(const std::string& plistFile) {
    const std::string path = FileUtils::getInstance()->fullPathForFilename(plistFile);
    const std::size_t slash = path.find_last_of('/');
    const std::string directory = (slash == std::string::npos ? path : path.substr(0, slash)) + "/";

    const ValueMap dict = FileUtils::getInstance()->getValueMapFromFile(path);
    if (!hasKeys(dict, {"textureFilename", "itemWidth", "itemHeight", "firstChar"})) {
        log("FontCharMap: %s lacks one of its keys", platform::printableText(plistFile).c_str());
        return nullptr;
    }
    const float scale = frameContentScaleFactor();
    const auto width = static_cast<unsigned>(dict.at("itemWidth").asInt() / scale);
    const auto height = static_cast<unsigned>(dict.at("itemHeight").asInt() / scale);
    return create(directory + dict.at("textureFilename").asString(), static_cast<int>(width), static_cast<int>(height),
                  dict.at("firstChar").asInt());
}

FontCharMap* FontCharMap::create(const std::string& charMapFile, int itemWidth, int itemHeight, int startCharMap) {
    if (itemWidth <= 0 || itemHeight <= 0) {
        log("FontCharMap: cells of %d x %d are refused", itemWidth, itemHeight);
        return nullptr;
    }
    Texture2D* texture = loadTexture(charMapFile);
    return texture ? create(texture, itemWidth, itemHeight, startCharMap) : nullptr;
}

FontCharMap* FontCharMap::create(Texture2D* texture, int itemWidth, int itemHeight, int startCharMap) {
    if (!texture || itemWidth <= 0 || itemHeight <= 0) {
        log("FontCharMap: a character map needs a texture and cells of at least 1 x 1");
        return nullptr;
    }
    auto* font = new (std::nothrow) FontCharMap(texture, itemWidth, itemHeight, startCharMap);
    if (font) font->autorelease();
    return font;
}

std::unique_ptr<int[]> FontCharMap::getHorizontalKerningForTextUTF16(const std::u16string& text,
                                                                     int& outNumLetters) const {
    outNumLetters = static_cast<int>(text.size());
    if (text.empty()) return nullptr;
    return std::unique_ptr<int[]>(new (std::nothrow) int[text.size()]());
}

FontAtlas* FontCharMap::createFontAtlas() {
    auto* atlas = new (std::nothrow) FontAtlas(*this);
    if (!atlas) return nullptr;
    const int columns = static_cast<int>(_texture->getPixelsWide() / _itemWidth);
    const int rows = static_cast<int>(_texture->getPixelsHigh() / _itemHeight);
    atlas->setCommonLineHeight(static_cast<float>(_itemHeight));

    FontLetterDefinition letter;
    letter.textureID = 0;
    letter.validDefinition = true;
    letter.width = static_cast<float>(_itemWidth);
    letter.height = static_cast<float>(_itemHeight);
    letter.xAdvance = static_cast<int>(_itemWidth * frameContentScaleFactor());
    int charCode = _mapStartChar;
    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < columns; ++col) {
            letter.letteCharUTF16 = static_cast<char16_t>(charCode++);
            letter.U = static_cast<float>(_itemWidth * col);
            letter.V = static_cast<float>(_itemHeight * row);
            atlas->addLetterDefinition(letter);
        }
    }
    atlas->addTexture(_texture, 0);
    return atlas;
}

}  // namespace kite
