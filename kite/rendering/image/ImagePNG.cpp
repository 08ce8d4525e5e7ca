// PNG files: read through libpng from memory, RGBA premultiplied on the way in.
#include "kite/rendering/Image.h"

#include <cstdlib>
#include <cstring>

#include <png.h>

#include "kite/foundation/Log.h"
#include "kite/rendering/image/ImageReading.h"

namespace kite {

using namespace imagefile;

namespace {

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

// Palettes, low bit depths, 16-bit channels and transparency keys all become 8-bit channels;
// returns the colour type the rows are then read in.
png_byte expandToEightBitChannels(png_structp png, png_infop info) {
    const png_byte bitDepth = png_get_bit_depth(png, info);
    const png_byte colorType = png_get_color_type(png, info);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) {
        png_set_strip_16(png);
    } else if (bitDepth < 8) {
        png_set_packing(png);
    }
    png_read_update_info(png, info);
    return png_get_color_type(png, info);
}

PixelFormat renderFormatOf(png_byte colorType, PixelFormat otherwise) {
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY: return PixelFormat::I8;
        case PNG_COLOR_TYPE_RGB: return PixelFormat::RGB888;
        case PNG_COLOR_TYPE_GRAY_ALPHA: return PixelFormat::AI88;
        case PNG_COLOR_TYPE_RGB_ALPHA: return PixelFormat::RGBA8888;
        default: return otherwise;
    }
}

void premultiplyAlpha(unsigned char* rgba, std::int64_t length) {
    for (std::int64_t i = 0; i + 3 < length; i += 4) {
        const unsigned a = rgba[i + 3] + 1;
        rgba[i] = static_cast<unsigned char>((rgba[i] * a) >> 8);
        rgba[i + 1] = static_cast<unsigned char>((rgba[i + 1] * a) >> 8);
        rgba[i + 2] = static_cast<unsigned char>((rgba[i + 2] * a) >> 8);
    }
}

}  // namespace

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
    const png_byte colorType = expandToEightBitChannels(png, info);
    _renderFormat = renderFormatOf(colorType, _renderFormat);
    const png_size_t rowBytes = png_get_rowbytes(png, info);
    _dataLen = static_cast<std::int64_t>(rowBytes) * _height;
    _data = static_cast<unsigned char*>(std::malloc(_dataLen));
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * _height));
    if (!_data || !rows) png_error(png, "out of memory");
    for (int i = 0; i < _height; ++i) rows[i] = _data + i * rowBytes;
    png_read_image(png, rows);
    png_read_end(png, nullptr);

    if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
        premultiplyAlpha(_data, _dataLen);
        _hasPremultipliedAlpha = true;
    } else {
        _hasPremultipliedAlpha = false;
    }
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace kite
