// Pixel formats shared by images and textures, their GL description table and mipmap levels.
#pragma once
#include <cstdint>
#include <map>

namespace kite {

// The upload format of pixel data. Textures name it Texture2D::PixelFormat.
enum class PixelFormat : std::int32_t {
    NONE = -1,
    AUTO = 0,
    BGRA8888 = 1,
    RGBA8888 = 2,
    RGB888 = 3,
    RGB565 = 4,
    A8 = 5,
    I8 = 6,
    AI88 = 7,
    RGBA4444 = 8,
    RGB5A1 = 9,
    PVRTC4 = 10,
    PVRTC4A = 11,
    PVRTC2 = 12,
    PVRTC2A = 13,
    ETC = 14,
    S3TC_DXT1 = 15,
    S3TC_DXT3 = 16,
    S3TC_DXT5 = 17,
    ATC_RGB = 18,
    ATC_EXPLICIT_ALPHA = 19,
    ATC_INTERPOLATED_ALPHA = 20,
};

// One row of the format table: what GL is told on upload, and the size of a pixel.
struct PixelFormatInfo {
    std::uint32_t internalFormat;
    std::int32_t format;  // -1 for compressed formats
    std::int32_t type;    // -1 for compressed formats
    int bpp;
    bool compressed;
    bool alpha;
};

// The 13 formats that can be uploaded; ETC, S3TC and ATC have no row.
const std::map<PixelFormat, PixelFormatInfo>& pixelFormatInfoMap();

// The row of a format, or null when it has none.
const PixelFormatInfo* findPixelFormatInfo(PixelFormat format);

// One mipmap level: the address and length in bytes of its data.
struct MipmapInfo {
    unsigned char* address = nullptr;
    std::int64_t len = 0;
};

}  // namespace kite
