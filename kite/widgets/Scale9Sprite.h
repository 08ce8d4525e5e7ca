// The nine-slice sprite: one image cut by cap insets into corners, edges and centre, stretched to any size.
#pragma once
#include <string>

#include "kite/foundation/Vector.h"
#include "kite/foundation/math/MathTypes.h"
#include "kite/scene/Node.h"

namespace kite {

class SpriteBatchNode;
class SpriteFrame;
class Sprite;

namespace ui {

// A plain node that keeps its slice sprites in a protected list of its own: they are drawn
// with it but are not its children. Corners keep their size; edges stretch along their side
// and the centre both ways, so that the nine together fill the content size.
class Scale9Sprite : public Node {
public:
    // An image that cannot be loaded gives a sprite without one (drawing nothing), with a log line.
    static Scale9Sprite* create(const std::string& file);
    static Scale9Sprite* create(const std::string& file, const Rect& rect, const Rect& capInsets);
    // Without an image: draws nothing until one is given.
    static Scale9Sprite* create();
    static Scale9Sprite* createWithSpriteFrame(SpriteFrame* frame, const Rect& capInsets = Rect::ZERO);
    // Null when the sprite-frame cache has no frame of that name.
    static Scale9Sprite* createWithSpriteFrameName(const std::string& name, const Rect& capInsets = Rect::ZERO);

    Scale9Sprite();
    ~Scale9Sprite() override;

    bool init() override;
    virtual bool initWithFile(const std::string& file, const Rect& rect, const Rect& capInsets);
    virtual bool initWithFile(const std::string& file, const Rect& rect);
    virtual bool initWithFile(const Rect& capInsets, const std::string& file);
    virtual bool initWithFile(const std::string& file);
    virtual bool initWithSpriteFrame(SpriteFrame* frame, const Rect& capInsets);
    virtual bool initWithSpriteFrame(SpriteFrame* frame);
    virtual bool initWithSpriteFrameName(const std::string& name, const Rect& capInsets);
    virtual bool initWithSpriteFrameName(const std::string& name);
    virtual bool init(Sprite* sprite, const Rect& rect, bool rotated, const Rect& capInsets);
    virtual bool init(Sprite* sprite, const Rect& rect, const Rect& capInsets);
    virtual bool init(Sprite* sprite, const Rect& rect, bool rotated, const Vec2& offset, const Size& untrimmedSize,
                      const Rect& capInsets);
    virtual bool initWithBatchNode(SpriteBatchNode* batchNode, const Rect& rect, bool rotated, const Rect& capInsets);
    virtual bool initWithBatchNode(SpriteBatchNode* batchNode, const Rect& rect, const Rect& capInsets);

    // Rebuilds the slices from the sprite's image; false when there is no image to slice.
    virtual bool updateWithSprite(Sprite* sprite, const Rect& rect, bool rotated, const Rect& capInsets);
    virtual bool updateWithSprite(Sprite* sprite, const Rect& rect, bool rotated, const Vec2& offset,
                                  const Size& untrimmedSize, const Rect& capInsets);
    virtual void setSpriteFrame(SpriteFrame* frame, const Rect& capInsets = Rect::ZERO);

    // x = left width, y = top height, width and height = the centre's, from the image's top-left.
    void setCapInsets(const Rect& capInsets);
    const Rect& getCapInsets() const { return capInsets; }
    float getInsetLeft() const { return insetLeft; }
    float getInsetTop() const { return insetTop; }
    float getInsetRight() const { return insetRight; }
    float getInsetBottom() const { return insetBottom; }
    void setPreferredSize(const Size& size);
    const Size& getPreferredSize() const { return preferredSize; }
    const Size& getOriginalSize() const { return untrimmedSize; }
    void setScale9Enabled(bool enabled);
    bool isScale9Enabled() const { return scale9Enabled; }
    Sprite* getSprite() const { return scale9Image; }

    // A flip negates the scale handed to the node; the getters answer the unflipped scale.
    virtual void setFlippedX(bool flipped);
    virtual bool isFlippedX() const { return flippedX; }
    virtual void setFlippedY(bool flipped);
    virtual bool isFlippedY() const { return flippedY; }
    void setScaleX(float s) override;
    float getScaleX() const override;
    void setScaleY(float s) override;
    float getScaleY() const override;
    void setScale(float s) override;
    void setScale(float x, float y) override;
    float getScale() const override { return getScaleX(); }

    void setContentSize(const Size& size) override;
    void setAnchorPoint(const Vec2& anchor) override;
    void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
    using Node::visit;

    void onEnter() override;
    void onExit() override;
    void onEnterTransitionFinished() override;
    void onExitTransitionStarted() override;
    void cleanup() override;

    void updateDisplayedColor(const Color3B& parentColor) override;
    void updateDisplayedOpacity(uint8_t parentOpacity) override;
    void disableCascadeColor() override;
    void disableCascadeOpacity() override;

    // Lays the slices out when the size changed, then puts the list in drawing order.
    virtual void sortAllProtectedChildren();
    const Vector<Node*>& getProtectedChildren() const { return protectedChildren; }

private:
    // Slots of the nine slice sprites, rows from the top, as the cut gives them.
    enum Slice { TOP_LEFT, TOP, TOP_RIGHT, LEFT, CENTRE, RIGHT, BOTTOM_LEFT, BOTTOM, BOTTOM_RIGHT, SLICE_COUNT };

    void createSlicedSprites();
    void updatePositions();
    void removeSlices();
    // Lifecycle steps reach the slices after the node itself.
    void forEachProtectedChild(void (Node::*step)());
    // Places one slice; nothing when that slice has no sprite.
    void placeSlice(Slice slice, const Vec2& anchor, const Vec2& position);

    bool spritesGenerated = false;
    Rect spriteRect;
    bool spriteFrameRotated = false;
    Rect capInsetsInternal;
    bool positionsAreDirty = true;
    Sprite* scale9Image = nullptr;     // retained
    Sprite* slices[SLICE_COUNT] = {};  // each retained
    bool scale9Enabled = true;
    Size topLeftSize;
    Size centreSize;
    Size bottomRightSize;
    Vec2 centreOffset;
    Size untrimmedSize;
    Vec2 offset;
    Size preferredSize;
    Rect capInsets;
    float insetLeft = 0.0f;
    float insetTop = 0.0f;
    float insetRight = 0.0f;
    float insetBottom = 0.0f;
    Vector<Node*> protectedChildren;
    bool reorderProtectedChildDirty = false;
    bool flippedX = false;
    bool flippedY = false;
};

}  // namespace ui
}  // namespace kite
