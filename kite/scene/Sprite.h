// The node that shows a rectangle of a texture as one coloured quad, on its own or inside a sprite batch node.
#pragma once
#include <sys/types.h>

#include <memory>
#include <string>

#include "kite/rendering/QuadCommand.h"
#include "kite/rendering/ktTypes.h"
#include "kite/scene/Node.h"
#include "kite/scene/Protocols.h"

namespace kite {

class SpriteBatchNode;
class SpriteFrame;
class TextureAtlas;

class Sprite : public Node, public TextureProtocol {
public:
    static constexpr ssize_t INDEX_NOT_INITIALIZED = -1;
    // The key of the white texture that stands in for a missing one.
    static constexpr const char* WHITE_TEXTURE_KEY = "/kt_2x2_white_image";

    static Sprite* create();
    // Null when the file cannot be loaded.
    static Sprite* create(const std::string& fileName);
    static Sprite* create(const std::string& fileName, const Rect& rect);
    static Sprite* createWithTexture(Texture2D* texture);
    static Sprite* createWithTexture(Texture2D* texture, const Rect& rect, bool rotated = false);
    // Null for a null frame.
    static Sprite* createWithSpriteFrame(SpriteFrame* frame);
    static Sprite* createWithSpriteFrameName(const std::string& name);

    Sprite();
    ~Sprite() override;

    bool init() override;
    virtual bool initWithTexture(Texture2D* texture);
    virtual bool initWithTexture(Texture2D* texture, const Rect& rect);
    virtual bool initWithTexture(Texture2D* texture, const Rect& rect, bool rotated);
    virtual bool initWithSpriteFrame(SpriteFrame* frame);
    virtual bool initWithSpriteFrameName(const std::string& name);
    virtual bool initWithFile(const std::string& fileName);
    virtual bool initWithFile(const std::string& fileName, const Rect& rect);

    std::string description() const override;

    // Batch mode.
    virtual SpriteBatchNode* getBatchNode() const { return batchNode_; }
    virtual void setBatchNode(SpriteBatchNode* batchNode);
    TextureAtlas* getTextureAtlas() const { return spriteCold_ ? spriteCold_->textureAtlas : nullptr; }
    void setTextureAtlas(TextureAtlas* atlas) {
        if (atlas || spriteCold_) spriteCold().textureAtlas = atlas;
    }
    ssize_t getAtlasIndex() const { return spriteCold_ ? spriteCold_->atlasIndex : INDEX_NOT_INITIALIZED; }
    void setAtlasIndex(ssize_t index) {
        if (index != INDEX_NOT_INITIALIZED || spriteCold_) spriteCold().atlasIndex = index;
    }
    virtual bool isDirty() const { return dirty_; }
    virtual void setDirty(bool dirty) { dirty_ = dirty; }
    virtual void setDirtyRecursively(bool value);
    virtual void setReorderChildDirtyRecursively();
    const Mat4& getTransformToBatch() const {
        return spriteCold_ && spriteCold_->transformToBatch ? *spriteCold_->transformToBatch : Mat4::IDENTITY;
    }

    // Texture.
    virtual void setTexture(const std::string& fileName);
    // A null texture is replaced by the white 2 x 2 texture.
    void setTexture(Texture2D* texture) override;
    Texture2D* getTexture() const override { return texture_; }

    // Rectangles and frames.
    virtual void setTextureRect(const Rect& rect);
    virtual void setTextureRect(const Rect& rect, bool rotated, const Size& untrimmedSize);
    virtual void setVertexRect(const Rect& rect) { rect_ = rect; }
    virtual void setSpriteFrame(const std::string& name);
    virtual void setSpriteFrame(SpriteFrame* frame);
    virtual void setDisplayFrame(SpriteFrame* frame) { setSpriteFrame(frame); }
    virtual bool isFrameDisplayed(SpriteFrame* frame) const;
    // A new frame describing what the sprite shows now.
    virtual SpriteFrame* getSpriteFrame() const;
    virtual void setDisplayFrameWithAnimationName(const std::string& animationName, ssize_t frameIndex);
    const Rect& getTextureRect() const { return rect_; }
    bool isTextureRectRotated() const { return rectRotated_; }
    const Vec2& getOffsetPosition() const { return offsetPosition_; }
    const PosColorTexQuad& getQuad() const { return quad_; }

    void setBlendFunc(const BlendFunc& blendFunc) override { blendFunc_ = blendFunc; }
    const BlendFunc& getBlendFunc() const override { return blendFunc_; }
    void setOpacityModifyRGB(bool modify) override;
    bool isOpacityModifyRGB() const override { return opacityModifyRGB_; }
    bool isFlippedX() const { return flippedX_; }
    bool isFlippedY() const { return flippedY_; }

    // Placement setters mark the quad dirty for the batch node.
    void setScaleX(float s) override;
    void setScaleY(float s) override;
    void setScale(float s) override;
    void setScale(float x, float y) override;
    void setPosition(const Vec2& p) override;
    void setPosition(float x, float y) override;
    void setPositionZ(float z) override;
    void setSkewX(float degrees) override;
    void setSkewY(float degrees) override;
    void setAnchorPoint(const Vec2& anchor) override;
    void setVisible(bool v) override;
    void setRotation(float degrees) override;
    void setRotationSkewX(float degrees) override;
    void setRotationSkewY(float degrees) override;
    void setIgnoreAnchorForPosition(bool ignore) override { Node::setIgnoreAnchorForPosition(ignore); }

    using Node::addChild;
    void addChild(Node* child, int localZ, int tag) override;
    void addChild(Node* child, int localZ, const std::string& name) override;
    void removeChild(Node* child, bool cleanup = true) override;
    void removeAllChildrenWithCleanup(bool cleanup) override;
    void reorderChild(Node* child, int localZ) override;
    void sortAllChildren() override;

    void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
    using Node::visit;
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;
    using Node::draw;
    // Batch mode: recomputes a dirty quad into the batch node's atlas, then the children's.
    void updateTransform() override;
    void updateColor() override;

protected:
    virtual void setTextureCoords(const Rect& rect);
    virtual void updateBlendFunc();
    // Inline: a moving sprite is placed every frame and is usually marked already.
    void markDirtyAfterPlacement() {
        if (!recursiveDirty_) markDirtyRecursively();
    }
    void markDirtyRecursively();
    // Batched: a new child sprite joins the batch before it joins this node; false refuses it.
    bool enterBatchWithParent(Node* child);
    void buildVerticesFromRect();

    // The batch node draws the sprite when set; read on every placement change.
    SpriteBatchNode* batchNode_ = nullptr;  // not retained
    Texture2D* texture_ = nullptr;          // retained
    BlendFunc blendFunc_ = BlendFunc::ALPHA_PREMULTIPLIED;
    // Flags written in every frame or on every placement change are whole bytes; the rest are bits,
    // cleared in the constructor.
    bool insideBounds_ = true;
    bool dirty_ = false;
    bool recursiveDirty_ = false;
    bool shouldBeHidden_ : 1;
    bool rectRotated_ : 1;
    bool opacityModifyRGB_ : 1;
    bool flippedX_ : 1;
    bool flippedY_ : 1;
    PosColorTexQuad quad_{};
    QuadCommand quadCommand_;
    Rect rect_;
    Vec2 offsetPosition_;

    // What most sprites never have, made on first use: the frame they were given, and their
    // place in a batch node.
    struct SpriteColdData {
        SpriteFrame* spriteFrame = nullptr;  // retained
        Vec2 unflippedOffsetPositionFromCenter;
        TextureAtlas* textureAtlas = nullptr;  // the batch node's, not retained
        ssize_t atlasIndex = INDEX_NOT_INITIALIZED;
        std::unique_ptr<Mat4> transformToBatch;  // made when the sprite first joins a batch node
    };
    SpriteColdData& spriteCold() {
        if (!spriteCold_) spriteCold_ = std::make_unique<SpriteColdData>();
        return *spriteCold_;
    }
    Mat4& batchTransform() {
        SpriteColdData& c = spriteCold();
        if (!c.transformToBatch) c.transformToBatch = std::make_unique<Mat4>();
        return *c.transformToBatch;
    }
    const Vec2& unflippedOffsetPositionFromCenter() const {
        return spriteCold_ ? spriteCold_->unflippedOffsetPositionFromCenter : Vec2::ZERO;
    }
    std::unique_ptr<SpriteColdData> spriteCold_;
};

}  // namespace kite
