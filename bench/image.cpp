// Decode time of a 1024 x 1024 PNG and JPEG, both generated here.
#include <benchmark/benchmark.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "kite/rendering/Image.h"

namespace {

constexpr int kSize = 1024;

// A photo-like pattern: smooth gradients with some noise, so neither codec has it easy.
std::vector<std::uint8_t> pattern(int channels) {
    std::vector<std::uint8_t> pixels(std::size_t(kSize) * kSize * channels);
    std::uint32_t state = 12345;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = (state >> 24) % 16;
            std::uint8_t* p = &pixels[(std::size_t(y) * kSize + x) * channels];
            p[0] = static_cast<std::uint8_t>((x / 4 + noise) & 0xFF);
            if (channels > 1) p[1] = static_cast<std::uint8_t>((y / 4 + noise) & 0xFF);
            if (channels > 2) p[2] = static_cast<std::uint8_t>(((x + y) / 8 + noise) & 0xFF);
            if (channels > 3) p[3] = static_cast<std::uint8_t>(128 + (x ^ y) % 128);
        }
    }
    return pixels;
}

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void pngFlush(png_structp) {}

std::vector<std::uint8_t> makePng() {
    const std::vector<std::uint8_t> rgba = pattern(4);
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    png_set_IHDR(png, info, kSize, kSize, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kSize; ++y) png_write_row(png, rgba.data() + std::size_t(y) * kSize * 4);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<std::uint8_t> makeJpeg() {
    const std::vector<std::uint8_t> rgb = pattern(3);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = kSize;
    cinfo.image_height = kSize;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + std::size_t(cinfo.next_scanline) * kSize * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

void decodeLoop(benchmark::State& state, const std::vector<std::uint8_t>& file) {
    for (auto _ : state) {
        auto* image = new (std::nothrow) kite::Image();
        const bool ok = image->initWithImageData(file.data(), static_cast<std::int64_t>(file.size()));
        benchmark::DoNotOptimize(image->getData());
        image->release();
        if (!ok) state.SkipWithError("decoding failed");
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kSize * kSize);  // pixels
    state.counters["file_bytes"] = static_cast<double>(file.size());
}

void BM_DecodePng1024(benchmark::State& state) {
    static const std::vector<std::uint8_t> file = makePng();
    decodeLoop(state, file);
}
BENCHMARK(BM_DecodePng1024)->Unit(benchmark::kMillisecond);

void BM_DecodeJpeg1024(benchmark::State& state) {
    static const std::vector<std::uint8_t> file = makeJpeg();
    decodeLoop(state, file);
}
BENCHMARK(BM_DecodeJpeg1024)->Unit(benchmark::kMillisecond);

}  // namespace
