// A named rectangle of a texture, possibly stored rotated and trimmed, with where it sits in the untrimmed image.
#pragma once
#include <string>

#include "kite/foundation/Clonable.h"
#include "kite/foundation/Ref.h"
#include "kite/foundation/math/Rect.h"
#include "kite/foundation/math/Size.h"
#include "kite/foundation/math/Vec2.h"

namespace kite {

class Texture2D;

class SpriteFrame : public Ref, public Clonable {
public:
    // Values in pixels; the point values are derived with the content scale factor.
    static SpriteFrame* createWithTexture(Texture2D* texture, const Rect& rectInPixels, bool rotated,
                                          const Vec2& offsetInPixels, const Size& untrimmedSizeInPixels);
    static SpriteFrame* createWithTexture(Texture2D* texture, const Rect& rectInPixels);
    static SpriteFrame* create(const std::string& textureFileName, const Rect& rectInPixels, bool rotated,
                               const Vec2& offsetInPixels, const Size& untrimmedSizeInPixels);

    bool initWithTexture(Texture2D* texture, const Rect& rectInPixels, bool rotated, const Vec2& offsetInPixels,
                         const Size& untrimmedSizeInPixels);
    bool initWithTextureFilename(const std::string& textureFileName, const Rect& rectInPixels, bool rotated,
                                 const Vec2& offsetInPixels, const Size& untrimmedSizeInPixels);
    ~SpriteFrame() override;

    SpriteFrame* clone() const override;

    // The held texture; without one, the texture file through the texture cache (not stored).
    Texture2D* getTexture();
    void setTexture(Texture2D* texture);
    const std::string& getTextureFileName() const { return textureFilename_; }

    const Rect& getRect() const { return rect_; }
    void setRect(const Rect& rect);
    const Rect& getRectInPixels() const { return rectInPixels_; }
    void setRectInPixels(const Rect& rectInPixels);
    bool isRotated() const { return rotated_; }
    void setRotated(bool rotated) { rotated_ = rotated; }
    const Vec2& getOffset() const { return offset_; }
    void setOffset(const Vec2& offset);
    const Vec2& getOffsetInPixels() const { return offsetInPixels_; }
    void setOffsetInPixels(const Vec2& offsetInPixels);
    const Size& getOriginalSize() const { return originalSize_; }
    void setOriginalSize(const Size& size) { originalSize_ = size; }
    const Size& getOriginalSizeInPixels() const { return originalSizeInPixels_; }
    void setOriginalSizeInPixels(const Size& size) { originalSizeInPixels_ = size; }

    SpriteFrame() = default;

private:
    void setPixelValues(const Rect& rectInPixels, bool rotated, const Vec2& offsetInPixels,
                        const Size& untrimmedSizeInPixels);

    Vec2 offset_;
    Size originalSize_;
    Rect rectInPixels_;
    bool rotated_ = false;
    Rect rect_;
    Vec2 offsetInPixels_;
    Size originalSizeInPixels_;
    Texture2D* texture_ = nullptr;  // retained
    std::string textureFilename_;
};

// Pixels to points and back with the content scale factor.
Rect rectPixelsToPoints(const Rect& pixels);
Rect rectPointsToPixels(const Rect& points);

}  // namespace kite
