// JPEG encoding on libjpeg, and image probing.
#include "platform/ImageCodec.h"

#include <cstdio>  // before jpeglib.h, which uses FILE

#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "platform/PngFile.h"

namespace platform {
namespace {

// libjpeg reports errors by calling error_exit, which must not return.
struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jumpOut(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }
void staySilent(j_common_ptr, int) {}
void printNothing(j_common_ptr) {}

void quietErrors(JpegError& error) {
    jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOut;
    error.manager.emit_message = staySilent;
    error.manager.output_message = printNothing;
}

// Larger images are refused rather than decoded.
constexpr unsigned kMaxDecodedSide = 4096;

// Plain C state only between setjmp and longjmp: nothing with a destructor.
// The pixels (RGBA rows, malloc'ed) go to *pixels when `keep` is set.
bool decodeJpeg(const std::uint8_t* bytes, std::size_t size, bool keep, unsigned char** pixels, int* width,
                int* height) {
    jpeg_decompress_struct info;
    JpegError error;
    quietErrors(error);
    info.err = &error.manager;
    unsigned char* volatile image = nullptr;
    if (setjmp(error.jump)) {
        std::free(image);
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&info);
    const std::size_t stride = std::size_t(info.output_width) * 4;
    const bool fits = info.output_width <= kMaxDecodedSide && info.output_height <= kMaxDecodedSide;
    // Only what is kept is held whole; a probe reads row by row.
    image = fits ? static_cast<unsigned char*>(std::malloc(keep ? stride * info.output_height : stride)) : nullptr;
    while (image && info.output_scanline < info.output_height) {
        JSAMPROW line = image + (keep ? stride * info.output_scanline : 0);
        jpeg_read_scanlines(&info, &line, 1);
    }
    const bool whole = image != nullptr;
    if (whole) jpeg_finish_decompress(&info);
    *width = int(info.output_width);
    *height = int(info.output_height);
    jpeg_destroy_decompress(&info);
    if (whole && keep) {
        *pixels = image;
    } else {
        std::free(image);
    }
    return whole;
}

bool decodesAsJpeg(const std::uint8_t* bytes, std::size_t size) {
    int width = 0, height = 0;
    return decodeJpeg(bytes, size, false, nullptr, &width, &height);
}

bool isPng(const std::uint8_t* bytes, std::size_t size) {
    static const std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return size >= sizeof kPngSignature && std::memcmp(bytes, kPngSignature, sizeof kPngSignature) == 0;
}

bool isJpeg(const std::uint8_t* bytes, std::size_t size) {
    return size >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff;
}

}  // namespace

bool isDecodableImage(const std::uint8_t* bytes, std::size_t size) {
    if (isPng(bytes, size)) return decodePng(bytes, size).has_value();
    if (isJpeg(bytes, size)) return decodesAsJpeg(bytes, size);
    return false;
}

std::optional<RgbaImage> decodeImage(const std::uint8_t* bytes, std::size_t size) {
    RgbaImage image;
    if (isPng(bytes, size)) {
        std::optional<PngImage> png = decodePng(bytes, size);
        if (!png || png->width > int(kMaxDecodedSide) || png->height > int(kMaxDecodedSide)) return std::nullopt;
        image.width = png->width;
        image.height = png->height;
        image.pixels = std::move(png->rgba);
        return image;
    }
    unsigned char* pixels = nullptr;
    if (!isJpeg(bytes, size) || !decodeJpeg(bytes, size, true, &pixels, &image.width, &image.height)) {
        return std::nullopt;
    }
    image.pixels.assign(pixels, pixels + std::size_t(image.width) * std::size_t(image.height) * 4);
    std::free(pixels);
    return image;
}

std::optional<std::vector<std::uint8_t>> encodeJpeg(const RgbaImage& image, float quality) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != std::size_t(image.width) * std::size_t(image.height) * 4) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> rgb(std::size_t(image.width) * image.height * 3);
    for (std::size_t pixel = 0; pixel < rgb.size() / 3; ++pixel) {
        std::memcpy(&rgb[pixel * 3], &image.pixels[pixel * 4], 3);
    }
    jpeg_compress_struct info;
    JpegError error;
    quietErrors(error);
    info.err = &error.manager;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(out);
        return std::nullopt;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = JDIMENSION(image.width);
    info.image_height = JDIMENSION(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, int(quality * 100.0f + 0.5f), TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = &rgb[std::size_t(info.next_scanline) * image.width * 3];
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> jpeg(out, out + outSize);
    jpeg_destroy_compress(&info);
    std::free(out);
    return jpeg;
}

}  // namespace platform
