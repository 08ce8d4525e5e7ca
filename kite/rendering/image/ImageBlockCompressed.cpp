// Block-compressed files: ETC1 in PKM, S3TC in DDS and ATITC in KTX.
#include "kite/rendering/Image.h"

#include <cstdlib>
#include <cstring>

#include "kite/foundation/Log.h"
#include "kite/rendering/decoders/ATITC.h"
#include "kite/rendering/decoders/ETC1.h"
#include "kite/rendering/decoders/S3TC.h"
#include "kite/rendering/image/ImageReading.h"
#include "platform/PrintableText.h"

namespace kite {

using namespace imagefile;

namespace {

constexpr std::int64_t kDDSHeaderSize = 128;
constexpr std::int64_t kKTXHeaderSize = 64;
constexpr std::uint32_t kATCRGB = 0x8C92;
constexpr std::uint32_t kATCExplicitAlpha = 0x8C93;
constexpr std::uint32_t kATCInterpolatedAlpha = 0x87EE;

// The levels of a block-compressed file, as (width, height, offset, size) in its payload.
struct BlockLevel {
    int width, height;
    std::int64_t offset, size;
};

// Walks the levels of a block-compressed payload: at most its mipmap count (0 counts as 1)
// and at most down to 1 x 1. Each level must lie inside the payload.
bool walkBlockLevels(const Image::BlockPayload& payload, BlockLevel* levels, int* levelCount) {
    const std::uint32_t count = payload.mipmapCount == 0 ? 1 : payload.mipmapCount;
    if (count > std::uint32_t(Image::MIPMAP_MAX)) {
        log("Image: %s: %u mipmap levels, at most %d", payload.kind, count, Image::MIPMAP_MAX);
        return false;
    }
    int width = static_cast<int>(payload.width), height = static_cast<int>(payload.height);
    std::int64_t offset = 0;
    int n = 0;
    for (std::uint32_t i = 0; i < count && (width || height); ++i) {
        const int w = width ? width : 1, h = height ? height : 1;
        const std::int64_t size = ((std::int64_t(w) + 3) / 4) * ((std::int64_t(h) + 3) / 4) * payload.blockBytes;
        if (offset + size > payload.size) {
            log("Image: %s: level %u is truncated", payload.kind, i);
            return false;
        }
        levels[n++] = {w, h, offset, size};
        offset += size + payload.levelGap;
        width >>= 1;
        height >>= 1;
    }
    *levelCount = n;
    return true;
}

}  // namespace

bool Image::initWithETCData(const unsigned char* data, std::int64_t dataLen) {
    if (dataLen < ETC_PKM_HEADER_SIZE || !etc1_pkm_is_valid(data)) return false;
    const std::uint32_t width = etc1_pkm_get_width(data);
    const std::uint32_t height = etc1_pkm_get_height(data);
    if (!validDimensions("PKM", width, height)) return false;
    if (std::uint64_t(dataLen - ETC_PKM_HEADER_SIZE) < etc1_get_encoded_data_size(width, height)) {
        log("Image: PKM: the ETC data for %u x %u is truncated", width, height);
        return false;
    }
    _width = static_cast<int>(width);
    _height = static_cast<int>(height);
    // No GPU here is asked to sample ETC: it is always decoded.
    _renderFormat = PixelFormat::RGB888;
    _dataLen = std::int64_t(width) * height * 3;
    _data = static_cast<unsigned char*>(std::malloc(_dataLen));
    if (!_data || etc1_decode_image(data + ETC_PKM_HEADER_SIZE, _data, width, height, 3, width * 3) != 0) {
        freeData();
        return false;
    }
    return true;
}

bool Image::initWithBlockLevels(const BlockPayload& payload) {
    BlockLevel levels[MIPMAP_MAX];
    int levelCount = 0;
    if (!walkBlockLevels(payload, levels, &levelCount)) return false;
    _width = static_cast<int>(payload.width);
    _height = static_cast<int>(payload.height);
    // A format the texture table has no row for cannot be uploaded, whatever the GPU offers.
    if (payload.gpuSamples && findPixelFormatInfo(payload.compressedFormat)) {
        _renderFormat = payload.compressedFormat;
        if (!copyData(payload.blocks, payload.size)) return false;
        for (int i = 0; i < levelCount; ++i) addMipmap(_data + levels[i].offset, levels[i].size);
        return true;
    }
    _renderFormat = PixelFormat::RGBA8888;
    std::int64_t total = 0;
    for (int i = 0; i < levelCount; ++i) total += std::int64_t(levels[i].width) * levels[i].height * 4;
    _data = static_cast<unsigned char*>(std::calloc(total, 1));
    if (!_data) return false;
    _dataLen = total;
    std::int64_t position = 0;
    for (int i = 0; i < levelCount; ++i) {
        const std::int64_t size = std::int64_t(levels[i].width) * levels[i].height * 4;
        payload.decode(payload.blocks + levels[i].offset, _data + position, levels[i].width, levels[i].height);
        addMipmap(_data + position, size);
        position += size;
    }
    return true;
}

bool Image::initWithS3TCData(const unsigned char* data, std::int64_t dataLen) {
    if (dataLen < kDDSHeaderSize) {
        log("Image: DDS: the header is truncated");
        return false;
    }
    const std::uint32_t height = readLE32(data + 12);
    const std::uint32_t width = readLE32(data + 16);
    const std::uint32_t mipmapCount = readLE32(data + 28);
    S3TCDecodeFlag flag;
    PixelFormat format;
    if (std::memcmp(data + 84, "DXT1", 4) == 0) {
        flag = S3TCDecodeFlag::DXT1;
        format = PixelFormat::S3TC_DXT1;
    } else if (std::memcmp(data + 84, "DXT3", 4) == 0) {
        flag = S3TCDecodeFlag::DXT3;
        format = PixelFormat::S3TC_DXT3;
    } else if (std::memcmp(data + 84, "DXT5", 4) == 0) {
        flag = S3TCDecodeFlag::DXT5;
        format = PixelFormat::S3TC_DXT5;
    } else {
        log("Image: DDS: unsupported pixel format \"%s\"",
            platform::printableText(std::string_view(reinterpret_cast<const char*>(data + 84), 4)).c_str());
        return false;
    }
    if (!validDimensions("DDS", width, height)) return false;
    BlockPayload payload;
    payload.kind = "DDS";
    payload.width = width;
    payload.height = height;
    payload.mipmapCount = mipmapCount;
    payload.blockBytes = flag == S3TCDecodeFlag::DXT1 ? 8 : 16;
    payload.blocks = data + kDDSHeaderSize;
    payload.size = dataLen - kDDSHeaderSize;
    payload.gpuSamples = textureSupport().s3tc;
    payload.compressedFormat = format;
    payload.decode = [flag](const unsigned char* blocks, unsigned char* out, int w, int h) {
        s3tc_decode(blocks, out, w, h, flag);
    };
    return initWithBlockLevels(payload);
}

bool Image::initWithATITCData(const unsigned char* data, std::int64_t dataLen) {
    if (dataLen < kKTXHeaderSize) {
        log("Image: KTX: the header is truncated");
        return false;
    }
    const std::uint32_t internalFormat = readLE32(data + 28);
    const std::uint32_t width = readLE32(data + 36);
    const std::uint32_t height = readLE32(data + 40);
    const std::uint32_t mipmapCount = readLE32(data + 56);
    const std::uint32_t keyValueLength = readLE32(data + 60);
    ATITCDecodeFlag flag;
    PixelFormat format;
    switch (internalFormat) {
        case kATCInterpolatedAlpha:
            flag = ATITCDecodeFlag::ATC_INTERPOLATED_ALPHA;
            format = PixelFormat::ATC_INTERPOLATED_ALPHA;
            break;
        case kATCExplicitAlpha:
            flag = ATITCDecodeFlag::ATC_EXPLICIT_ALPHA;
            format = PixelFormat::ATC_EXPLICIT_ALPHA;
            break;
        case kATCRGB:
            flag = ATITCDecodeFlag::ATC_RGB;
            format = PixelFormat::ATC_RGB;
            break;
        default: log("Image: KTX: unsupported internal format 0x%04X", internalFormat); return false;
    }
    if (!validDimensions("KTX", width, height)) return false;
    // The first level follows the key/value data and its own size word.
    const std::int64_t start = kKTXHeaderSize + std::int64_t(keyValueLength) + 4;
    if (start > dataLen) {
        log("Image: KTX: key/value data of %u bytes runs past the end of the file", keyValueLength);
        return false;
    }
    BlockPayload payload;
    payload.kind = "KTX";
    payload.width = width;
    payload.height = height;
    payload.mipmapCount = mipmapCount;
    payload.blockBytes = flag == ATITCDecodeFlag::ATC_RGB ? 8 : 16;
    payload.levelGap = 4;  // each level is followed by the next level's size word
    payload.blocks = data + start;
    payload.size = dataLen - start;
    payload.gpuSamples = textureSupport().atitc;
    payload.compressedFormat = format;
    payload.decode = [flag](const unsigned char* blocks, unsigned char* out, int w, int h) {
        atitc_decode(blocks, out, w, h, flag);
    };
    return initWithBlockLevels(payload);
}

}  // namespace kite
