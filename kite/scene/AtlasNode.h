// The base of nodes that draw a grid of equal tiles cut from one texture, all quads in one command.
#pragma once
#include <sys/types.h>

#include "kite/foundation/math/Color.h"
#include "kite/rendering/QuadCommand.h"
#include "kite/rendering/ktTypes.h"
#include "kite/scene/Node.h"
#include "kite/scene/Protocols.h"

namespace kite {

class TextureAtlas;

class AtlasNode : public Node, public TextureProtocol {
public:
    // Null when the tile size is not positive or the atlas cannot be made.
    static AtlasNode* create(Texture2D* texture, int tileWidth, int tileHeight, int itemsToRender);

    AtlasNode() = default;
    ~AtlasNode() override;

    // Refuses (with a log line) a null texture and tiles that are not at least 1 x 1.
    bool initWithTexture(Texture2D* texture, int tileWidth, int tileHeight, int itemsToRender);
    using Node::init;
    bool init(Texture2D* texture, int tileWidth, int tileHeight, int itemsToRender) {
        return initWithTexture(texture, tileWidth, tileHeight, itemsToRender);
    }

    // Subclasses fill the atlas quads here.
    virtual void updateAtlasValues() {}

    Texture2D* getTexture() const override;
    void setTexture(Texture2D* texture) override;
    void setBlendFunc(const BlendFunc& blendFunc) override { blendFunc_ = blendFunc; }
    const BlendFunc& getBlendFunc() const override { return blendFunc_; }

    // Measure the texture in pixels rather than points.
    void setIgnoreContentScaleFactor(bool ignore) { ignoreContentScaleFactor_ = ignore; }
    TextureAtlas* getTextureAtlas() const { return textureAtlas_; }
    ssize_t getQuadsToDraw() const { return quadsToDraw_; }
    void setQuadsToDraw(ssize_t quads) { quadsToDraw_ = quads; }
    int getItemsPerRow() const { return itemsPerRow_; }
    int getItemsPerColumn() const { return itemsPerColumn_; }
    // Recounts the tiles across and down the texture.
    void calculateMaxItems();

    const Color3B& getColor() const override;
    void setColor(const Color3B& color) override;
    void setOpacity(uint8_t opacity) override;
    void setOpacityModifyRGB(bool modify) override;
    bool isOpacityModifyRGB() const override { return isOpacityModifyRGB_; }

    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;
    using Node::draw;

protected:
    void updateBlendFunc();

    int itemsPerRow_ = 0;
    int itemsPerColumn_ = 0;
    int itemWidth_ = 0;
    int itemHeight_ = 0;
    Color3B colorUnmodified_;
    TextureAtlas* textureAtlas_ = nullptr;  // owned
    bool isOpacityModifyRGB_ = false;
    BlendFunc blendFunc_ = BlendFunc::ALPHA_PREMULTIPLIED;
    ssize_t quadsToDraw_ = 0;
    bool ignoreContentScaleFactor_ = false;
    QuadCommand quadCommand_;
};

}  // namespace kite
