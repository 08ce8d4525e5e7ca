// Decode time of a 1024 x 1024 PNG and JPEG, both generated here.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "kite/rendering/Image.h"
#include "support/TestImages.h"

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

std::vector<std::uint8_t> makePng() { return kite::testdata::encodePng(kSize, kSize, pattern(4), {}); }

std::vector<std::uint8_t> makeJpeg() { return kite::testdata::encodeJpeg(kSize, kSize, 3, pattern(3), 90); }

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
