// The font over a grid of equal character cells in one image, numbered in code order from a first character.
#pragma once
#include <string>

#include "kite/scene/Font.h"

namespace kite {

class Texture2D;

class FontCharMap : public Font {
public:
    // From a property list with "textureFilename", "itemWidth", "itemHeight" and "firstChar".
    // Null (with a log line) when a key is missing, a cell is empty or the image cannot be loaded.
    static FontCharMap* create(const std::string& plistFile);
    static FontCharMap* create(const std::string& charMapFile, int itemWidth, int itemHeight, int startCharMap);
    static FontCharMap* create(Texture2D* texture, int itemWidth, int itemHeight, int startCharMap);

    FontAtlas* createFontAtlas() override;
    // All zeros: cells have no kerning.
    std::unique_ptr<int[]> getHorizontalKerningForTextUTF16(const std::u16string& text,
                                                            int& outNumLetters) const override;

private:
    FontCharMap(Texture2D* texture, int itemWidth, int itemHeight, int startCharMap)
        : _texture(texture), _mapStartChar(startCharMap), _itemWidth(itemWidth), _itemHeight(itemHeight) {}

    Texture2D* _texture;  // not retained: the cache or the caller keeps it until the atlas does
    int _mapStartChar;
    int _itemWidth;
    int _itemHeight;
};

}  // namespace kite
