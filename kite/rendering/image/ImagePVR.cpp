// PVR files (versions 2 and 3): their levels kept as they are, or decoded when the GPU cannot sample them.
#include "kite/rendering/Image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "kite/foundation/Log.h"
#include "kite/rendering/decoders/ETC1.h"
#include "kite/rendering/decoders/PVRTC.h"
#include "kite/rendering/image/ImageReading.h"

namespace kite {

using namespace imagefile;

namespace {

std::mutex pvrFlagMutex;
bool pvrHavePremultipliedAlpha = false;

bool isPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

const std::unordered_map<std::uint32_t, PixelFormat>& pvr2Formats() {
    static const std::unordered_map<std::uint32_t, PixelFormat> table = {
        {0x10, PixelFormat::RGBA4444}, {0x11, PixelFormat::RGB5A1},  {0x12, PixelFormat::RGBA8888},
        {0x13, PixelFormat::RGB565},   {0x15, PixelFormat::RGB888},  {0x16, PixelFormat::I8},
        {0x17, PixelFormat::AI88},     {0x18, PixelFormat::PVRTC2A}, {0x19, PixelFormat::PVRTC4A},
        {0x1A, PixelFormat::BGRA8888}, {0x1B, PixelFormat::A8},
    };
    return table;
}

constexpr std::uint64_t channelFormat(char c0, char c1, char c2, char c3, int b0, int b1, int b2, int b3) {
    return std::uint64_t(std::uint8_t(c0)) | (std::uint64_t(std::uint8_t(c1)) << 8) |
           (std::uint64_t(std::uint8_t(c2)) << 16) | (std::uint64_t(std::uint8_t(c3)) << 24) |
           (std::uint64_t(b0) << 32) | (std::uint64_t(b1) << 40) | (std::uint64_t(b2) << 48) |
           (std::uint64_t(b3) << 56);
}

constexpr std::uint64_t kPVR3PVRTC2RGB = 0, kPVR3PVRTC2RGBA = 1, kPVR3PVRTC4RGB = 2, kPVR3PVRTC4RGBA = 3;
constexpr std::uint64_t kPVR3ETC1 = 6, kPVR3DXT1 = 7, kPVR3DXT3 = 9, kPVR3DXT5 = 11;
constexpr std::uint64_t kPVR3BGRA8888 = channelFormat('b', 'g', 'r', 'a', 8, 8, 8, 8);

const std::unordered_map<std::uint64_t, PixelFormat>& pvr3Formats() {
    static const std::unordered_map<std::uint64_t, PixelFormat> table = {
        {kPVR3PVRTC2RGB, PixelFormat::PVRTC2},
        {kPVR3PVRTC2RGBA, PixelFormat::PVRTC2A},
        {kPVR3PVRTC4RGB, PixelFormat::PVRTC4},
        {kPVR3PVRTC4RGBA, PixelFormat::PVRTC4A},
        {kPVR3ETC1, PixelFormat::ETC},
        {kPVR3BGRA8888, PixelFormat::BGRA8888},
        {channelFormat('r', 'g', 'b', 'a', 8, 8, 8, 8), PixelFormat::RGBA8888},
        {channelFormat('r', 'g', 'b', 'a', 4, 4, 4, 4), PixelFormat::RGBA4444},
        {channelFormat('r', 'g', 'b', 'a', 5, 5, 5, 1), PixelFormat::RGB5A1},
        {channelFormat('r', 'g', 'b', 0, 5, 6, 5, 0), PixelFormat::RGB565},
        {channelFormat('r', 'g', 'b', 0, 8, 8, 8, 0), PixelFormat::RGB888},
        {channelFormat('a', 0, 0, 0, 8, 0, 0, 0), PixelFormat::A8},
        {channelFormat('l', 0, 0, 0, 8, 0, 0, 0), PixelFormat::I8},
        {channelFormat('l', 'a', 0, 0, 8, 8, 0, 0), PixelFormat::AI88},
    };
    return table;
}

// The format the file's pixels are uploaded in on this GPU, and its row of the texture
// table; null, with a log line, when the table has no row for it.
const PixelFormatInfo* uploadFormatInfo(PixelFormat fileFormat, PixelFormat* deviceFormat) {
    *deviceFormat = getDevicePixelFormat(fileFormat);
    const PixelFormatInfo* info = findPixelFormatInfo(*deviceFormat);
    if (!info) log("Image: PVR: pixel format %d cannot be uploaded", static_cast<int>(*deviceFormat));
    return info;
}

}  // namespace

void Image::setPVRImagesHavePremultipliedAlpha(bool haveAlphaPremultiplied) {
    std::lock_guard<std::mutex> lock(pvrFlagMutex);
    pvrHavePremultipliedAlpha = haveAlphaPremultiplied;
}

bool Image::initWithPVRData(const unsigned char* data, std::int64_t dataLen) {
    return initWithPVRv2Data(data, dataLen) || initWithPVRv3Data(data, dataLen);
}

bool Image::initWithPVRv2Data(const unsigned char* data, std::int64_t dataLen) {
    if (dataLen < kPVRHeaderSize || std::memcmp(data + 44, "PVR!", 4) != 0) return false;
    {
        std::lock_guard<std::mutex> lock(pvrFlagMutex);
        _hasPremultipliedAlpha = pvrHavePremultipliedAlpha;
    }
    const TextureSupport support = textureSupport();
    const std::uint32_t height = readLE32(data + 4);
    const std::uint32_t width = readLE32(data + 8);
    const std::uint32_t flags = readLE32(data + 16);
    const std::uint32_t declaredLength = readLE32(data + 20);
    if (!support.npot && (!isPowerOfTwo(width) || !isPowerOfTwo(height))) {
        log("Image: PVR: %u x %u is not a power of two", width, height);
        return false;
    }
    if (!validDimensions("PVR", width, height)) return false;
    const auto found = pvr2Formats().find(flags & 0xFF);
    if (found == pvr2Formats().end()) {
        log("Image: PVR: unsupported pixel type 0x%02X", flags & 0xFF);
        return false;
    }
    const PixelFormat fileFormat = found->second;
    PixelFormat deviceFormat = PixelFormat::NONE;
    const PixelFormatInfo* info = uploadFormatInfo(fileFormat, &deviceFormat);
    if (!info) return false;
    if (fileFormat == PixelFormat::BGRA8888 && !support.bgra8888) {
        log("Image: PVR: BGRA8888 is not supported by this GPU");
        return false;
    }
    const std::int64_t available = dataLen - kPVRHeaderSize;
    if (std::int64_t(declaredLength) > available) {
        log("Image: PVR: %u bytes of pixels announced, %lld present", declaredLength,
            static_cast<long long>(available));
        return false;
    }
    _renderFormat = deviceFormat;
    _width = static_cast<int>(width);
    _height = static_cast<int>(height);
    if (!copyData(data + kPVRHeaderSize, available)) return false;

    PVRLevelLayout layout{1, 1, info->bpp, PVRLevelLayout::Decode::None};
    if (fileFormat == PixelFormat::PVRTC4A) {
        layout = {4, 4, 4, support.pvrtc ? PVRLevelLayout::Decode::None : PVRLevelLayout::Decode::PVRTC4};
    } else if (fileFormat == PixelFormat::PVRTC2A) {
        layout = {8, 4, 2, support.pvrtc ? PVRLevelLayout::Decode::None : PVRLevelLayout::Decode::PVRTC2};
    }
    // Levels follow one another up to the announced data length.
    return addPVRLevels(layout, declaredLength, MIPMAP_MAX, true);
}

// Bytes of one level: PVRTC takes at least two blocks each way, ETC1 covers the size
// rounded up to whole blocks, other formats only their own pixels.
std::int64_t Image::pvrLevelBytes(const PVRLevelLayout& layout, int width, int height) {
    if (layout.etc) return static_cast<std::int64_t>(etc1_get_encoded_data_size(width, height));
    if (layout.blockWidth == 1) return (std::int64_t(width) * height * layout.bpp + 7) / 8;
    const std::int64_t across = std::max(width / layout.blockWidth, 2);
    const std::int64_t down = std::max(height / layout.blockHeight, 2);
    return across * down * (std::int64_t(layout.blockWidth) * layout.blockHeight * layout.bpp / 8);
}

bool Image::addPVRLevels(const PVRLevelLayout& layout, std::int64_t end, std::uint32_t levelCount, bool untilEnd) {
    std::int64_t offset = 0;
    int levelWidth = _width, levelHeight = _height;
    bool ok = true;
    for (std::uint32_t level = 0; level < levelCount && (!untilEnd || offset < end); ++level) {
        const std::int64_t size = pvrLevelBytes(layout, levelWidth, levelHeight);
        if (end - offset < size) {
            log("Image: PVR: level %u is truncated", level);
            ok = false;
            break;
        }
        if (layout.decode == PVRLevelLayout::Decode::None) {
            addMipmap(_data + offset, size);
        } else {
            const bool etc = layout.decode == PVRLevelLayout::Decode::ETC;
            const std::int64_t decodedSize = std::int64_t(levelWidth) * levelHeight * (etc ? 3 : 4);
            auto* decoded = static_cast<unsigned char*>(std::malloc(decodedSize));
            if (!decoded) {
                ok = false;
                break;
            }
            if (etc) {
                etc1_decode_image(_data + offset, decoded, levelWidth, levelHeight, 3, levelWidth * 3);
            } else {
                PVRTDecompressPVRTC(_data + offset, levelWidth, levelHeight, decoded,
                                    layout.decode == PVRLevelLayout::Decode::PVRTC2);
            }
            _unpack = true;
            addMipmap(decoded, decodedSize);
        }
        offset += size;
        levelWidth = std::max(levelWidth >> 1, 1);
        levelHeight = std::max(levelHeight >> 1, 1);
    }
    if (_unpack) {
        // The levels own their buffers now; the compressed copy goes.
        std::free(_data);
        _data = _numberOfMipmaps > 0 ? _mipmaps[0].address : nullptr;
        _dataLen = _numberOfMipmaps > 0 ? _mipmaps[0].len : 0;
    }
    if (ok && _numberOfMipmaps == 0) {
        // Nothing to show: the bytes after the header are not pixels.
        log("Image: PVR: the file holds no levels");
        ok = false;
    }
    if (!ok) {
        freeData();
        return false;
    }
    return true;
}

bool Image::initWithPVRv3Data(const unsigned char* data, std::int64_t dataLen) {
    if (dataLen < kPVRHeaderSize || !(data[0] == 'P' && data[1] == 'V' && data[2] == 'R' && data[3] == 3)) return false;
    const TextureSupport support = textureSupport();
    const std::uint32_t flags = readLE32(data + 4);
    const std::uint64_t pixelFormat = readLE64(data + 8);
    const std::uint32_t height = readLE32(data + 24);
    const std::uint32_t width = readLE32(data + 28);
    // A count of 0 means the one level, as in DDS and KTX.
    const std::uint32_t mipmapCount = std::max(readLE32(data + 44), 1u);
    const std::uint32_t metadataLength = readLE32(data + 48);

    const bool dxt = pixelFormat == kPVR3DXT1 || pixelFormat == kPVR3DXT3 || pixelFormat == kPVR3DXT5;
    if ((dxt && !support.s3tc) || (pixelFormat == kPVR3BGRA8888 && !support.bgra8888)) {
        log("Image: PVR: pixel format 0x%llX is not supported by this GPU",
            static_cast<unsigned long long>(pixelFormat));
        return false;
    }
    const auto found = pvr3Formats().find(pixelFormat);
    if (found == pvr3Formats().end()) {
        log("Image: PVR: unsupported pixel format 0x%llX", static_cast<unsigned long long>(pixelFormat));
        return false;
    }
    const PixelFormat fileFormat = found->second;
    PixelFormat deviceFormat = PixelFormat::NONE;
    const PixelFormatInfo* info = uploadFormatInfo(fileFormat, &deviceFormat);
    if (!info) return false;
    if (!validDimensions("PVR", width, height)) return false;
    if (std::int64_t(metadataLength) > dataLen - kPVRHeaderSize) {
        log("Image: PVR: metadata of %u bytes runs past the end of the file", metadataLength);
        return false;
    }
    if (mipmapCount > std::uint32_t(MIPMAP_MAX)) {
        log("Image: PVR: %u mipmap levels, at most %d", mipmapCount, MIPMAP_MAX);
        return false;
    }
    _renderFormat = deviceFormat;
    if (flags & 2) _hasPremultipliedAlpha = true;
    _width = static_cast<int>(width);
    _height = static_cast<int>(height);
    const std::int64_t available = dataLen - kPVRHeaderSize - metadataLength;
    if (!copyData(data + kPVRHeaderSize + metadataLength, available)) return false;

    PVRLevelLayout layout{1, 1, info->bpp, PVRLevelLayout::Decode::None};
    if (pixelFormat == kPVR3PVRTC2RGB || pixelFormat == kPVR3PVRTC2RGBA) {
        layout = {8, 4, 2, support.pvrtc ? PVRLevelLayout::Decode::None : PVRLevelLayout::Decode::PVRTC2};
    } else if (pixelFormat == kPVR3PVRTC4RGB || pixelFormat == kPVR3PVRTC4RGBA) {
        layout = {4, 4, 4, support.pvrtc ? PVRLevelLayout::Decode::None : PVRLevelLayout::Decode::PVRTC4};
    } else if (pixelFormat == kPVR3ETC1) {
        layout = {4, 4, 4, support.etc ? PVRLevelLayout::Decode::None : PVRLevelLayout::Decode::ETC, true};
    }
    // Exactly the announced number of levels, each inside the data.
    return addPVRLevels(layout, available, mipmapCount, false);
}

}  // namespace kite
