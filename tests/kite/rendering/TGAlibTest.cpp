#include "kite/rendering/TGAlib.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/TestImages.h"

namespace kite {
namespace {

using testdata::Bytes;
using testdata::makeTga;

struct TgaDeleter {
    void operator()(tImageTGA* info) const { tgaDestroy(info); }
};
using Tga = std::unique_ptr<tImageTGA, TgaDeleter>;

Tga load(const Bytes& bytes) { return Tga(tgaLoadBuffer(bytes.data(), static_cast<long>(bytes.size()))); }

Bytes pixels(const tImageTGA& info) {
    return Bytes(info.imageData, info.imageData + std::size_t(info.width) * info.height * info.pixelDepth / 8);
}

TEST(TGAlib, TrueColourPixelsComeOutAsRgb) {
    auto tga = load(makeTga(2, 2, 1, 24, 0, {1, 2, 3, 4, 5, 6}));
    ASSERT_EQ(tga->status, TGA_OK);
    EXPECT_EQ(tga->width, 2);
    EXPECT_EQ(tga->height, 1);
    EXPECT_EQ(pixels(*tga), (Bytes{3, 2, 1, 6, 5, 4}));
}

TEST(TGAlib, ThirtyTwoBitPixelsKeepAlphaLast) {
    auto tga = load(makeTga(2, 1, 1, 32, 8, {10, 20, 30, 40}));
    ASSERT_EQ(tga->status, TGA_OK);
    EXPECT_EQ(pixels(*tga), (Bytes{30, 20, 10, 40}));
}

TEST(TGAlib, RunLengthPacketsRepeatAndCopyPixels) {
    // 0x83: one pixel four times; 0x02: three raw pixels.
    auto tga = load(makeTga(10, 7, 1, 24, 0, {0x83, 1, 2, 3, 0x02, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    ASSERT_EQ(tga->status, TGA_OK);
    EXPECT_EQ(pixels(*tga), (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
}

TEST(TGAlib, RunsLongerThanTheImageAreClamped) {
    auto run = load(makeTga(10, 2, 1, 24, 0, {0xFF, 1, 2, 3}));
    ASSERT_EQ(run->status, TGA_OK);
    EXPECT_EQ(pixels(*run), (Bytes{3, 2, 1, 3, 2, 1}));
    auto raw = load(makeTga(10, 2, 1, 24, 0, {0x7F, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    ASSERT_EQ(raw->status, TGA_OK);
    EXPECT_EQ(pixels(*raw), (Bytes{3, 2, 1, 6, 5, 4}));
}

TEST(TGAlib, RowsComeOutTopFirstWhateverTheOrigin) {
    // Bottom-left origin (bit 5 clear): the file holds the bottom row first.
    auto bottomUp = load(makeTga(3, 1, 3, 8, 0, {1, 2, 3}));
    ASSERT_EQ(bottomUp->status, TGA_OK);
    EXPECT_EQ(bottomUp->flipped, 0);
    EXPECT_EQ(pixels(*bottomUp), (Bytes{3, 2, 1}));
    auto topDown = load(makeTga(3, 1, 3, 8, 0x20, {1, 2, 3}));
    ASSERT_EQ(topDown->status, TGA_OK);
    EXPECT_EQ(pixels(*topDown), (Bytes{1, 2, 3}));
    auto runs = load(makeTga(10, 2, 2, 24, 0, {0x81, 1, 2, 3, 0x81, 4, 5, 6}));
    ASSERT_EQ(runs->status, TGA_OK);
    EXPECT_EQ(pixels(*runs), (Bytes{6, 5, 4, 6, 5, 4, 3, 2, 1, 3, 2, 1}));
}

TEST(TGAlib, ImageIdAndColourMapAreSkipped) {
    auto tga = load(makeTga(2, 1, 1, 24, 0, {1, 2, 3}, {'h', 'e', 'l', 'l', 'o'}, 2, 24));
    ASSERT_EQ(tga->status, TGA_OK);
    EXPECT_EQ(pixels(*tga), (Bytes{3, 2, 1}));
}

TEST(TGAlib, SixteenBitPixelsAreRepackedRedFirstAlphaLast) {
    // File word A1 R5 G5 B5: opaque red, then a transparent green.
    const std::uint16_t red = 0x8000 | (31 << 10), green = 31 << 5;
    auto tga = load(makeTga(
        2, 2, 1, 16, 1, {std::uint8_t(red), std::uint8_t(red >> 8), std::uint8_t(green), std::uint8_t(green >> 8)}));
    ASSERT_EQ(tga->status, TGA_OK);
    const std::uint16_t redOut = (31 << 11) | 1, greenOut = 31 << 6;
    EXPECT_EQ(pixels(*tga), (Bytes{std::uint8_t(redOut), std::uint8_t(redOut >> 8), std::uint8_t(greenOut),
                                   std::uint8_t(greenOut >> 8)}));
    // Without alpha bits in the descriptor every pixel is opaque.
    auto opaque = load(makeTga(2, 1, 1, 16, 0, {std::uint8_t(green), std::uint8_t(green >> 8)}));
    const std::uint16_t opaqueOut = (31 << 6) | 1;
    EXPECT_EQ(pixels(*opaque), (Bytes{std::uint8_t(opaqueOut), std::uint8_t(opaqueOut >> 8)}));
}

TEST(TGAlib, ReportsWhatItCannotRead) {
    EXPECT_EQ(tgaLoadBuffer(nullptr, 10), nullptr);
    Bytes header = makeTga(2, 1, 1, 24, 0, {});
    EXPECT_EQ(load(Bytes(header.begin(), header.begin() + 2))->status, TGA_ERROR_MEMORY);
    auto partial = load(Bytes(header.begin(), header.begin() + 17));
    EXPECT_EQ(partial->status, TGA_ERROR_MEMORY);
    EXPECT_EQ(partial->width, 1);
    EXPECT_EQ(load(makeTga(1, 1, 1, 8, 0, {0}))->status, TGA_ERROR_INDEXED_COLOR);
    EXPECT_EQ(load(makeTga(9, 1, 1, 8, 0, {0}))->status, TGA_ERROR_COMPRESSED_FILE);
    EXPECT_EQ(load(makeTga(2, 2, 2, 24, 0, {1, 2, 3}))->status, TGA_ERROR_READING_FILE);
    EXPECT_EQ(load(makeTga(10, 4, 1, 24, 0, {0x81, 1, 2, 3}))->status, TGA_ERROR_READING_FILE);
    EXPECT_EQ(load(makeTga(2, 0, 1, 24, 0, {}))->status, TGA_ERROR_READING_FILE);
}

}  // namespace
}  // namespace kite
