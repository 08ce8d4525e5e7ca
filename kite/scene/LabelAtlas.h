// A light text node over an atlas node: each byte of its string is one cell of a grid image, counted from a first
// character.
#pragma once
#include <string>

#include "kite/scene/AtlasNode.h"
#include "kite/scene/LabelTypes.h"

namespace kite {

class LabelAtlas : public AtlasNode, public LabelProtocol {
public:
    // Uninitialised, with an empty string.
    static LabelAtlas* create();
    // Null when the atlas node cannot be made.
    static LabelAtlas* create(const std::string& string, Texture2D* texture, int itemWidth, int itemHeight,
                              int startCharMap);

    LabelAtlas() = default;
    ~LabelAtlas() override;

    bool init() override { return true; }
    bool initWithString(const std::string& string, Texture2D* texture, int itemWidth, int itemHeight, int startCharMap);

    void setString(const std::string& label) override;
    const std::string& getString() const override { return _string; }

    // Cells past the image's grid stay blank.
    void updateAtlasValues() override;
    void updateColor() override;
    std::string description() const override;

private:
    std::string _string;
    unsigned char _mapStartChar = 0;
};

}  // namespace kite
