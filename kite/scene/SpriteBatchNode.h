// Draws all its descendant sprites, which share its texture, from one texture atlas in one call.
#pragma once
#include <sys/types.h>

#include <string>
#include <vector>

#include "kite/rendering/BatchCommand.h"
#include "kite/rendering/ktTypes.h"
#include "kite/scene/Node.h"
#include "kite/scene/Protocols.h"

namespace kite {

class Sprite;
class TextureAtlas;

class SpriteBatchNode : public Node, public TextureProtocol {
public:
    static constexpr ssize_t DEFAULT_CAPACITY = 29;

    static SpriteBatchNode* createWithTexture(Texture2D* texture, ssize_t capacity = DEFAULT_CAPACITY);
    // Null when the file cannot be loaded.
    static SpriteBatchNode* create(const std::string& fileImage, ssize_t capacity = DEFAULT_CAPACITY);

    SpriteBatchNode() = default;
    ~SpriteBatchNode() override;

    // A capacity of 0 means the default. False when the atlas cannot be made.
    virtual bool initWithTexture(Texture2D* texture, ssize_t capacity);
    bool init(Texture2D* texture, ssize_t capacity);
    // An empty texture and the default capacity.
    bool init() override;

    std::string description() const override;

    TextureAtlas* getTextureAtlas() const { return textureAtlas_; }
    const std::vector<Sprite*>& getDescendants() const { return descendants_; }

    Texture2D* getTexture() const override;
    void setTexture(Texture2D* texture) override;
    void setBlendFunc(const BlendFunc& blendFunc) override { blendFunc_ = blendFunc; }
    const BlendFunc& getBlendFunc() const override { return blendFunc_; }

    // Children must be sprites drawing from this node's texture.
    using Node::addChild;
    void addChild(Node* child, int localZ, int tag) override;
    void addChild(Node* child, int localZ, const std::string& name) override;
    void reorderChild(Node* child, int localZ) override;
    void removeChild(Node* child, bool cleanup = true) override;
    void removeAllChildrenWithCleanup(bool cleanup) override;
    void sortAllChildren() override;

    // Sorts, recomputes the dirty quads and submits the atlas; the children are not visited.
    void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
    using Node::visit;
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;
    using Node::draw;

    // The sprite and its children enter the atlas after the last quad.
    void appendChild(Sprite* sprite);
    // The sprite and its children leave the atlas; later quads move down.
    void removeSpriteFromAtlas(Sprite* sprite);
    void reorderBatch(bool reorder) { reorderChildDirty = reorder; }
    // For labels: places the sprite's quad at the index.
    void insertQuadFromSprite(Sprite* sprite, ssize_t index);
    // For labels: adds a child whose quad is already in place at atlas index z.
    void addSpriteWithoutQuad(Sprite* child, int z, int tag);

private:
    void updateBlendFunc();
    void updateAtlasIndex(Sprite* sprite, ssize_t* currentIndex);
    void swap(ssize_t oldIndex, ssize_t newIndex);
    // Grows the atlas by a third; false (with a log line) when it cannot.
    bool increaseAtlasCapacity();

    TextureAtlas* textureAtlas_ = nullptr;  // one reference
    BlendFunc blendFunc_ = BlendFunc::ALPHA_PREMULTIPLIED;
    BatchCommand batchCommand_;
    std::vector<Sprite*> descendants_;  // not retained: the children lists hold them
    bool atlasFullReported_ = false;
};

}  // namespace kite
