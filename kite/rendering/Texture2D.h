// A GL texture made from decoded pixels, with the pixel-format table and format conversions.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <string>

#include "kite/foundation/Ref.h"
#include "kite/foundation/math/Size.h"
#include "kite/rendering/PixelFormat.h"

namespace kite {

struct FontDefinition;

class GLProgram;
class Image;

class Texture2D : public Ref {
public:
    // The pixel formats, their table and mipmap levels are shared with images.
    using PixelFormat = kite::PixelFormat;
    using PixelFormatInfo = kite::PixelFormatInfo;
    using PixelFormatInfoMap = std::map<PixelFormat, PixelFormatInfo>;

    Texture2D();
    ~Texture2D() override;

    static Texture2D* create();

    // The content size is not used: the texture's size is its pixel size.
    bool initWithData(const void* data, ssize_t dataLen, PixelFormat pixelFormat, int pixelsWide, int pixelsHigh,
                      const Size& contentSize = Size::ZERO);
    // With the default alpha pixel format as the wanted one.
    bool initWithImage(Image* image);
    // Converts the image's pixels to the wanted format (AUTO or NONE: the image's
    // own) and uploads them; false when the image is missing, too large or the upload fails.
    bool initWithImage(Image* image, PixelFormat format);
    bool initWithMipmaps(const MipmapInfo* mipmaps, int mipmapsNum, PixelFormat pixelFormat, int pixelsWide,
                         int pixelsHigh);
    bool updateWithData(const void* data, int offsetX, int offsetY, int width, int height);
    // The text drawn with the device's fonts (sizes in points); false for empty text or when it
    // cannot be drawn.
    bool initWithString(const char* text, const FontDefinition& textDefinition);

    void setAliasTexParameters();
    void setAntiAliasTexParameters();

    PixelFormat getPixelFormat() const { return pixelFormat_; }
    int getPixelsWide() const { return pixelsWide_; }
    int getPixelsHigh() const { return pixelsHigh_; }
    unsigned int getName() const { return name_; }
    float getMaxS() const { return maxS_; }
    float getMaxT() const { return maxT_; }
    void setMaxS(float maxS) { maxS_ = maxS; }
    void setMaxT(float maxT) { maxT_ = maxT; }
    // Size in pixels, as uploaded.
    const Size& getContentSizeInPixels() const { return contentSize_; }
    // Size in points: the pixel size divided by the content scale factor.
    Size getContentSize() const;
    bool hasPremultipliedAlpha() const { return hasPremultipliedAlpha_; }
    void setPremultipliedAlpha(bool premultiplied) { hasPremultipliedAlpha_ = premultiplied; }
    bool hasMipmaps() const { return hasMipmaps_; }
    bool isAntialiased() const { return antialiasEnabled_; }

    GLProgram* getGLProgram() const { return program_; }
    void setGLProgram(GLProgram* program);

    unsigned int getBitsPerPixelForFormat() const;
    static unsigned int getBitsPerPixelForFormat(PixelFormat format);
    static const PixelFormatInfoMap& getPixelFormatInfoMap();

    static void setDefaultAlphaPixelFormat(PixelFormat format);
    static PixelFormat getDefaultAlphaPixelFormat();

    virtual std::string description() const;

    // Converts uncompressed pixels between formats. Returns the format of what
    // *outData points to: a new buffer (free() it) in the wanted format, or the
    // input itself in the origin format when the pair does not convert.
    static PixelFormat convertDataToFormat(const unsigned char* data, ssize_t dataLen, PixelFormat originFormat,
                                           PixelFormat format, unsigned char** outData, ssize_t* outDataLen);

private:
    PixelFormat pixelFormat_ = PixelFormat::AUTO;
    int pixelsWide_ = 0;
    int pixelsHigh_ = 0;
    unsigned int name_ = 0;
    float maxS_ = 0.0f;
    float maxT_ = 0.0f;
    Size contentSize_;
    bool hasPremultipliedAlpha_ = false;
    bool hasMipmaps_ = false;
    GLProgram* program_ = nullptr;
    bool antialiasEnabled_ = true;
};

}  // namespace kite
