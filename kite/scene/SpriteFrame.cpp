#include "kite/scene/SpriteFrame.h"

#include <map>
#include <new>

#include "kite/foundation/Create.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/Image.h"

namespace kite {

namespace {

// Stand-in for the director's texture cache until it joins: textures by full path or key, one
// reference each, for the life of the process.
std::map<std::string, RefPtr<Texture2D>>& cachedTextures() {
    static std::map<std::string, RefPtr<Texture2D>> textures;
    return textures;
}

}  // namespace

Texture2D* textureForImageFile(const std::string& file) {
    FileUtils* files = FileUtils::getInstance();
    const std::string path = files ? files->fullPathForFilename(file) : std::string();
    if (path.empty()) return nullptr;
    if (Texture2D* cached = textureForKey(path)) return cached;
    RefPtr<Image> image(new (std::nothrow) Image());
    if (image) image->release();
    if (!image || !image->initWithImageFile(path)) {
        log("Texture: cannot load the image file %s", path.c_str());
        return nullptr;
    }
    return textureForImage(image.get(), path);
}

Texture2D* textureForKey(const std::string& key) {
    auto it = cachedTextures().find(key);
    return it == cachedTextures().end() ? nullptr : it->second.get();
}

Texture2D* textureForImage(Image* image, const std::string& key) {
    if (Texture2D* cached = textureForKey(key)) return cached;
    if (!image) return nullptr;
    RefPtr<Texture2D> texture(new (std::nothrow) Texture2D());
    if (!texture) return nullptr;
    texture->release();  // the holder keeps the one reference
    if (!texture->initWithImage(image)) return nullptr;
    cachedTextures()[key] = texture;
    return texture.get();
}

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

bool SpriteFrame::initWithTextureFilename(const std::string& textureFileName, const Rect& rectInPixels,
                                          bool rotated, const Vec2& offsetInPixels,
                                          const Size& untrimmedSizeInPixels) {
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
    return textureForImageFile(textureFilename_);
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
