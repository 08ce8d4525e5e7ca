#include "kite/scene/Sprite.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/Image.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Animation.h"
#include "kite/scene/Director.h"
#include "kite/scene/SpriteBatchNode.h"
#include "kite/scene/SpriteFrame.h"
#include "kite/scene/SpriteFrameCache.h"

namespace kite {

namespace {

template <class Init>
Sprite* createSprite(Init init) {
    auto* sprite = new (std::nothrow) Sprite();
    if (sprite && init(sprite)) {
        sprite->autorelease();
        return sprite;
    }
    delete sprite;
    return nullptr;
}

Texture2D* whiteTexture() {
    TextureCache* cache = Director::getInstance()->getTextureCache();
    if (Texture2D* texture = cache->getTextureForKey(Sprite::WHITE_TEXTURE_KEY)) return texture;
    unsigned char pixels[16];
    std::fill(std::begin(pixels), std::end(pixels), 0xFF);
    RefPtr<Image> image(new (std::nothrow) Image());
    if (!image) return nullptr;
    image->release();
    if (!image->initWithRawData(pixels, sizeof pixels, 2, 2, 8, false)) return nullptr;
    return cache->addImage(image.get(), Sprite::WHITE_TEXTURE_KEY);
}

}  // namespace

// ---- creation

Sprite* Sprite::create() {
    return createSprite([](Sprite* s) { return s->init(); });
}

Sprite* Sprite::create(const std::string& fileName) {
    return createSprite([&](Sprite* s) { return s->initWithFile(fileName); });
}

Sprite* Sprite::create(const std::string& fileName, const Rect& rect) {
    return createSprite([&](Sprite* s) { return s->initWithFile(fileName, rect); });
}

Sprite* Sprite::createWithTexture(Texture2D* texture) {
    return createSprite([&](Sprite* s) { return s->initWithTexture(texture); });
}

Sprite* Sprite::createWithTexture(Texture2D* texture, const Rect& rect, bool rotated) {
    return createSprite([&](Sprite* s) { return s->initWithTexture(texture, rect, rotated); });
}

Sprite* Sprite::createWithSpriteFrame(SpriteFrame* frame) {
    if (!frame) return nullptr;
    return createSprite([&](Sprite* s) { return s->initWithSpriteFrame(frame); });
}

Sprite* Sprite::createWithSpriteFrameName(const std::string& name) {
    return createSprite([&](Sprite* s) { return s->initWithSpriteFrameName(name); });
}

Sprite::Sprite()
    : shouldBeHidden_(false), rectRotated_(false), opacityModifyRGB_(false), flippedX_(false), flippedY_(false) {}

Sprite::~Sprite() {
    if (spriteCold_) releaseAndClear(spriteCold_->spriteFrame);
    releaseAndClear(texture_);
}

bool Sprite::init() { return initWithTexture(nullptr, Rect::ZERO, false); }

bool Sprite::initWithTexture(Texture2D* texture) {
    Rect rect;
    if (texture) rect.size = texture->getContentSize();
    return initWithTexture(texture, rect, false);
}

bool Sprite::initWithTexture(Texture2D* texture, const Rect& rect) { return initWithTexture(texture, rect, false); }

bool Sprite::initWithTexture(Texture2D* texture, const Rect& rect, bool rotated) {
    const bool result = Node::init();
    if (result) {
        batchNode_ = nullptr;
        recursiveDirty_ = false;
        dirty_ = false;
        opacityModifyRGB_ = true;
        blendFunc_ = BlendFunc::ALPHA_PREMULTIPLIED;
        flippedX_ = flippedY_ = false;
        setAnchorPoint(Vec2(0.5f, 0.5f));
        offsetPosition_ = Vec2::ZERO;
        quad_ = PosColorTexQuad{};
        const Color4B white(255, 255, 255, 255);
        quad_.bl.colors = quad_.br.colors = quad_.tl.colors = quad_.tr.colors = white;
        setGLProgramState(
            GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP));
        setTexture(texture);
        setTextureRect(rect, rotated, rect.size);
        setBatchNode(nullptr);
    }
    recursiveDirty_ = true;
    setDirty(true);
    return result;
}

bool Sprite::initWithFile(const std::string& fileName) {
    Texture2D* texture = Director::getInstance()->getTextureCache()->addImage(fileName);
    if (!texture) return false;
    return initWithTexture(texture, Rect(Vec2::ZERO, texture->getContentSize()));
}

bool Sprite::initWithFile(const std::string& fileName, const Rect& rect) {
    Texture2D* texture = Director::getInstance()->getTextureCache()->addImage(fileName);
    if (!texture) return false;
    return initWithTexture(texture, rect);
}

bool Sprite::initWithSpriteFrameName(const std::string& name) {
    SpriteFrameCache* cache = SpriteFrameCache::getInstance();
    return initWithSpriteFrame(cache ? cache->getSpriteFrameByName(name) : nullptr);
}

bool Sprite::initWithSpriteFrame(SpriteFrame* frame) {
    if (!frame) return false;
    const bool result = initWithTexture(frame->getTexture(), frame->getRect());
    setSpriteFrame(frame);
    return result;
}

std::string Sprite::description() const {
    const TextureAtlas* atlas = getTextureAtlas();
    const Texture2D* texture = batchNode_ && atlas ? atlas->getTexture() : texture_;
    char text[96];
    std::snprintf(text, sizeof text, "<Sprite | Tag = %d, TextureID = %d>", tag,
                  texture ? static_cast<int>(texture->getName()) : 0);
    return text;
}

// ---- texture

void Sprite::setTexture(const std::string& fileName) {
    Texture2D* texture = Director::getInstance()->getTextureCache()->addImage(fileName);
    setTexture(texture);
    Rect rect;
    if (texture) rect.size = texture->getContentSize();
    setTextureRect(rect);
}

void Sprite::setTexture(Texture2D* texture) {
    if (!texture) texture = whiteTexture();
    if (!batchNode_ && texture_ != texture) {
        assignRetained(texture_, texture);
        updateBlendFunc();
    }
}

void Sprite::updateBlendFunc() {
    if (texture_ && texture_->hasPremultipliedAlpha()) {
        blendFunc_ = BlendFunc::ALPHA_PREMULTIPLIED;
        setOpacityModifyRGB(true);
    } else {
        blendFunc_ = BlendFunc::ALPHA_NON_PREMULTIPLIED;
        setOpacityModifyRGB(false);
    }
}

// ---- rectangles and frames

void Sprite::setTextureRect(const Rect& rect) { setTextureRect(rect, false, rect.size); }

void Sprite::setTextureRect(const Rect& rect, bool rotated, const Size& untrimmedSize) {
    rectRotated_ = rotated;
    setContentSize(untrimmedSize);
    setVertexRect(rect);
    setTextureCoords(rect);

    Vec2 relativeOffset = unflippedOffsetPositionFromCenter();
    if (flippedX_) relativeOffset.x = -relativeOffset.x;
    if (flippedY_) relativeOffset.y = -relativeOffset.y;
    offsetPosition_.x = relativeOffset.x + (contentSize.width - rect_.size.width) / 2;
    offsetPosition_.y = relativeOffset.y + (contentSize.height - rect_.size.height) / 2;

    if (batchNode_) {
        setDirty(true);
    } else {
        buildVerticesFromRect();
    }
}

void Sprite::buildVerticesFromRect() {
    const float x1 = offsetPosition_.x;
    const float y1 = offsetPosition_.y;
    const float x2 = x1 + rect_.size.width;
    const float y2 = y1 + rect_.size.height;
    quad_.bl.vertices = Vec3(x1, y1, 0.0f);
    quad_.br.vertices = Vec3(x2, y1, 0.0f);
    quad_.tl.vertices = Vec3(x1, y2, 0.0f);
    quad_.tr.vertices = Vec3(x2, y2, 0.0f);
}

void Sprite::setTextureCoords(const Rect& rectInPoints) {
    const Rect rect = rectPointsToPixels(rectInPoints);
    TextureAtlas* atlas = getTextureAtlas();
    Texture2D* texture = batchNode_ && atlas ? atlas->getTexture() : texture_;
    if (!texture) return;
    const float atlasWidth = static_cast<float>(texture->getPixelsWide());
    const float atlasHeight = static_cast<float>(texture->getPixelsHigh());
    float left, right, top, bottom;
    if (rectRotated_) {
        left = rect.origin.x / atlasWidth;
        right = (rect.origin.x + rect.size.height) / atlasWidth;
        top = rect.origin.y / atlasHeight;
        bottom = (rect.origin.y + rect.size.width) / atlasHeight;
        if (flippedX_) std::swap(top, bottom);
        if (flippedY_) std::swap(left, right);
        quad_.bl.texCoords = {left, top};
        quad_.br.texCoords = {left, bottom};
        quad_.tl.texCoords = {right, top};
        quad_.tr.texCoords = {right, bottom};
    } else {
        left = rect.origin.x / atlasWidth;
        right = (rect.origin.x + rect.size.width) / atlasWidth;
        top = rect.origin.y / atlasHeight;
        bottom = (rect.origin.y + rect.size.height) / atlasHeight;
        if (flippedX_) std::swap(left, right);
        if (flippedY_) std::swap(top, bottom);
        quad_.bl.texCoords = {left, bottom};
        quad_.br.texCoords = {right, bottom};
        quad_.tl.texCoords = {left, top};
        quad_.tr.texCoords = {right, top};
    }
}

void Sprite::setSpriteFrame(const std::string& name) {
    SpriteFrameCache* cache = SpriteFrameCache::getInstance();
    SpriteFrame* frame = cache ? cache->getSpriteFrameByName(name) : nullptr;
    if (frame) setSpriteFrame(frame);
}

void Sprite::setSpriteFrame(SpriteFrame* frame) {
    if (!frame) return;
    SpriteColdData& c = spriteCold();
    if (frame != c.spriteFrame) assignRetained(c.spriteFrame, frame);
    c.unflippedOffsetPositionFromCenter = frame->getOffset();
    Texture2D* texture = frame->getTexture();
    if (texture != texture_) setTexture(texture);
    rectRotated_ = frame->isRotated();
    setTextureRect(frame->getRect(), rectRotated_, frame->getOriginalSize());
}

void Sprite::setDisplayFrameWithAnimationName(const std::string& animationName, ssize_t frameIndex) {
    AnimationCache* cache = AnimationCache::getInstance();
    Animation* animation = cache ? cache->getAnimation(animationName) : nullptr;
    if (!animation || frameIndex < 0 || static_cast<std::size_t>(frameIndex) >= animation->getFrames().size()) {
        return;
    }
    setSpriteFrame(animation->getFrames().at(static_cast<std::size_t>(frameIndex))->getSpriteFrame());
}

bool Sprite::isFrameDisplayed(SpriteFrame* frame) const {
    if (!frame) return false;
    Texture2D* texture = frame->getTexture();
    return frame->getRect().equals(rect_) && texture && texture_ && texture->getName() == texture_->getName() &&
           frame->getOffset().equals(unflippedOffsetPositionFromCenter());
}

SpriteFrame* Sprite::getSpriteFrame() const {
    const float scale = frameContentScaleFactor();
    const Vec2& offset = unflippedOffsetPositionFromCenter();
    return SpriteFrame::createWithTexture(texture_, rectPointsToPixels(rect_), rectRotated_,
                                          Vec2(offset.x * scale, offset.y * scale), contentSize * scale);
}

// ---- colour

void Sprite::setOpacityModifyRGB(bool modify) {
    if (opacityModifyRGB_ == modify) return;
    opacityModifyRGB_ = modify;
    updateColor();
}

void Sprite::updateColor() {
    Color4B color(displayedColor.r, displayedColor.g, displayedColor.b, displayedOpacity);
    if (opacityModifyRGB_) {
        color.r = static_cast<GLubyte>(color.r * displayedOpacity / 255.0f);
        color.g = static_cast<GLubyte>(color.g * displayedOpacity / 255.0f);
        color.b = static_cast<GLubyte>(color.b * displayedOpacity / 255.0f);
    }
    quad_.bl.colors = quad_.br.colors = quad_.tl.colors = quad_.tr.colors = color;
    if (batchNode_) {
        // An index without an atlas has nothing to update.
        TextureAtlas* atlas = getTextureAtlas();
        if (atlas && getAtlasIndex() != INDEX_NOT_INITIALIZED) {
            atlas->updateQuad(&quad_, getAtlasIndex());
        } else {
            setDirty(true);
        }
    }
}

// ---- placement marks the quad dirty

void Sprite::markDirtyRecursively() {
    recursiveDirty_ = true;
    setDirty(true);
    if (!children.empty()) setDirtyRecursively(true);
}

void Sprite::setDirtyRecursively(bool value) {
    recursiveDirty_ = value;
    setDirty(value);
    for (Node* child : children) {
        if (auto* sprite = dynamic_cast<Sprite*>(child)) sprite->setDirtyRecursively(true);
    }
}

void Sprite::setScaleX(float s) {
    Node::setScaleX(s);
    markDirtyAfterPlacement();
}
void Sprite::setScaleY(float s) {
    Node::setScaleY(s);
    markDirtyAfterPlacement();
}
void Sprite::setScale(float s) {
    Node::setScale(s);
    markDirtyAfterPlacement();
}
void Sprite::setScale(float x, float y) {
    Node::setScale(x, y);
    markDirtyAfterPlacement();
}
void Sprite::setPosition(const Vec2& p) {
    Node::setPosition(p);
    markDirtyAfterPlacement();
}
void Sprite::setPosition(float x, float y) {
    Node::setPosition(x, y);
    markDirtyAfterPlacement();
}
void Sprite::setPositionZ(float z) {
    Node::setPositionZ(z);
    markDirtyAfterPlacement();
}
void Sprite::setSkewX(float degrees) {
    Node::setSkewX(degrees);
    markDirtyAfterPlacement();
}
void Sprite::setSkewY(float degrees) {
    Node::setSkewY(degrees);
    markDirtyAfterPlacement();
}
void Sprite::setAnchorPoint(const Vec2& anchor) {
    Node::setAnchorPoint(anchor);
    markDirtyAfterPlacement();
}
void Sprite::setVisible(bool v) {
    Node::setVisible(v);
    markDirtyAfterPlacement();
}
void Sprite::setRotation(float degrees) {
    Node::setRotation(degrees);
    markDirtyAfterPlacement();
}
void Sprite::setRotationSkewX(float degrees) {
    Node::setRotationSkewX(degrees);
    markDirtyAfterPlacement();
}
void Sprite::setRotationSkewY(float degrees) {
    Node::setRotationSkewY(degrees);
    markDirtyAfterPlacement();
}

// ---- batch mode

void Sprite::setBatchNode(SpriteBatchNode* batchNode) {
    batchNode_ = batchNode;
    if (batchNode_) {
        batchTransform() = Mat4::IDENTITY;
        spriteCold().textureAtlas = batchNode_->getTextureAtlas();
    } else {
        setAtlasIndex(INDEX_NOT_INITIALIZED);
        setTextureAtlas(nullptr);
        recursiveDirty_ = false;
        setDirty(false);
        buildVerticesFromRect();
    }
}

void Sprite::updateTransform() {
    if (isDirty()) {
        const bool insideBatch = parent && parent != static_cast<Node*>(batchNode_);
        auto* parentSprite = insideBatch ? dynamic_cast<Sprite*>(parent) : nullptr;
        if (!visible || (parentSprite && parentSprite->shouldBeHidden_)) {
            quad_.br.vertices = quad_.tl.vertices = quad_.tr.vertices = quad_.bl.vertices = Vec3(0, 0, 0);
            shouldBeHidden_ = true;
        } else {
            shouldBeHidden_ = false;
            Mat4& toBatch = batchTransform();
            if (parentSprite) {
                toBatch = parentSprite->getTransformToBatch() * getNodeToParentTransform();
            } else {
                toBatch = getNodeToParentTransform();
            }
            const float* m = toBatch.m;
            const float x1 = offsetPosition_.x;
            const float y1 = offsetPosition_.y;
            const float x2 = x1 + rect_.size.width;
            const float y2 = y1 + rect_.size.height;
            const float tx = m[12], ty = m[13];
            const float cr = m[0], sr = m[1], cr2 = m[5], sr2 = -m[4];
            auto corner = [&](float px, float py) {
                return Vec3(px * cr - py * sr2 + tx, px * sr + py * cr2 + ty, positionZ);
            };
            quad_.bl.vertices = corner(x1, y1);
            quad_.br.vertices = corner(x2, y1);
            quad_.tl.vertices = corner(x1, y2);
            quad_.tr.vertices = corner(x2, y2);
        }
        if (TextureAtlas* atlas = getTextureAtlas()) atlas->updateQuad(&quad_, getAtlasIndex());
        recursiveDirty_ = false;
        setDirty(false);
    }
    Node::updateTransform();
}

void Sprite::setReorderChildDirtyRecursively() {
    if (reorderChildDirty) return;
    reorderChildDirty = true;
    // Each sprite up to the batch node marks itself and walks on from there.
    if (parent && parent != static_cast<Node*>(batchNode_)) {
        if (auto* sprite = dynamic_cast<Sprite*>(parent)) sprite->setReorderChildDirtyRecursively();
    }
}

bool Sprite::enterBatchWithParent(Node* child) {
    if (!batchNode_ || !child || child->getParent()) return true;  // the node's own checks follow
    for (Node* node = this; node; node = node->getParent()) {
        if (node == child) return true;
    }
    auto* sprite = dynamic_cast<Sprite*>(child);
    if (!sprite) {
        log("Sprite: a batched sprite takes only sprites as children");
        return false;
    }
    batchNode_->appendChild(sprite);
    if (!reorderChildDirty) setReorderChildDirtyRecursively();
    return true;
}

void Sprite::addChild(Node* child, int localZ, int tag) {
    if (enterBatchWithParent(child)) Node::addChild(child, localZ, tag);
}

void Sprite::addChild(Node* child, int localZ, const std::string& name) {
    if (enterBatchWithParent(child)) Node::addChild(child, localZ, name);
}

void Sprite::reorderChild(Node* child, int localZ) {
    if (batchNode_ && !reorderChildDirty) {
        setReorderChildDirtyRecursively();
        batchNode_->reorderBatch(true);
    }
    Node::reorderChild(child, localZ);
}

void Sprite::removeChild(Node* child, bool cleanup) {
    // Only an own child leaves the atlas; any other sprite stays where it is drawn.
    if (batchNode_ && child && child->getParent() == this) {
        if (auto* sprite = dynamic_cast<Sprite*>(child)) batchNode_->removeSpriteFromAtlas(sprite);
    }
    Node::removeChild(child, cleanup);
}

void Sprite::removeAllChildrenWithCleanup(bool cleanup) {
    if (batchNode_) {
        for (Node* child : children) {
            if (auto* sprite = dynamic_cast<Sprite*>(child)) batchNode_->removeSpriteFromAtlas(sprite);
        }
    }
    Node::removeAllChildrenWithCleanup(cleanup);
}

void Sprite::sortAllChildren() {
    if (!reorderChildDirty) return;
    std::vector<Node*> sorted(children.begin(), children.end());
    std::stable_sort(sorted.begin(), sorted.end(), Node::childDrawOrderLess);
    std::copy(sorted.begin(), sorted.end(), children.begin());
    if (batchNode_) {
        for (Node* child : children) child->sortAllChildren();
    }
    reorderChildDirty = false;
}

// ---- drawing

// A sprite without children draws from its own world matrix: nothing reads the director's
// model-view stack meanwhile, so the stack is left alone.
void Sprite::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!children.empty()) {
        Node::visit(renderer, parentTransform, parentFlags);
        return;
    }
    if (!visible) return;
    const uint32_t flags = updateTransformFromParent(parentTransform, parentFlags);
    if (isVisibleToCamera()) draw(renderer, modelViewTransform, flags);
}

void Sprite::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
    if (!renderer) return;
    if (flags & FLAGS_TRANSFORM_DIRTY) insideBounds_ = renderer->checkVisibility(transform, contentSize);
    if (!insideBounds_) return;
    quadCommand_.init(globalZOrder, texture_ ? texture_->getName() : 0, glProgramState, blendFunc_, &quad_, 1,
                      keepDrawTransform(transform), flags);
    renderer->addCommand(&quadCommand_);
}

}  // namespace kite
