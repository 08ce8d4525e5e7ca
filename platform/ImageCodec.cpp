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

// Plain C state only between setjmp and longjmp: nothing with a destructor.
bool decodesAsJpeg(const std::uint8_t* bytes, std::size_t size) {
    jpeg_decompress_struct info;
    JpegError error;
    quietErrors(error);
    info.err = &error.manager;
    unsigned char* volatile row = nullptr;
    if (setjmp(error.jump)) {
        std::free(row);
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    row = static_cast<unsigned char*>(std::malloc(std::size_t(info.output_width) * info.output_components));
    while (row && info.output_scanline < info.output_height) {
        JSAMPROW line = row;
        jpeg_read_scanlines(&info, &line, 1);
    }
    const bool whole = row != nullptr;
    if (whole) jpeg_finish_decompress(&info);
    std::free(row);
    jpeg_destroy_decompress(&info);
    return whole;
}

}  // namespace

bool isDecodableImage(const std::uint8_t* bytes, std::size_t size) {
    static const std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size >= sizeof kPngSignature && std::memcmp(bytes, kPngSignature, sizeof kPngSignature) == 0) {
        return decodePng(bytes, size).has_value();
    }
    if (size >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff) return decodesAsJpeg(bytes, size);
    return false;
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
