#include "kite/scene/SpriteFrame.h"

#include <new>

#include "kite/foundation/Create.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"

namespace kite {

Rect rectPixelsToPoints(const Rect& pixels) {
    const float scale = frameContentScaleFactor();
    return Rect(pixels.origin.x / scale, pixels.origin.y / scale, pixels.size.width / scale,
                pixels.size.height / scale);
}

Rect rectPointsToPixels(const Rect& points) {
    const float scale = frameContentScaleFactor();
    return Rect(points.origin.x * scale, points.origin.y * scale, points.size.width * scale,
                points.size.height * scale);
}

SpriteFrame* SpriteFrame::createWithTexture(Texture2D* texture, const Rect& rectInPixels, bool rotated,
                                            const Vec2& offsetInPixels, const Size& untrimmedSizeInPixels) {
    auto* frame = new (std::nothrow) SpriteFrame();
    if (!frame) return nullptr;
    frame->initWithTexture(texture, rectInPixels, rotated, offsetInPixels, untrimmedSizeInPixels);
    frame->autorelease();
    return frame;
}

SpriteFrame* SpriteFrame::createWithTexture(Texture2D* texture, const Rect& rectInPixels) {
    return createWithTexture(texture, rectInPixels, false, Vec2::ZERO, rectInPixels.size);
}

SpriteFrame* SpriteFrame::create(const std::string& textureFileName, const Rect& rectInPixels, bool rotated,
                                 const Vec2& offsetInPixels, const Size& untrimmedSizeInPixels) {
    auto* frame = new (std::nothrow) SpriteFrame();
    if (!frame) return nullptr;
    frame->initWithTextureFilename(textureFileName, rectInPixels, rotated, offsetInPixels, untrimmedSizeInPixels);
    frame->autorelease();
    return frame;
}

void SpriteFrame::setPixelValues(const Rect& rectInPixels, bool rotated, const Vec2& offsetInPixels,
                                 const Size& untrimmedSizeInPixels) {
    const float scale = frameContentScaleFactor();
    rectInPixels_ = rectInPixels;
    rect_ = rectPixelsToPoints(rectInPixels);
    offsetInPixels_ = offsetInPixels;
    offset_ = Vec2(offsetInPixels.x / scale, offsetInPixels.y / scale);
    originalSizeInPixels_ = untrimmedSizeInPixels;
    originalSize_ = untrimmedSizeInPixels / scale;
    rotated_ = rotated;
}

bool SpriteFrame::initWithTexture(Texture2D* texture, const Rect& rectInPixels, bool rotated,
                                  const Vec2& offsetInPixels, const Size& untrimmedSizeInPixels) {
    assignRetained(texture_, texture);
    setPixelValues(rectInPixels, rotated, offsetInPixels, untrimmedSizeInPixels);
    return true;
}

bool SpriteFrame::initWithTextureFilename(const std::string& textureFileName, const Rect& rectInPixels, bool rotated,
                                          const Vec2& offsetInPixels, const Size& untrimmedSizeInPixels) {
    releaseAndClear(texture_);
    textureFilename_ = textureFileName;
    setPixelValues(rectInPixels, rotated, offsetInPixels, untrimmedSizeInPixels);
    return true;
}

SpriteFrame::~SpriteFrame() { releaseAndClear(texture_); }

SpriteFrame* SpriteFrame::clone() const {
    SpriteFrame* copy = create(textureFilename_, rectInPixels_, rotated_, offsetInPixels_, originalSizeInPixels_);
    if (copy) copy->setTexture(texture_);
    return copy;
}

Texture2D* SpriteFrame::getTexture() {
    if (texture_) return texture_;
    if (textureFilename_.empty()) return nullptr;
    return Director::getInstance()->getTextureCache()->addImage(textureFilename_);
}

void SpriteFrame::setTexture(Texture2D* texture) {
    if (texture != texture_) assignRetained(texture_, texture);
}

void SpriteFrame::setRect(const Rect& rect) {
    rect_ = rect;
    rectInPixels_ = rectPointsToPixels(rect);
}

void SpriteFrame::setRectInPixels(const Rect& rectInPixels) {
    rectInPixels_ = rectInPixels;
    rect_ = rectPixelsToPoints(rectInPixels);
}

void SpriteFrame::setOffset(const Vec2& offset) {
    const float scale = frameContentScaleFactor();
    offset_ = offset;
    offsetInPixels_ = Vec2(offset.x * scale, offset.y * scale);
}

void SpriteFrame::setOffsetInPixels(const Vec2& offsetInPixels) {
    const float scale = frameContentScaleFactor();
    offsetInPixels_ = offsetInPixels;
    offset_ = Vec2(offsetInPixels.x / scale, offsetInPixels.y / scale);
}

}  // namespace kite
