#include "kite/rendering/Texture2D.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <algorithm>
#include <cstdio>
#include <new>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Renderer.h"

namespace kite {

namespace {

using PF = Texture2D::PixelFormat;
using Info = Texture2D::PixelFormatInfo;

constexpr unsigned int kNoFormat = 0xFFFFFFFFu;  // compressed rows pass no format or type

Texture2D::PixelFormatInfoMap makeInfoMap() {
    Texture2D::PixelFormatInfoMap map;
    map.emplace(PF::BGRA8888, Info(GL_BGRA_EXT, GL_BGRA_EXT, GL_UNSIGNED_BYTE, 32, false, true));
    map.emplace(PF::RGBA8888, Info(GL_RGBA, GL_RGBA, GL_UNSIGNED_BYTE, 32, false, true));
    map.emplace(PF::RGBA4444, Info(GL_RGBA, GL_RGBA, GL_UNSIGNED_SHORT_4_4_4_4, 16, false, true));
    map.emplace(PF::RGB5A1, Info(GL_RGBA, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1, 16, false, true));
    map.emplace(PF::RGB565, Info(GL_RGB, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 16, false, false));
    map.emplace(PF::RGB888, Info(GL_RGB, GL_RGB, GL_UNSIGNED_BYTE, 24, false, false));
    map.emplace(PF::A8, Info(GL_ALPHA, GL_ALPHA, GL_UNSIGNED_BYTE, 8, false, false));
    map.emplace(PF::I8, Info(GL_LUMINANCE, GL_LUMINANCE, GL_UNSIGNED_BYTE, 8, false, false));
    map.emplace(PF::AI88, Info(GL_LUMINANCE_ALPHA, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, 16, false, true));
    map.emplace(PF::PVRTC2, Info(GL_COMPRESSED_RGB_PVRTC_2BPPV1_IMG, kNoFormat, kNoFormat, 2, true, false));
    map.emplace(PF::PVRTC2A, Info(GL_COMPRESSED_RGBA_PVRTC_2BPPV1_IMG, kNoFormat, kNoFormat, 2, true, true));
    map.emplace(PF::PVRTC4, Info(GL_COMPRESSED_RGB_PVRTC_4BPPV1_IMG, kNoFormat, kNoFormat, 4, true, false));
    map.emplace(PF::PVRTC4A, Info(GL_COMPRESSED_RGBA_PVRTC_4BPPV1_IMG, kNoFormat, kNoFormat, 4, true, true));
    return map;
}

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

const Texture2D::PixelFormatInfoMap& Texture2D::getPixelFormatInfoMap() {
    static const PixelFormatInfoMap map = makeInfoMap();
    return map;
}

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

bool Texture2D::initWithData(const void* data, ssize_t dataLen, PixelFormat pixelFormat, int pixelsWide,
                             int pixelsHigh, const Size& /*contentSize*/) {
    MipmapInfo level;
    level.address = static_cast<unsigned char*>(const_cast<void*>(data));
    level.len = static_cast<int>(dataLen);
    return initWithMipmaps(&level, 1, pixelFormat, pixelsWide, pixelsHigh);
}

bool Texture2D::initWithMipmaps(const MipmapInfo* mipmaps, int mipmapsNum, PixelFormat pixelFormat, int pixelsWide,
                                int pixelsHigh) {
    if (mipmapsNum < 1 || !mipmaps || pixelsWide <= 0 || pixelsHigh <= 0) return false;
    const auto& map = getPixelFormatInfoMap();
    auto row = map.find(pixelFormat);
    if (row == map.end()) return false;
    const PixelFormatInfo& info = row->second;
    if (info.compressed) {
        const Configuration* config = Configuration::getInstance();
        if (!config->supportsPVRTC() && !config->supportsETC() && !config->supportsS3TC() &&
            !config->supportsATITC())
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
    while (glGetError() != GL_NO_ERROR) {
    }

    int width = pixelsWide;
    int height = pixelsHigh;
    for (int i = 0; i < mipmapsNum; ++i) {
        const MipmapInfo& level = mipmaps[i];
        if (info.compressed)
            glCompressedTexImage2D(GL_TEXTURE_2D, i, info.internalFormat, width, height, 0, level.len, level.address);
        else
            glTexImage2D(GL_TEXTURE_2D, i, static_cast<GLint>(info.internalFormat), width, height, 0, info.format,
                         info.type, level.address);
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
    glTexSubImage2D(GL_TEXTURE_2D, 0, offsetX, offsetY, width, height, row->second.format, row->second.type, data);
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
