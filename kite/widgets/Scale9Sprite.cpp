#include "kite/widgets/Scale9Sprite.h"

#include <algorithm>
#include <cmath>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Director.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/SpriteBatchNode.h"
#include "kite/scene/SpriteFrame.h"
#include "kite/scene/SpriteFrameCache.h"
#include "kite/widgets/NineSlices.h"
#include "platform/PrintableText.h"

namespace kite {
namespace ui {

namespace {

// A centre of zero size cannot be stretched to anything: it scales to nothing.
float stretch(float wanted, float natural) { return natural != 0.0f ? wanted / natural : 0.0f; }

// The create pattern with any member of the init family.
template <class Init>
Scale9Sprite* createWith(Init&& initialise) {
    auto* sprite = new (std::nothrow) Scale9Sprite();
    if (sprite && initialise(sprite)) {
        sprite->autorelease();
        return sprite;
    }
    delete sprite;
    return nullptr;
}

}  // namespace

Scale9Sprite* Scale9Sprite::create() {
    return createWith([](Scale9Sprite* s) { return s->init(); });
}

Scale9Sprite* Scale9Sprite::create(const std::string& file) { return create(file, Rect::ZERO, Rect::ZERO); }

Scale9Sprite* Scale9Sprite::create(const std::string& file, const Rect& rect, const Rect& capInsets) {
    Scale9Sprite* sprite = createWith([&](Scale9Sprite* s) { return s->initWithFile(file, rect, capInsets); });
    // Such a sprite has no image and draws nothing; callers may still place it, so it is kept, with a word.
    if (sprite && !sprite->scale9Image)
        log("Scale9Sprite: cannot load the image \"%s\"", platform::printableText(file).c_str());
    return sprite;
}

Scale9Sprite* Scale9Sprite::createWithSpriteFrame(SpriteFrame* frame, const Rect& capInsets) {
    return createWith([&](Scale9Sprite* s) { return s->initWithSpriteFrame(frame, capInsets); });
}

Scale9Sprite* Scale9Sprite::createWithSpriteFrameName(const std::string& name, const Rect& capInsets) {
    return createWith([&](Scale9Sprite* s) { return s->initWithSpriteFrameName(name, capInsets); });
}

Scale9Sprite::Scale9Sprite() { setAnchorPoint(Vec2(0.5f, 0.5f)); }

Scale9Sprite::~Scale9Sprite() {
    removeSlices();
    releaseAndClear(scale9Image);
}

// ---- the init family, all ending in updateWithSprite -------------------------------------

bool Scale9Sprite::init() { return init(nullptr, Rect::ZERO, Rect::ZERO); }

bool Scale9Sprite::init(Sprite* sprite, const Rect& rect, const Rect& capInsets) {
    return init(sprite, rect, false, capInsets);
}

bool Scale9Sprite::init(Sprite* sprite, const Rect& rect, bool rotated, const Rect& capInsets) {
    return init(sprite, rect, rotated, Vec2::ZERO, rect.size, capInsets);
}

bool Scale9Sprite::init(Sprite* sprite, const Rect& rect, bool rotated, const Vec2& trimOffset,
                        const Size& originalSize, const Rect& insets) {
    if (sprite) updateWithSprite(sprite, rect, rotated, trimOffset, originalSize, insets);
    return true;
}

bool Scale9Sprite::initWithFile(const std::string& file, const Rect& rect, const Rect& insets) {
    return init(Sprite::create(file), rect, insets);
}

bool Scale9Sprite::initWithFile(const std::string& file, const Rect& rect) {
    return initWithFile(file, rect, Rect::ZERO);
}

bool Scale9Sprite::initWithFile(const Rect& insets, const std::string& file) {
    return initWithFile(file, Rect::ZERO, insets);
}

bool Scale9Sprite::initWithFile(const std::string& file) { return initWithFile(file, Rect::ZERO, Rect::ZERO); }

bool Scale9Sprite::initWithSpriteFrame(SpriteFrame* frame, const Rect& insets) {
    if (!frame) return false;
    return init(Sprite::createWithSpriteFrame(frame), frame->getRect(), frame->isRotated(), frame->getOffset(),
                frame->getOriginalSize(), insets);
}

bool Scale9Sprite::initWithSpriteFrame(SpriteFrame* frame) { return initWithSpriteFrame(frame, Rect::ZERO); }

bool Scale9Sprite::initWithSpriteFrameName(const std::string& name, const Rect& insets) {
    SpriteFrame* frame = SpriteFrameCache::getInstance()->getSpriteFrameByName(name);
    return frame && initWithSpriteFrame(frame, insets);
}

bool Scale9Sprite::initWithSpriteFrameName(const std::string& name) {
    return initWithSpriteFrameName(name, Rect::ZERO);
}

bool Scale9Sprite::initWithBatchNode(SpriteBatchNode* batchNode, const Rect& rect, bool rotated, const Rect& insets) {
    Sprite* sprite = batchNode ? Sprite::createWithTexture(batchNode->getTexture()) : nullptr;
    return init(sprite, rect, rotated, insets);
}

bool Scale9Sprite::initWithBatchNode(SpriteBatchNode* batchNode, const Rect& rect, const Rect& insets) {
    return initWithBatchNode(batchNode, rect, false, insets);
}

// ---- slicing ------------------------------------------------------------------------------

bool Scale9Sprite::updateWithSprite(Sprite* sprite, const Rect& rect, bool rotated, const Rect& insets) {
    return updateWithSprite(sprite, rect, rotated, Vec2::ZERO, rect.size, insets);
}

bool Scale9Sprite::updateWithSprite(Sprite* sprite, const Rect& textureRect, bool rotated, const Vec2& trimOffset,
                                    const Size& originalSize, const Rect& insets) {
    const uint8_t opacity = getOpacity();
    const Color3B color = getColor();
    removeSlices();

    if (sprite) {
        if (!sprite->getTexture()) return false;
        if (!scale9Image) {
            assignRetained(scale9Image, sprite);
        } else if (sprite != scale9Image) {
            scale9Image->setSpriteFrame(sprite->getSpriteFrame());
        }
    }
    if (!scale9Image || !scale9Image->getTexture()) return false;

    capInsets = insets;
    Rect rect = textureRect;
    if (rect.equals(Rect::ZERO)) {
        const Size textureSize = scale9Image->getTexture()->getContentSize();
        rect = Rect(0.0f, 0.0f, textureSize.width, textureSize.height);
    }
    Size size = originalSize;
    if (size.equals(Size::ZERO)) size = rect.size;

    spriteRect = rect;
    offset = trimOffset;
    spriteFrameRotated = rotated;
    untrimmedSize = size;
    preferredSize = size;
    capInsetsInternal = insets;
    if (scale9Enabled) createSlicedSprites();
    setContentSize(size);

    if (spritesGenerated) {
        setOpacity(opacity);
        setColor(color);
    }
    spritesGenerated = true;
    return true;
}

void Scale9Sprite::createSlicedSprites() {
    const float w = untrimmedSize.width;
    const float h = untrimmedSize.height;
    if (capInsetsInternal.equals(Rect::ZERO)) capInsetsInternal = Rect(w / 3, h / 3, w / 3, h / 3);
    const NineSlices cut = sliceImage(spriteRect, spriteFrameRotated, offset, untrimmedSize, capInsetsInternal);
    topLeftSize = cut.topLeftSize;
    centreSize = cut.centreSize;
    bottomRightSize = cut.bottomRightSize;
    centreOffset = cut.centreOffset;

    static constexpr Slice kCreationOrder[SLICE_COUNT] = {CENTRE,   TOP,       BOTTOM,      LEFT,        RIGHT,
                                                          TOP_LEFT, TOP_RIGHT, BOTTOM_LEFT, BOTTOM_RIGHT};
    for (Slice slice : kCreationOrder) {
        const Rect& r = cut.slices[slice];
        if (!(r.size.width > 0.0f && r.size.height > 0.0f)) continue;
        Sprite* sprite = Sprite::createWithTexture(scale9Image->getTexture(), r, spriteFrameRotated);
        if (!sprite) continue;
        assignRetained(slices[slice], sprite);
        sprite->setParent(this);
        protectedChildren.pushBack(sprite);
        reorderProtectedChildDirty = true;
    }
    positionsAreDirty = true;
}

void Scale9Sprite::removeSlices() {
    for (Sprite*& slice : slices) {
        if (!slice) continue;
        if (slice->isRunning()) slice->onExit();
        slice->setParent(nullptr);
        releaseAndClear(slice);
    }
    protectedChildren.clear();
}

// ---- layout -------------------------------------------------------------------------------

void Scale9Sprite::placeSlice(Slice slice, const Vec2& anchor, const Vec2& position) {
    if (Sprite* sprite = slices[slice]) {
        sprite->setAnchorPoint(anchor);
        sprite->setPosition(position);
    }
}

void Scale9Sprite::updatePositions() {
    const float horizontalScale =
        stretch(contentSize.width - topLeftSize.width - bottomRightSize.width, centreSize.width);
    const float verticalScale =
        stretch(contentSize.height - topLeftSize.height - bottomRightSize.height, centreSize.height);
    const float rescaledWidth = centreSize.width * horizontalScale;
    const float rescaledHeight = centreSize.height * verticalScale;
    const float leftWidth = topLeftSize.width;
    const float bottomHeight = bottomRightSize.height;
    const Vec2 shift(centreOffset.x * horizontalScale, centreOffset.y * verticalScale);
    const float right = leftWidth + rescaledWidth;
    const float top = bottomHeight + rescaledHeight;
    const float middleX = leftWidth + rescaledWidth / 2 + shift.x;
    const float middleY = bottomHeight + rescaledHeight / 2 + shift.y;

    placeSlice(BOTTOM_LEFT, Vec2(1, 1), Vec2(leftWidth, bottomHeight));
    placeSlice(BOTTOM_RIGHT, Vec2(0, 1), Vec2(right, bottomHeight));
    placeSlice(TOP_LEFT, Vec2(1, 0), Vec2(leftWidth, top));
    placeSlice(TOP_RIGHT, Vec2(0, 0), Vec2(right, top));
    placeSlice(LEFT, Vec2(1, 0.5f), Vec2(leftWidth, middleY));
    placeSlice(RIGHT, Vec2(0, 0.5f), Vec2(right, middleY));
    placeSlice(TOP, Vec2(0.5f, 0), Vec2(middleX, top));
    placeSlice(BOTTOM, Vec2(0.5f, 1), Vec2(middleX, bottomHeight));
    placeSlice(CENTRE, Vec2(0.5f, 0.5f), Vec2(middleX, middleY));
    if (slices[LEFT]) slices[LEFT]->setScaleY(verticalScale);
    if (slices[RIGHT]) slices[RIGHT]->setScaleY(verticalScale);
    if (slices[TOP]) slices[TOP]->setScaleX(horizontalScale);
    if (slices[BOTTOM]) slices[BOTTOM]->setScaleX(horizontalScale);
    if (slices[CENTRE]) slices[CENTRE]->setScale(horizontalScale, verticalScale);
}

void Scale9Sprite::sortAllProtectedChildren() {
    if (positionsAreDirty) {
        updatePositions();
        if (scale9Image) {
            const Vec2& anchor = scale9Image->getAnchorPoint();
            scale9Image->setPosition(contentSize.width * anchor.x, contentSize.height * anchor.y);
        }
        positionsAreDirty = false;
    }
    if (reorderProtectedChildDirty) {
        std::stable_sort(protectedChildren.begin(), protectedChildren.end(), Node::childDrawOrderLess);
        reorderProtectedChildDirty = false;
    }
}

void Scale9Sprite::setContentSize(const Size& size) {
    Node::setContentSize(size);
    positionsAreDirty = true;
}

void Scale9Sprite::setAnchorPoint(const Vec2& anchor) {
    Node::setAnchorPoint(anchor);
    if (!scale9Enabled && scale9Image) {
        scale9Image->setAnchorPoint(anchor);
        positionsAreDirty = true;
    }
}

void Scale9Sprite::setPreferredSize(const Size& size) {
    setContentSize(size);
    preferredSize = size;
}

void Scale9Sprite::setCapInsets(const Rect& insets) {
    const Size kept = contentSize;
    updateWithSprite(scale9Image, spriteRect, spriteFrameRotated, offset, untrimmedSize, insets);
    insetLeft = insets.origin.x;
    insetTop = insets.origin.y;
    insetRight = untrimmedSize.width - insetLeft - insets.size.width;
    insetBottom = untrimmedSize.height - insetTop - insets.size.height;
    setContentSize(kept);
}

void Scale9Sprite::setSpriteFrame(SpriteFrame* frame, const Rect& insets) {
    if (!frame) return;
    Sprite* sprite = Sprite::createWithTexture(frame->getTexture());
    updateWithSprite(sprite, frame->getRect(), frame->isRotated(), frame->getOffset(), frame->getOriginalSize(),
                     insets);
    insetLeft = insets.origin.x;
    insetTop = insets.origin.y;
    insetRight = untrimmedSize.width - insetLeft - insets.size.width;
    insetBottom = untrimmedSize.height - insetTop - insets.size.height;
}

void Scale9Sprite::setScale9Enabled(bool enabled) {
    if (scale9Enabled == enabled) return;
    scale9Enabled = enabled;
    removeSlices();
    markTransformDirty();
    if (enabled && scale9Image) {
        updateWithSprite(scale9Image, spriteRect, spriteFrameRotated, offset, untrimmedSize, capInsets);
    }
    positionsAreDirty = true;
}

// ---- flips and scale ----------------------------------------------------------------------

void Scale9Sprite::setFlippedX(bool flipped) {
    if (flippedX == flipped) return;
    const float unflipped = getScaleX();
    flippedX = flipped;
    setScaleX(unflipped);
}

void Scale9Sprite::setFlippedY(bool flipped) {
    if (flippedY == flipped) return;
    const float unflipped = getScaleY();
    flippedY = flipped;
    setScaleY(unflipped);
}

void Scale9Sprite::setScaleX(float s) { Node::setScaleX(flippedX ? -s : s); }
float Scale9Sprite::getScaleX() const { return flippedX ? -scaleX : scaleX; }
void Scale9Sprite::setScaleY(float s) { Node::setScaleY(flippedY ? -s : s); }
float Scale9Sprite::getScaleY() const { return flippedY ? -scaleY : scaleY; }

void Scale9Sprite::setScale(float s) {
    setScaleX(s);
    setScaleY(s);
    setScaleZ(s);
}

void Scale9Sprite::setScale(float x, float y) {
    setScaleX(x);
    setScaleY(y);
}

// ---- drawing and lifecycle ----------------------------------------------------------------

void Scale9Sprite::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!visible) return;
    const uint32_t flags = updateTransformFromParent(parentTransform, parentFlags);
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW, modelViewTransform);
    sortAllChildren();
    sortAllProtectedChildren();

    std::size_t child = 0;
    for (; child < children.size() && children.at(child)->getLocalZOrder() < 0; ++child)
        children.at(child)->visit(renderer, modelViewTransform, flags);
    std::size_t slice = 0;
    if (scale9Enabled) {
        for (; slice < protectedChildren.size() && protectedChildren.at(slice)->getLocalZOrder() < 0; ++slice)
            protectedChildren.at(slice)->visit(renderer, modelViewTransform, flags);
    } else if (scale9Image && scale9Image->getLocalZOrder() < 0) {
        scale9Image->visit(renderer, modelViewTransform, flags);
    }

    if (isVisibleToCamera()) draw(renderer, modelViewTransform, flags);

    if (scale9Enabled) {
        for (; slice < protectedChildren.size(); ++slice)
            protectedChildren.at(slice)->visit(renderer, modelViewTransform, flags);
    } else if (scale9Image && scale9Image->getLocalZOrder() >= 0) {
        scale9Image->visit(renderer, modelViewTransform, flags);
    }
    for (; child < children.size(); ++child) children.at(child)->visit(renderer, modelViewTransform, flags);
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
}

void Scale9Sprite::forEachProtectedChild(void (Node::*step)()) {
    for (Node* node : protectedChildren) (node->*step)();
}

void Scale9Sprite::onEnter() {
    Node::onEnter();
    forEachProtectedChild(&Node::onEnter);
}

void Scale9Sprite::onExit() {
    Node::onExit();
    forEachProtectedChild(&Node::onExit);
}

void Scale9Sprite::onEnterTransitionFinished() {
    Node::onEnterTransitionFinished();
    forEachProtectedChild(&Node::onEnterTransitionFinished);
}

void Scale9Sprite::onExitTransitionStarted() {
    Node::onExitTransitionStarted();
    forEachProtectedChild(&Node::onExitTransitionStarted);
}

void Scale9Sprite::cleanup() {
    Node::cleanup();
    forEachProtectedChild(&Node::cleanup);
}

// ---- colour and opacity -------------------------------------------------------------------

void Scale9Sprite::updateDisplayedColor(const Color3B& parentColor) {
    Node::updateDisplayedColor(parentColor);
    if (scale9Image) scale9Image->updateDisplayedColor(displayedColor);
    for (Node* node : protectedChildren) node->updateDisplayedColor(displayedColor);
}

void Scale9Sprite::updateDisplayedOpacity(uint8_t parentOpacity) {
    Node::updateDisplayedOpacity(parentOpacity);
    if (scale9Image) scale9Image->updateDisplayedOpacity(displayedOpacity);
    for (Node* node : protectedChildren) node->updateDisplayedOpacity(displayedOpacity);
}

void Scale9Sprite::disableCascadeColor() {
    Node::disableCascadeColor();
    for (Node* node : protectedChildren) node->updateDisplayedColor(Color3B::WHITE);
    if (scale9Image) scale9Image->updateDisplayedColor(Color3B::WHITE);
}

void Scale9Sprite::disableCascadeOpacity() {
    Node::disableCascadeOpacity();
    for (Node* node : protectedChildren) node->updateDisplayedOpacity(255);
}

}  // namespace ui
}  // namespace kite
