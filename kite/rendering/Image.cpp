#include "kite/rendering/Image.h"

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <unordered_map>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>
#include <tiffio.h>
#include <webp/decode.h>

#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/ZipUtils.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/TGAlib.h"
#include "kite/rendering/decoders/ATITC.h"
#include "kite/rendering/decoders/ETC1.h"
#include "kite/rendering/decoders/PVRTC.h"
#include "kite/rendering/decoders/S3TC.h"

namespace kite {

namespace {

// Larger decoded sizes are refused before anything is allocated: no texture that a GPU
// of this engine samples is wider or higher.
constexpr std::int64_t kMaxDimension = 16384;

std::mutex pvrFlagMutex;
bool pvrHavePremultipliedAlpha = false;

// What the GPU can sample, as the configuration gathered it.
struct TextureSupport {
    bool npot, pvrtc, etc, s3tc, atitc, bgra8888;
};

TextureSupport textureSupport() {
    const Configuration* config = Configuration::getInstance();
    return {config->supportsNPOT(), config->supportsPVRTC(), config->supportsETC(),
            config->supportsS3TC(), config->supportsATITC(), config->supportsBGRA8888()};
}

bool validDimensions(const char* kind, std::int64_t width, std::int64_t height) {
    if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension) {
        log("Image: %s: unsupported size %lld x %lld", kind, static_cast<long long>(width),
            static_cast<long long>(height));
        return false;
    }
    return true;
}

std::uint32_t readLE32(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

std::uint64_t readLE64(const unsigned char* p) { return std::uint64_t(readLE32(p)) | (std::uint64_t(readLE32(p + 4)) << 32); }

bool isPowerOfTwo(std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// ---- PNG ------------------------------------------------------------------------------

struct PngSource {
    const unsigned char* data;
    std::size_t size;
    std::size_t offset;
};

void pngReadCallback(png_structp png, png_bytep out, png_size_t length) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->offset + length > source->size) {
        png_error(png, "pngReaderCallback failed");
        return;
    }
    std::memcpy(out, source->data + source->offset, length);
    source->offset += length;
}

void pngErrorCallback(png_structp png, png_const_charp message) {
    log("Image: PNG: %s", message);
    png_longjmp(png, 1);
}

void pngWarningCallback(png_structp, png_const_charp) {}

// ---- JPEG -----------------------------------------------------------------------------

struct JpegErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    // Set when the data ends before the image does; other warnings (stray bytes before a
    // marker) leave a picture that decodes and are only logged.
    bool truncated;
    bool warned;
};

void jpegErrorExit(j_common_ptr info) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    char message[JMSG_LENGTH_MAX];
    errors->manager.format_message(info, message);
    log("Image: JPEG: %s", message);
    std::longjmp(errors->jump, 1);
}

void jpegEmitMessage(j_common_ptr info, int level) {
    auto* errors = reinterpret_cast<JpegErrorManager*>(info->err);
    if (level >= 0) return;
    const bool endOfData = errors->manager.msg_code == JWRN_JPEG_EOF;
    if (!errors->warned || (endOfData && !errors->truncated)) {
        char message[JMSG_LENGTH_MAX];
        errors->manager.format_message(info, message);
        log("Image: JPEG: %s", message);
        errors->warned = true;
    }
    if (endOfData) errors->truncated = true;
}

// ---- TIFF -----------------------------------------------------------------------------

struct TiffSource {
    const unsigned char* data;
    toff_t size;
    toff_t offset;
};

tmsize_t tiffRead(thandle_t handle, void* buffer, tmsize_t size) {
    auto* source = static_cast<TiffSource*>(handle);
    if (size < 0 || source->offset >= source->size) return 0;
    toff_t count = static_cast<toff_t>(size);
    if (count > source->size - source->offset) count = source->size - source->offset;
    std::memcpy(buffer, source->data + source->offset, count);
    source->offset += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t tiffWrite(thandle_t, void*, tmsize_t) { return 0; }

// Every target is kept within [0, size]; SEEK_END counts from the end of the data.
toff_t tiffSeek(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<TiffSource*>(handle);
    const auto delta = static_cast<std::int64_t>(offset);
    const auto size = static_cast<std::int64_t>(source->size);
    std::int64_t target;
    switch (whence) {
        case SEEK_CUR:
            target = static_cast<std::int64_t>(source->offset) + delta;
            break;
        case SEEK_END:
            target = size + delta;
            break;
        default:
            target = delta;
            break;
    }
    if (target < 0 || target > size) return static_cast<toff_t>(-1);
    source->offset = static_cast<toff_t>(target);
    return source->offset;
}

int tiffClose(thandle_t) { return 0; }

toff_t tiffSize(thandle_t handle) { return static_cast<TiffSource*>(handle)->size; }

int tiffMap(thandle_t, void**, toff_t*) { return 0; }

void tiffUnmap(thandle_t, void*, toff_t) {}

void tiffError(const char* module, const char* format, va_list args) {
    char message[512];
    std::vsnprintf(message, sizeof message, format, args);
    log("Image: TIFF: %s%s%s", module ? module : "", module ? ": " : "", message);
}

void tiffWarning(const char*, const char*, va_list) {}

// ---- PVR ------------------------------------------------------------------------------

constexpr std::int64_t kPVRHeaderSize = 52;

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
           (std::uint64_t(b0) << 32) | (std::uint64_t(b1) << 40) | (std::uint64_t(b2) << 48) | (std::uint64_t(b3) << 56);
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

// ---- DDS and KTX ----------------------------------------------------------------------

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

}  // namespace

PixelFormat getDevicePixelFormat(PixelFormat format) {
    const TextureSupport support = textureSupport();
    switch (format) {
        case PixelFormat::ETC:
            return support.etc ? format : PixelFormat::RGB888;
        case PixelFormat::PVRTC4:
        case PixelFormat::PVRTC4A:
        case PixelFormat::PVRTC2:
        case PixelFormat::PVRTC2A:
            return support.pvrtc ? format : PixelFormat::RGBA8888;
        default:
            return format;
    }
}

void Image::setPVRImagesHavePremultipliedAlpha(bool haveAlphaPremultiplied) {
    std::lock_guard<std::mutex> lock(pvrFlagMutex);
    pvrHavePremultipliedAlpha = haveAlphaPremultiplied;
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

bool Image::isCompressed() const {
    const PixelFormatInfo* info = findPixelFormatInfo(_renderFormat);
    return info && info->compressed;
}

// ---- files ----------------------------------------------------------------------------

bool Image::initWithImageFile(const std::string& path) {
    FileUtils* files = FileUtils::getInstance();
    const std::string fullpath = files ? files->fullPathForFilename(path) : std::string();
    if (fullpath.empty()) {
        log("Image: \"%s\" not found", path.c_str());
        return false;
    }
    return decodeFile(fullpath);
}

bool Image::initWithImageFileThreadSafe(const std::string& fullpath) { return decodeFile(fullpath); }

bool Image::decodeFile(const std::string& fullpath) {
    _filePath = fullpath;
    FileUtils* files = FileUtils::getInstance();
    const Data data = files ? files->getDataFromFile(fullpath) : Data();
    if (data.isNull()) {
        log("Image: cannot read \"%s\"", fullpath.c_str());
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
    return std::memcmp(data + 44, "PVR!", 4) == 0 || (data[0] == 'P' && data[1] == 'V' && data[2] == 'R' && data[3] == 3);
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
    if (!data || dataLen < 1) {
        log("Image: no data to decode");
        return false;
    }
    unsigned char* unpacked = nullptr;
    const unsigned char* bytes = data;
    std::int64_t length = dataLen;
    if (ZipUtils::isKTZBuffer(data, dataLen)) {
        // The enciphered form is deciphered in place: the caller's bytes stay as they are.
        unsigned char* copy = static_cast<unsigned char*>(std::malloc(dataLen));
        if (copy) {
            std::memcpy(copy, data, dataLen);
            length = ZipUtils::inflateKTZBuffer(copy, dataLen, &unpacked);
            std::free(copy);
        }
        bytes = unpacked;
    } else if (ZipUtils::isGZipBuffer(data, dataLen)) {
        length = ZipUtils::inflateMemory(data, dataLen, &unpacked);
        bytes = unpacked;
    }
    if (!bytes || length < 1) {
        std::free(unpacked);
        log("Image: cannot unpack the compressed container");
        return false;
    }

    _fileType = detectFormat(bytes, length);
    bool ok = false;
    switch (_fileType) {
        case Format::PNG:
            ok = initWithPngData(bytes, length);
            break;
        case Format::JPG:
            ok = initWithJpgData(bytes, length);
            break;
        case Format::TIFF:
            ok = initWithTiffData(bytes, length);
            break;
        case Format::WEBP:
            ok = initWithWebpData(bytes, length);
            break;
        case Format::PVR:
            ok = initWithPVRData(bytes, length);
            break;
        case Format::ETC:
            ok = initWithETCData(bytes, length);
            break;
        case Format::S3TC:
            ok = initWithS3TCData(bytes, length);
            break;
        case Format::ATITC:
            ok = initWithATITCData(bytes, length);
            break;
        default: {
            // Checked before the reader allocates: a short run-length file can announce a huge image.
            if (length >= 16 && !validDimensions("TGA", bytes[12] | (bytes[13] << 8), bytes[14] | (bytes[15] << 8))) {
                break;
            }
            tImageTGA* tga = tgaLoadBuffer(bytes, static_cast<long>(length));
            if (tga && tga->status == TGA_OK) {
                ok = initWithTGAData(tga);
            } else {
                log("Image: unrecognised image data (TGA status %d)", tga ? tga->status : -1);
            }
            tgaDestroy(tga);
            break;
        }
    }
    std::free(unpacked);
    return ok;
}

bool Image::initWithRawData(const unsigned char* data, std::int64_t dataLen, int width, int height,
                            int /*bitsPerComponent*/, bool preMulti) {
    if (width <= 0 || height <= 0) return false;
    const std::int64_t size = std::int64_t(width) * height * 4;
    if (!data || dataLen < size) {
        log("Image: raw data holds %lld bytes, %lld needed", static_cast<long long>(dataLen), static_cast<long long>(size));
        return false;
    }
    _renderFormat = PixelFormat::RGBA8888;
    _width = width;
    _height = height;
    _hasPremultipliedAlpha = preMulti;
    _data = static_cast<unsigned char*>(std::malloc(size));
    if (!_data) return false;
    _dataLen = size;
    std::memcpy(_data, data, size);
    return true;
}

// ---- PNG, JPEG, TIFF, WebP ------------------------------------------------------------

bool Image::initWithPngData(const unsigned char* data, std::int64_t dataLen) {
    if (dataLen < 8 || png_sig_cmp(data, 0, 8) != 0) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngErrorCallback, pngWarningCallback);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource source{data, static_cast<std::size_t>(dataLen), 0};
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        std::free(rows);
        freeData();
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, pngReadCallback);
    png_read_info(png, info);
    _width = static_cast<int>(png_get_image_width(png, info));
    _height = static_cast<int>(png_get_image_height(png, info));
    if (!validDimensions("PNG", png_get_image_width(png, info), png_get_image_height(png, info))) png_longjmp(png, 1);
    const png_byte bitDepth = png_get_bit_depth(png, info);
    png_byte colorType = png_get_color_type(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) {
        png_set_strip_16(png);
    } else if (bitDepth < 8) {
        png_set_packing(png);
    }
    png_read_update_info(png, info);
    colorType = png_get_color_type(png, info);
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY:
            _renderFormat = PixelFormat::I8;
            break;
        case PNG_COLOR_TYPE_RGB:
            _renderFormat = PixelFormat::RGB888;
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            _renderFormat = PixelFormat::AI88;
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            _renderFormat = PixelFormat::RGBA8888;
            break;
        default:
            break;
    }
    const png_size_t rowBytes = png_get_rowbytes(png, info);
    _dataLen = static_cast<std::int64_t>(rowBytes) * _height;
    _data = static_cast<unsigned char*>(std::malloc(_dataLen));
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * _height));
    if (!_data || !rows) png_error(png, "out of memory");
    for (int i = 0; i < _height; ++i) rows[i] = _data + i * rowBytes;
    png_read_image(png, rows);
    png_read_end(png, nullptr);

    if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
        for (std::int64_t i = 0; i + 3 < _dataLen; i += 4) {
            const unsigned a = _data[i + 3] + 1;
            _data[i] = static_cast<unsigned char>((_data[i] * a) >> 8);
            _data[i + 1] = static_cast<unsigned char>((_data[i + 1] * a) >> 8);
            _data[i + 2] = static_cast<unsigned char>((_data[i + 2] * a) >> 8);
        }
        _hasPremultipliedAlpha = true;
    } else {
        _hasPremultipliedAlpha = false;
    }
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool Image::initWithJpgData(const unsigned char* data, std::int64_t dataLen) {
    jpeg_decompress_struct cinfo;
    JpegErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegErrorExit;
    errors.manager.emit_message = jpegEmitMessage;
    errors.truncated = false;
    errors.warned = false;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        freeData();
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(dataLen));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.jpeg_color_space == JCS_GRAYSCALE) {
        _renderFormat = PixelFormat::I8;
    } else {
        cinfo.out_color_space = JCS_RGB;
        _renderFormat = PixelFormat::RGB888;
    }
    if (!validDimensions("JPEG", cinfo.image_width, cinfo.image_height)) std::longjmp(errors.jump, 1);
    jpeg_start_decompress(&cinfo);
    _width = static_cast<int>(cinfo.output_width);
    _height = static_cast<int>(cinfo.output_height);
    _hasPremultipliedAlpha = false;
    const std::int64_t rowBytes = std::int64_t(cinfo.output_width) * cinfo.output_components;
    _dataLen = rowBytes * _height;
    _data = static_cast<unsigned char*>(std::malloc(_dataLen));
    if (!_data) {
        log("Image: JPEG: out of memory");
        std::longjmp(errors.jump, 1);
    }
    while (cinfo.output_scanline < cinfo.output_height && !errors.truncated) {
        JSAMPROW row = _data + cinfo.output_scanline * rowBytes;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    // The library fills what is missing with grey and goes on; here that is a failure.
    if (errors.truncated) std::longjmp(errors.jump, 1);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool Image::initWithTiffData(const unsigned char* data, std::int64_t dataLen) {
    static std::once_flag handlers;
    std::call_once(handlers, [] {
        TIFFSetErrorHandler(tiffError);
        TIFFSetWarningHandler(tiffWarning);
    });
    TiffSource source{data, static_cast<toff_t>(dataLen), 0};
    TIFF* tif = TIFFClientOpen("file.tif", "r", &source, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap, tiffUnmap);
    if (!tif) {
        log("Image: TIFF: cannot open the data");
        return false;
    }
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    bool ok = false;
    if (validDimensions("TIFF", width, height)) {
        _width = static_cast<int>(width);
        _height = static_cast<int>(height);
        _renderFormat = PixelFormat::RGBA8888;
        _dataLen = std::int64_t(width) * height * 4;
        _data = static_cast<unsigned char*>(std::malloc(_dataLen));
        auto* raster = static_cast<std::uint32_t*>(_TIFFmalloc(static_cast<tmsize_t>(_dataLen)));
        if (_data && raster && TIFFReadRGBAImageOriented(tif, width, height, raster, ORIENTATION_TOPLEFT, 1)) {
            // Each word is A B G R from the top bit down: bytes R, G, B, A in memory.
            for (std::int64_t i = 0; i < std::int64_t(width) * height; ++i) {
                const std::uint32_t pixel = raster[i];
                _data[4 * i] = static_cast<unsigned char>(TIFFGetR(pixel));
                _data[4 * i + 1] = static_cast<unsigned char>(TIFFGetG(pixel));
                _data[4 * i + 2] = static_cast<unsigned char>(TIFFGetB(pixel));
                _data[4 * i + 3] = static_cast<unsigned char>(TIFFGetA(pixel));
            }
            _hasPremultipliedAlpha = true;
            ok = true;
        } else {
            log("Image: TIFF: cannot read the pixels");
            freeData();
        }
        if (raster) _TIFFfree(raster);
    }
    TIFFClose(tif);
    return ok;
}

bool Image::initWithWebpData(const unsigned char* data, std::int64_t dataLen) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return false;
    if (WebPGetFeatures(data, static_cast<std::size_t>(dataLen), &config.input) != VP8_STATUS_OK) {
        log("Image: WebP: cannot read the header");
        return false;
    }
    if (!validDimensions("WebP", config.input.width, config.input.height)) return false;
    _width = config.input.width;
    _height = config.input.height;
    _renderFormat = PixelFormat::RGBA8888;
    _hasPremultipliedAlpha = false;
    _dataLen = std::int64_t(_width) * _height * 4;
    _data = static_cast<unsigned char*>(std::malloc(_dataLen));
    if (!_data) return false;
    config.output.colorspace = MODE_RGBA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = _data;
    config.output.u.RGBA.stride = _width * 4;
    config.output.u.RGBA.size = static_cast<std::size_t>(_dataLen);
    if (WebPDecode(data, static_cast<std::size_t>(dataLen), &config) != VP8_STATUS_OK) {
        log("Image: WebP: cannot decode the pixels");
        freeData();
        return false;
    }
    return true;
}

// ---- PVR ------------------------------------------------------------------------------

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
    const PixelFormat deviceFormat = getDevicePixelFormat(fileFormat);
    const PixelFormatInfo* info = findPixelFormatInfo(deviceFormat);
    if (!info) {
        log("Image: PVR: pixel format %d cannot be uploaded", static_cast<int>(deviceFormat));
        return false;
    }
    if (fileFormat == PixelFormat::BGRA8888 && !support.bgra8888) {
        log("Image: PVR: BGRA8888 is not supported by this GPU");
        return false;
    }
    const std::int64_t available = dataLen - kPVRHeaderSize;
    if (std::int64_t(declaredLength) > available) {
        log("Image: PVR: %u bytes of pixels announced, %lld present", declaredLength, static_cast<long long>(available));
        return false;
    }
    _renderFormat = deviceFormat;
    _width = static_cast<int>(width);
    _height = static_cast<int>(height);
    _data = static_cast<unsigned char*>(std::malloc(available > 0 ? available : 1));
    if (!_data) return false;
    _dataLen = available;
    std::memcpy(_data, data + kPVRHeaderSize, available);

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
        log("Image: PVR: pixel format 0x%llX is not supported by this GPU", static_cast<unsigned long long>(pixelFormat));
        return false;
    }
    const auto found = pvr3Formats().find(pixelFormat);
    if (found == pvr3Formats().end()) {
        log("Image: PVR: unsupported pixel format 0x%llX", static_cast<unsigned long long>(pixelFormat));
        return false;
    }
    const PixelFormat fileFormat = found->second;
    const PixelFormat deviceFormat = getDevicePixelFormat(fileFormat);
    const PixelFormatInfo* info = findPixelFormatInfo(deviceFormat);
    if (!info) {
        log("Image: PVR: pixel format %d cannot be uploaded", static_cast<int>(deviceFormat));
        return false;
    }
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
    _data = static_cast<unsigned char*>(std::malloc(available > 0 ? available : 1));
    if (!_data) return false;
    _dataLen = available;
    std::memcpy(_data, data + kPVRHeaderSize + metadataLength, available);

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

// ---- PKM, DDS, KTX --------------------------------------------------------------------

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

namespace {

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

bool Image::initWithBlockLevels(const BlockPayload& payload) {
    BlockLevel levels[MIPMAP_MAX];
    int levelCount = 0;
    if (!walkBlockLevels(payload, levels, &levelCount)) return false;
    _width = static_cast<int>(payload.width);
    _height = static_cast<int>(payload.height);
    // A format the texture table has no row for cannot be uploaded, whatever the GPU offers.
    if (payload.gpuSamples && findPixelFormatInfo(payload.compressedFormat)) {
        _renderFormat = payload.compressedFormat;
        _data = static_cast<unsigned char*>(std::malloc(payload.size > 0 ? payload.size : 1));
        if (!_data) return false;
        _dataLen = payload.size;
        std::memcpy(_data, payload.blocks, payload.size);
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
        log("Image: DDS: unsupported pixel format \"%.4s\"", reinterpret_cast<const char*>(data + 84));
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
        default:
            log("Image: KTX: unsupported internal format 0x%04X", internalFormat);
            return false;
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

// ---- TGA ------------------------------------------------------------------------------

bool Image::initWithTGAData(tImageTGA* tgaData) {
    bool ok = false;
    if (tgaData->type == 2 || tgaData->type == 10) {
        switch (tgaData->pixelDepth) {
            case 32:
                _renderFormat = PixelFormat::RGBA8888;
                ok = true;
                break;
            case 24:
                _renderFormat = PixelFormat::RGB888;
                ok = true;
                break;
            case 16:
                _renderFormat = PixelFormat::RGB5A1;
                ok = true;
                break;
            default:
                break;
        }
    } else if (tgaData->type == 3 && tgaData->pixelDepth == 8) {
        _renderFormat = PixelFormat::I8;
        ok = true;
    }
    if (!ok) {
        log("Image: TGA: unsupported type %d at %d bits", tgaData->type, tgaData->pixelDepth);
        return false;
    }
    _width = tgaData->width;
    _height = tgaData->height;
    _data = tgaData->imageData;
    tgaData->imageData = nullptr;
    _dataLen = std::int64_t(_width) * _height * tgaData->pixelDepth / 8;
    _fileType = Format::TGA;
    _hasPremultipliedAlpha = false;
    return true;
}

}  // namespace kite
