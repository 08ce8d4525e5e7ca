// TIFF files: read through libtiff from memory, delivered as RGBA8888.
#include "kite/rendering/Image.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <tiffio.h>

#include "kite/foundation/Log.h"
#include "kite/rendering/image/ImageReading.h"
#include "platform/PrintableText.h"

namespace kite {

using namespace imagefile;

namespace {

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
        case SEEK_CUR: target = static_cast<std::int64_t>(source->offset) + delta; break;
        case SEEK_END: target = size + delta; break;
        default: target = delta; break;
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
    log("Image: TIFF: %s%s%s", platform::printableText(module ? module : "").c_str(), module ? ": " : "",
        platform::printableText(message).c_str());
}

void tiffWarning(const char*, const char*, va_list) {}

}  // namespace

bool Image::initWithTiffData(const unsigned char* data, std::int64_t dataLen) {
    static std::once_flag handlers;
    std::call_once(handlers, [] {
        TIFFSetErrorHandler(tiffError);
        TIFFSetWarningHandler(tiffWarning);
    });
    TiffSource source{data, static_cast<toff_t>(dataLen), 0};
    TIFF* tif = TIFFClientOpen("file.tif", "r", &source, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap,
                               tiffUnmap);
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

}  // namespace kite
