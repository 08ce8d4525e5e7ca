#include "platform/PngFile.h"

#include <png.h>

#include "platform/AtomicFile.h"

namespace platform {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void noFlush(png_structp) {}

std::size_t rowBytes(int width, const PngFormat& format) {
    if (format.dropAlpha) return static_cast<std::size_t>(width) * 4;
    const int channels[] = {1, 0, 3, 1, 2, 0, 4};
    const int perPixel = format.colorType >= 0 && format.colorType <= 6 ? channels[format.colorType] : 0;
    return (static_cast<std::size_t>(width) * perPixel * format.bitDepth + 7) / 8;
}

void setTransparency(png_structp png, png_infop info, const PngFormat& format) {
    const std::vector<std::uint8_t>& t = format.transparency;
    if (t.empty()) return;
    png_color_16 colour{};
    if (format.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_tRNS(png, info, t.data(), static_cast<int>(t.size()), nullptr);
    } else if (format.colorType == PNG_COLOR_TYPE_GRAY && t.size() >= 2) {
        colour.gray = static_cast<png_uint_16>((t[0] << 8) | t[1]);
        png_set_tRNS(png, info, nullptr, 0, &colour);
    } else if (t.size() >= 6) {
        colour.red = static_cast<png_uint_16>((t[0] << 8) | t[1]);
        colour.green = static_cast<png_uint_16>((t[2] << 8) | t[3]);
        colour.blue = static_cast<png_uint_16>((t[4] << 8) | t[5]);
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
}

// libpng reports failures by longjmp: nothing here needs unwinding.
bool encodeInto(std::vector<std::uint8_t>& out, int width, int height, const std::vector<std::uint8_t>& rows,
                const PngFormat& format, std::size_t stride) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, &out, appendBytes, noFlush);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), format.bitDepth,
                     format.dropAlpha ? PNG_COLOR_TYPE_RGB : format.colorType,
                     format.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        std::vector<png_color> palette;
        for (std::size_t i = 0; i + 2 < format.palette.size(); i += 3)
            palette.push_back({format.palette[i], format.palette[i + 1], format.palette[i + 2]});
        if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
        setTransparency(png, info, format);
        png_write_info(png, info);
        if (format.dropAlpha) png_set_filler(png, 0, PNG_FILLER_AFTER);
        // An interlaced image is written as whole rows once per pass.
        const int passes = format.interlaced ? png_set_interlace_handling(png) : 1;
        for (int pass = 0; pass < passes; ++pass)
            for (int y = 0; y < height; ++y)
                png_write_row(png, const_cast<png_bytep>(rows.data() + static_cast<std::size_t>(y) * stride));
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    return ok;
}

}  // namespace

std::vector<std::uint8_t> encodePng(int width, int height, const std::vector<std::uint8_t>& rows,
                                    const PngFormat& format) {
    const std::size_t stride = rowBytes(width, format);
    if (width <= 0 || height <= 0 || stride == 0 || rows.size() < stride * static_cast<std::size_t>(height)) return {};
    std::vector<std::uint8_t> out;
    if (!encodeInto(out, width, height, rows, format, stride)) return {};
    return out;
}

bool writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba, bool opaque,
              std::string* error) {
    PngFormat format;
    format.dropAlpha = opaque;
    const std::vector<std::uint8_t> bytes = encodePng(width, height, rgba, format);
    if (bytes.empty()) {
        if (error) *error = "the pixels do not fit the size";
        return false;
    }
    return writeFileInPlace(path, bytes.data(), bytes.size(), error);
}

namespace {

// Finishes a read begun on png: the pixels as 8-bit RGBA, or nothing.
std::optional<PngImage> finishRead(png_image& png) {
    png.format = PNG_FORMAT_RGBA;
    PngImage image;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    return image;
}

}  // namespace

std::optional<PngImage> readPng(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) return std::nullopt;
    return finishRead(png);
}

std::optional<PngImage> decodePng(const std::uint8_t* bytes, std::size_t size) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes, size)) return std::nullopt;
    return finishRead(png);
}

}  // namespace platform
