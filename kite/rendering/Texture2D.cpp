#include "kite/rendering/Texture2D.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "kite/foundation/Create.h"
#include "kite/foundation/FrameCosts.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Image.h"
#include "kite/rendering/Renderer.h"

namespace kite {

namespace {

using PF = Texture2D::PixelFormat;

PF& defaultAlphaPixelFormat() {
    static PF format = PF::AUTO;
    return format;
}

GLint unpackAlignmentFor(int pixelsWide, int bpp) {
    const unsigned int bytesPerRow = static_cast<unsigned int>(pixelsWide) * static_cast<unsigned int>(bpp) / 8;
    if (bytesPerRow % 8 == 0) return 8;
    if (bytesPerRow % 4 == 0) return 4;
    if (bytesPerRow % 2 == 0) return 2;
    return 1;
}

}  // namespace

Texture2D::Texture2D() = default;

Texture2D::~Texture2D() {
    releaseAndClear(program_);
    if (name_) GLStateCache::deleteTexture(name_);
}

Texture2D* Texture2D::create() {
    auto* texture = new (std::nothrow) Texture2D();
    if (texture) texture->autorelease();
    return texture;
}

const Texture2D::PixelFormatInfoMap& Texture2D::getPixelFormatInfoMap() { return pixelFormatInfoMap(); }

void Texture2D::setDefaultAlphaPixelFormat(PixelFormat format) { defaultAlphaPixelFormat() = format; }
Texture2D::PixelFormat Texture2D::getDefaultAlphaPixelFormat() { return defaultAlphaPixelFormat(); }

unsigned int Texture2D::getBitsPerPixelForFormat(PixelFormat format) {
    if (format == PixelFormat::NONE || format == PixelFormat::AUTO) return 0;
    const auto& map = getPixelFormatInfoMap();
    auto it = map.find(format);
    return it == map.end() ? 0u : static_cast<unsigned int>(it->second.bpp);
}

unsigned int Texture2D::getBitsPerPixelForFormat() const { return getBitsPerPixelForFormat(pixelFormat_); }

Size Texture2D::getContentSize() const {
    const float scale = frameContentScaleFactor();
    return Size(contentSize_.width / scale, contentSize_.height / scale);
}

void Texture2D::setGLProgram(GLProgram* program) { assignRetained(program_, program); }

bool Texture2D::initWithData(const void* data, ssize_t dataLen, PixelFormat pixelFormat, int pixelsWide, int pixelsHigh,
                             const Size& /*contentSize*/) {
    MipmapInfo level;
    level.address = static_cast<unsigned char*>(const_cast<void*>(data));
    level.len = dataLen;
    return initWithMipmaps(&level, 1, pixelFormat, pixelsWide, pixelsHigh);
}

bool Texture2D::initWithImage(Image* image) { return initWithImage(image, getDefaultAlphaPixelFormat()); }

bool Texture2D::initWithImage(Image* image, PixelFormat format) {
    if (!image) return false;
    int maxTextureSize = Configuration::getInstance()->getMaxTextureSize();
    if (maxTextureSize <= 0) {
        // The director has not gathered the GPU's limits yet: ask the GPU.
        GLint queried = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &queried);
        maxTextureSize = queried;
    }
    if (image->getWidth() > maxTextureSize || image->getHeight() > maxTextureSize) {
        kite::log("Texture2D: image of %dx%d is larger than the GPU's %dx%d", image->getWidth(), image->getHeight(),
                  maxTextureSize, maxTextureSize);
        return false;
    }
    const PixelFormat renderFormat = image->getRenderFormat();
    const PixelFormat wanted = (format == PixelFormat::NONE || format == PixelFormat::AUTO) ? renderFormat : format;
    const int width = image->getWidth();
    const int height = image->getHeight();

    if (image->getNumberOfMipmaps() > 1)
        return initWithMipmaps(image->getMipmaps(), image->getNumberOfMipmaps(), renderFormat, width, height);
    const PixelFormatInfo* info = findPixelFormatInfo(renderFormat);
    if (info && info->compressed) {
        const MipmapInfo* levels = image->getMipmaps();
        if (image->getNumberOfMipmaps() == 1 && levels[0].address)
            return initWithMipmaps(levels, 1, renderFormat, width, height);
        return initWithData(image->getData(), static_cast<ssize_t>(image->getDataLen()), renderFormat, width, height);
    }

    unsigned char* converted = nullptr;
    ssize_t convertedLen = 0;
    const PixelFormat uploaded = convertDataToFormat(image->getData(), static_cast<ssize_t>(image->getDataLen()),
                                                     renderFormat, wanted, &converted, &convertedLen);
    const bool ok = initWithData(converted, convertedLen, uploaded, width, height);
    if (converted != image->getData()) std::free(converted);
    if (ok) hasPremultipliedAlpha_ = image->hasPremultipliedAlpha();
    return ok;
}

bool Texture2D::initWithMipmaps(const MipmapInfo* mipmaps, int mipmapsNum, PixelFormat pixelFormat, int pixelsWide,
                                int pixelsHigh) {
    if (mipmapsNum < 1 || !mipmaps || pixelsWide <= 0 || pixelsHigh <= 0) return false;
    FrameCosts::Scope step("texture upload");
    const auto& map = getPixelFormatInfoMap();
    auto row = map.find(pixelFormat);
    if (row == map.end()) return false;
    const PixelFormatInfo& info = row->second;
    if (info.compressed) {
        const Configuration* config = Configuration::getInstance();
        if (!config->supportsPVRTC() && !config->supportsETC() && !config->supportsS3TC() && !config->supportsATITC())
            return false;
    }

    const GLint alignment = (mipmapsNum == 1 && !info.compressed) ? unpackAlignmentFor(pixelsWide, info.bpp) : 1;
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);

    if (name_) {
        GLStateCache::deleteTexture(name_);
        name_ = 0;
    }
    glGenTextures(1, &name_);
    GLStateCache::bindTexture2D(name_);

    if (mipmapsNum == 1)
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, antialiasEnabled_ ? GL_LINEAR : GL_NEAREST);
    else
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                        antialiasEnabled_ ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, antialiasEnabled_ ? GL_LINEAR : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    // An error left by earlier drawing must not count against this upload.
    while (glGetError() != GL_NO_ERROR) {}

    int width = pixelsWide;
    int height = pixelsHigh;
    for (int i = 0; i < mipmapsNum; ++i) {
        const MipmapInfo& level = mipmaps[i];
        // GL reads a whole level from the address: fewer bytes would be read past their end.
        const std::int64_t needed = (std::int64_t(width) * height * info.bpp + 7) / 8;
        if (!info.compressed && level.address && level.len < needed) {
            kite::log("Texture2D: level %d of %dx%d holds %lld bytes, %lld needed", i, width, height,
                      static_cast<long long>(level.len), static_cast<long long>(needed));
            return false;
        }
        if (info.compressed)
            glCompressedTexImage2D(GL_TEXTURE_2D, i, info.internalFormat, width, height, 0,
                                   static_cast<GLsizei>(level.len), level.address);
        else
            glTexImage2D(GL_TEXTURE_2D, i, static_cast<GLint>(info.internalFormat), width, height, 0,
                         static_cast<GLenum>(info.format), static_cast<GLenum>(info.type), level.address);
        const GLenum error = glGetError();
        if (error != GL_NO_ERROR) {
            kite::log("Texture2D: uploading level %d of %dx%d failed: GL error 0x%04X", i, width, height, error);
            return false;
        }
        width = std::max(width >> 1, 1);
        height = std::max(height >> 1, 1);
    }

    contentSize_ = Size(static_cast<float>(pixelsWide), static_cast<float>(pixelsHigh));
    pixelsWide_ = pixelsWide;
    pixelsHigh_ = pixelsHigh;
    pixelFormat_ = pixelFormat;
    maxS_ = 1.0f;
    maxT_ = 1.0f;
    hasPremultipliedAlpha_ = false;
    hasMipmaps_ = mipmapsNum > 1;
    setGLProgram(GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_TEXTURE));
    return true;
}

bool Texture2D::updateWithData(const void* data, int offsetX, int offsetY, int width, int height) {
    if (!name_) return false;
    const auto& map = getPixelFormatInfoMap();
    auto row = map.find(pixelFormat_);
    if (row == map.end() || row->second.compressed) return false;
    GLStateCache::bindTexture2D(name_);
    glTexSubImage2D(GL_TEXTURE_2D, 0, offsetX, offsetY, width, height, static_cast<GLenum>(row->second.format),
                    static_cast<GLenum>(row->second.type), data);
    return true;
}

void Texture2D::setAliasTexParameters() {
    if (!antialiasEnabled_) return;
    antialiasEnabled_ = false;
    if (!name_) return;
    GLStateCache::bindTexture2D(name_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, hasMipmaps_ ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

void Texture2D::setAntiAliasTexParameters() {
    if (antialiasEnabled_) return;
    antialiasEnabled_ = true;
    if (!name_) return;
    GLStateCache::bindTexture2D(name_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, hasMipmaps_ ? GL_LINEAR_MIPMAP_NEAREST : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

std::string Texture2D::description() const {
    char text[160];
    std::snprintf(text, sizeof(text), "<Texture2D | Name = %u | Dimensions = %ld x %ld | Coordinates = (%.2f, %.2f)>",
                  name_, static_cast<long>(pixelsWide_), static_cast<long>(pixelsHigh_), static_cast<double>(maxS_),
                  static_cast<double>(maxT_));
    return text;
}

}  // namespace kite
