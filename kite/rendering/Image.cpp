// Image: reading a file, detecting its kind and handing it to the reader of that kind
// (kite/rendering/image/), plus raw pixels given by the caller.
#include "kite/rendering/Image.h"

#include <cstdlib>
#include <cstring>

#include "kite/foundation/FileUtils.h"
#include "kite/foundation/FrameCosts.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/ZipUtils.h"
#include "kite/rendering/decoders/ETC1.h"
#include "kite/rendering/image/ImageReading.h"
#include "platform/PrintableText.h"

namespace kite {

using namespace imagefile;

namespace {

// Unpacks a gzip or enciphered container into *unpacked (the caller frees it); other data is
// used as it stands. Returns false when the container cannot be unpacked.
bool unpackContainer(const unsigned char* data, std::int64_t dataLen, unsigned char** unpacked,
                     const unsigned char** bytes, std::int64_t* length) {
    *bytes = data;
    *length = dataLen;
    if (ZipUtils::isKTZBuffer(data, dataLen)) {
        // The enciphered form is deciphered in place: the caller's bytes stay as they are.
        unsigned char* copy = static_cast<unsigned char*>(std::malloc(dataLen));
        if (copy) {
            std::memcpy(copy, data, dataLen);
            *length = ZipUtils::inflateKTZBuffer(copy, dataLen, unpacked);
            std::free(copy);
        }
        *bytes = *unpacked;
    } else if (ZipUtils::isGZipBuffer(data, dataLen)) {
        *length = ZipUtils::inflateMemory(data, dataLen, unpacked);
        *bytes = *unpacked;
    }
    return *bytes && *length >= 1;
}

}  // namespace

PixelFormat getDevicePixelFormat(PixelFormat format) {
    const TextureSupport support = textureSupport();
    switch (format) {
        case PixelFormat::ETC: return support.etc ? format : PixelFormat::RGB888;
        case PixelFormat::PVRTC4:
        case PixelFormat::PVRTC4A:
        case PixelFormat::PVRTC2:
        case PixelFormat::PVRTC2A: return support.pvrtc ? format : PixelFormat::RGBA8888;
        default: return format;
    }
}

Image::Image() = default;

Image::~Image() { freeData(); }

void Image::freeData() {
    if (_unpack) {
        for (int i = 0; i < _numberOfMipmaps; ++i) std::free(_mipmaps[i].address);
    } else {
        std::free(_data);
    }
    _data = nullptr;
    _dataLen = 0;
    _unpack = false;
    _numberOfMipmaps = 0;
}

bool Image::addMipmap(unsigned char* address, std::int64_t length) {
    if (_numberOfMipmaps >= MIPMAP_MAX) return false;
    _mipmaps[_numberOfMipmaps].address = address;
    _mipmaps[_numberOfMipmaps].len = length;
    ++_numberOfMipmaps;
    return true;
}

bool Image::copyData(const unsigned char* bytes, std::int64_t length) {
    // An empty payload still gets an address: null data means that nothing was decoded.
    _data = static_cast<unsigned char*>(std::malloc(length > 0 ? length : 1));
    if (!_data) return false;
    _dataLen = length;
    if (length > 0) std::memcpy(_data, bytes, length);
    return true;
}

bool Image::isCompressed() const {
    const PixelFormatInfo* info = findPixelFormatInfo(_renderFormat);
    return info && info->compressed;
}

// ---- files ----------------------------------------------------------------------------

bool Image::initWithImageFile(const std::string& path) {
    FileUtils* files = FileUtils::getInstance();
    const std::string fullpath = files ? files->fullPathForFilename(path) : std::string();
    if (fullpath.empty()) {
        log("Image: \"%s\" not found", platform::printableText(path).c_str());
        return false;
    }
    return decodeFile(fullpath);
}

bool Image::initWithImageFileThreadSafe(const std::string& fullpath) { return decodeFile(fullpath); }

bool Image::decodeFile(const std::string& fullpath) {
    FrameCosts::Scope step("image decode");
    _filePath = fullpath;
    FileUtils* files = FileUtils::getInstance();
    const Data data = files ? files->getDataFromFile(fullpath) : Data();
    if (data.isNull()) {
        log("Image: cannot read \"%s\"", platform::printableText(fullpath).c_str());
        return false;
    }
    return initWithImageData(data.getBytes(), data.getSize());
}

// ---- detection ------------------------------------------------------------------------

bool Image::isPng(const unsigned char* data, std::int64_t dataLen) {
    static const unsigned char signature[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    return dataLen >= 9 && std::memcmp(data, signature, 8) == 0;
}

bool Image::isJpg(const unsigned char* data, std::int64_t dataLen) {
    return dataLen >= 5 && data[0] == 0xFF && data[1] == 0xD8;
}

bool Image::isTiff(const unsigned char* data, std::int64_t dataLen) {
    if (dataLen < 5) return false;
    return (data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) ||
           (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42);
}

bool Image::isWebp(const unsigned char* data, std::int64_t dataLen) {
    return dataLen >= 13 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

bool Image::isPvr(const unsigned char* data, std::int64_t dataLen) {
    if (dataLen < kPVRHeaderSize) return false;
    return std::memcmp(data + 44, "PVR!", 4) == 0 ||
           (data[0] == 'P' && data[1] == 'V' && data[2] == 'R' && data[3] == 3);
}

bool Image::isEtc(const unsigned char* data, std::int64_t dataLen) {
    return dataLen >= ETC_PKM_HEADER_SIZE && etc1_pkm_is_valid(data);
}

bool Image::isS3TC(const unsigned char* data, std::int64_t dataLen) {
    return dataLen >= 3 && std::memcmp(data, "DDS", 3) == 0;
}

bool Image::isATITC(const unsigned char* data, std::int64_t dataLen) {
    return dataLen >= 4 && std::memcmp(data + 1, "KTX", 3) == 0;
}

Image::Format Image::detectFormat(const unsigned char* data, std::int64_t dataLen) {
    if (!data || dataLen < 1) return Format::UNKNOWN;
    if (isPng(data, dataLen)) return Format::PNG;
    if (isJpg(data, dataLen)) return Format::JPG;
    if (isTiff(data, dataLen)) return Format::TIFF;
    if (isWebp(data, dataLen)) return Format::WEBP;
    if (isPvr(data, dataLen)) return Format::PVR;
    if (isEtc(data, dataLen)) return Format::ETC;
    if (isS3TC(data, dataLen)) return Format::S3TC;
    if (isATITC(data, dataLen)) return Format::ATITC;
    return Format::UNKNOWN;
}

bool Image::initWithImageData(const unsigned char* data, std::int64_t dataLen) {
    FrameCosts::Scope step("image decode");
    if (!data || dataLen < 1) {
        log("Image: no data to decode");
        return false;
    }
    unsigned char* unpacked = nullptr;
    const unsigned char* bytes = nullptr;
    std::int64_t length = 0;
    if (!unpackContainer(data, dataLen, &unpacked, &bytes, &length)) {
        std::free(unpacked);
        log("Image: cannot unpack the compressed container");
        return false;
    }

    _fileType = detectFormat(bytes, length);
    bool ok = false;
    switch (_fileType) {
        case Format::PNG: ok = initWithPngData(bytes, length); break;
        case Format::JPG: ok = initWithJpgData(bytes, length); break;
        case Format::TIFF: ok = initWithTiffData(bytes, length); break;
        case Format::WEBP: ok = initWithWebpData(bytes, length); break;
        case Format::PVR: ok = initWithPVRData(bytes, length); break;
        case Format::ETC: ok = initWithETCData(bytes, length); break;
        case Format::S3TC: ok = initWithS3TCData(bytes, length); break;
        case Format::ATITC: ok = initWithATITCData(bytes, length); break;
        default: ok = initImageWithTGABuffer(*this, bytes, length); break;
    }
    std::free(unpacked);
    return ok;
}

bool Image::initWithRawData(const unsigned char* data, std::int64_t dataLen, int width, int height,
                            int /*bitsPerComponent*/, bool preMulti) {
    if (width <= 0 || height <= 0) return false;
    const std::int64_t size = std::int64_t(width) * height * 4;
    if (!data || dataLen < size) {
        log("Image: raw data holds %lld bytes, %lld needed", static_cast<long long>(dataLen),
            static_cast<long long>(size));
        return false;
    }
    _renderFormat = PixelFormat::RGBA8888;
    _width = width;
    _height = height;
    _hasPremultipliedAlpha = preMulti;
    return copyData(data, size);
}

}  // namespace kite
