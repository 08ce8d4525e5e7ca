#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kite/rendering/decoders/ATITC.h"
#include "kite/rendering/decoders/ETC1.h"
#include "kite/rendering/decoders/PVRTC.h"
#include "kite/rendering/decoders/S3TC.h"
#include "support/TestImages.h"

namespace kite {
namespace {

using testdata::Bytes;

void appendBE32(Bytes& out, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void appendLE16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void appendLE32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void appendLE64(Bytes& out, std::uint64_t v) {
    appendLE32(out, static_cast<std::uint32_t>(v));
    appendLE32(out, static_cast<std::uint32_t>(v >> 32));
}

Bytes rgbAt(const Bytes& image, int width, int x, int y, int bytes = 3) {
    const auto* p = image.data() + (y * width + x) * bytes;
    return Bytes(p, p + bytes);
}

// ---- ETC1 ------------------------------------------------------------------------------

// Individual mode, no flip: bases (255, 136, 0) and (0, 68, 255), tables 0 and 7.
// Pixel (0,0) takes the large positive modifier, (3,3) the large negative, the rest the small positive.
Bytes individualBlock() {
    Bytes block;
    appendBE32(block, 0xF0840F1C);
    appendBE32(block, 0x80008001);
    return block;
}

// Differential mode, flipped: bases (132, 255, 0) and (156, 222, 0), tables 1 and 2,
// every pixel the large positive modifier.
Bytes differentialBlock() {
    Bytes block;
    appendBE32(block, 0x83FC002B);
    appendBE32(block, 0x0000FFFF);
    return block;
}

TEST(ETC1Decoder, IndividualModeAppliesEachHalfsBaseAndTable) {
    Bytes out(4 * 4 * 3);
    ASSERT_EQ(etc1_decode_image(individualBlock().data(), out.data(), 4, 4, 3, 12), 0);
    EXPECT_EQ(rgbAt(out, 4, 0, 0), (Bytes{255, 144, 8}));
    EXPECT_EQ(rgbAt(out, 4, 1, 0), (Bytes{255, 138, 2}));
    EXPECT_EQ(rgbAt(out, 4, 2, 0), (Bytes{47, 115, 255}));
    EXPECT_EQ(rgbAt(out, 4, 3, 3), (Bytes{0, 0, 72}));
}

TEST(ETC1Decoder, DifferentialFlippedModeSplitsTopAndBottom) {
    Bytes out(4 * 4 * 3);
    ASSERT_EQ(etc1_decode_image(differentialBlock().data(), out.data(), 4, 4, 3, 12), 0);
    EXPECT_EQ(rgbAt(out, 4, 3, 1), (Bytes{149, 255, 17}));
    EXPECT_EQ(rgbAt(out, 4, 0, 2), (Bytes{185, 251, 29}));
}

TEST(ETC1Decoder, WritesRgb565LowByteFirst) {
    Bytes out(4 * 4 * 2);
    ASSERT_EQ(etc1_decode_image(individualBlock().data(), out.data(), 4, 4, 2, 8), 0);
    // (47, 115, 255) -> R 5, G 28, B 31.
    const std::uint16_t expected = (5 << 11) | (28 << 5) | 31;
    EXPECT_EQ(rgbAt(out, 4, 2, 0, 2), (Bytes{std::uint8_t(expected), std::uint8_t(expected >> 8)}));
}

TEST(ETC1Decoder, PixelsOutsideTheImageAreNotWritten) {
    Bytes blocks;
    for (int i = 0; i < 4; ++i) {
        Bytes b = i % 2 ? differentialBlock() : individualBlock();
        blocks.insert(blocks.end(), b.begin(), b.end());
    }
    const int stride = 5 * 3 + 2;  // two sentinel bytes after every row
    Bytes out(stride * 7, 0xAB);
    ASSERT_EQ(etc1_decode_image(blocks.data(), out.data(), 5, 6, 3, stride), 0);
    for (int y = 0; y < 6; ++y) {
        EXPECT_EQ(out[y * stride + 15], 0xAB);
        EXPECT_EQ(out[y * stride + 16], 0xAB);
    }
    for (int x = 0; x < stride; ++x) EXPECT_EQ(out[6 * stride + x], 0xAB);
    // Pixel (4, 0) is the first column of the second block (differential, top half).
    EXPECT_EQ(Bytes(out.begin() + 12, out.begin() + 15), (Bytes{149, 255, 17}));
}

TEST(ETC1Decoder, RejectsOtherPixelSizes) {
    Bytes out(64);
    EXPECT_EQ(etc1_decode_image(individualBlock().data(), out.data(), 4, 4, 4, 16), -1);
}

TEST(ETC1Decoder, PkmHeaderValidity) {
    auto header = [](int format, int encodedW, int encodedH, int w, int h) {
        Bytes out = {'P', 'K', 'M', ' ', '1', '0'};
        for (int v : {format, encodedW, encodedH, w, h}) {
            out.push_back(static_cast<std::uint8_t>(v >> 8));
            out.push_back(static_cast<std::uint8_t>(v));
        }
        return out;
    };
    EXPECT_TRUE(etc1_pkm_is_valid(header(0, 8, 8, 5, 6).data()));
    EXPECT_EQ(etc1_pkm_get_width(header(0, 8, 8, 5, 6).data()), 5u);
    EXPECT_EQ(etc1_pkm_get_height(header(0, 8, 8, 5, 6).data()), 6u);
    EXPECT_FALSE(etc1_pkm_is_valid(header(0, 8, 8, 4, 8).data()));
    EXPECT_FALSE(etc1_pkm_is_valid(header(1, 8, 8, 8, 8).data()));
    EXPECT_FALSE(etc1_pkm_is_valid(header(0, 4, 8, 8, 8).data()));
    Bytes wrongMagic = header(0, 8, 8, 8, 8);
    wrongMagic[5] = '1';
    EXPECT_FALSE(etc1_pkm_is_valid(wrongMagic.data()));
}

// ---- S3TC ------------------------------------------------------------------------------

Bytes colourBlock(std::uint16_t c0, std::uint16_t c1, std::uint32_t indices) {
    Bytes block;
    appendLE16(block, c0);
    appendLE16(block, c1);
    appendLE32(block, indices);
    return block;
}

Bytes pixelAt(const Bytes& rgba, int width, int x, int y) { return rgbAt(rgba, width, x, y, 4); }

TEST(S3TCDecoder, WhiteEndpointsKeepRedAndBlueUnreplicated) {
    Bytes out(4 * 4 * 4);
    s3tc_decode(colourBlock(0xFFFF, 0xFFFF, 0xE4).data(), out.data(), 4, 4, S3TCDecodeFlag::DXT1);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(pixelAt(out, 4, x, 0), (Bytes{248, 255, 248, 255}));
    EXPECT_EQ(pixelAt(out, 4, 3, 0), (Bytes{0, 0, 0, 0}));
}

TEST(S3TCDecoder, FourColourModeInterpolatesThirds) {
    Bytes out(4 * 4 * 4);
    s3tc_decode(colourBlock(0xF800, 0x001F, 0xE4).data(), out.data(), 4, 4, S3TCDecodeFlag::DXT1);
    EXPECT_EQ(pixelAt(out, 4, 0, 0), (Bytes{248, 0, 0, 255}));
    EXPECT_EQ(pixelAt(out, 4, 1, 0), (Bytes{0, 0, 248, 255}));
    EXPECT_EQ(pixelAt(out, 4, 2, 0), (Bytes{162, 0, 81, 255}));
    EXPECT_EQ(pixelAt(out, 4, 3, 0), (Bytes{81, 0, 162, 255}));
}

TEST(S3TCDecoder, ThreeColourModeHasMidpointAndTransparentBlack) {
    Bytes out(4 * 4 * 4);
    s3tc_decode(colourBlock(0x001F, 0xF800, 0xE4 << 8).data(), out.data(), 4, 4, S3TCDecodeFlag::DXT1);
    EXPECT_EQ(pixelAt(out, 4, 0, 1), (Bytes{0, 0, 248, 255}));
    EXPECT_EQ(pixelAt(out, 4, 2, 1), (Bytes{124, 0, 124, 255}));
    EXPECT_EQ(pixelAt(out, 4, 3, 1), (Bytes{0, 0, 0, 0}));
}

TEST(S3TCDecoder, Dxt3TakesExplicitAlpha) {
    Bytes block;
    appendLE64(block, 0x8F);
    Bytes colour = colourBlock(0x001F, 0xF800, 0);  // four-colour mode even with c0 < c1
    block.insert(block.end(), colour.begin(), colour.end());
    Bytes out(4 * 4 * 4);
    s3tc_decode(block.data(), out.data(), 4, 4, S3TCDecodeFlag::DXT3);
    EXPECT_EQ(pixelAt(out, 4, 0, 0), (Bytes{0, 0, 248, 255}));
    EXPECT_EQ(pixelAt(out, 4, 1, 0), (Bytes{0, 0, 248, 136}));
    EXPECT_EQ(pixelAt(out, 4, 2, 0), (Bytes{0, 0, 248, 0}));
}

TEST(S3TCDecoder, Dxt5InterpolatesAlphaInBothModes) {
    auto alphaBlock = [](int a0, int a1, int index0, int index1) {
        return std::uint64_t(a0) | (std::uint64_t(a1) << 8) | (std::uint64_t(index0) << 16) |
               (std::uint64_t(index1) << 19);
    };
    auto decode = [&](std::uint64_t alpha) {
        Bytes block;
        appendLE64(block, alpha);
        Bytes colour = colourBlock(0xFFFF, 0xFFFF, 0);
        block.insert(block.end(), colour.begin(), colour.end());
        Bytes out(4 * 4 * 4);
        s3tc_decode(block.data(), out.data(), 4, 4, S3TCDecodeFlag::DXT5);
        return out;
    };
    Bytes eight = decode(alphaBlock(200, 100, 2, 7));
    EXPECT_EQ(eight[3], 185);
    EXPECT_EQ(eight[7], 114);
    EXPECT_EQ(eight[11], 200);
    Bytes six = decode(alphaBlock(100, 200, 6, 7));
    EXPECT_EQ(six[3], 0);
    EXPECT_EQ(six[7], 255);
    Bytes mid = decode(alphaBlock(100, 200, 2, 5));
    EXPECT_EQ(mid[3], 120);
    EXPECT_EQ(mid[7], 180);
}

TEST(S3TCDecoder, LevelsBelowOneTileAreDecodedAndClipped) {
    Bytes out(2 * 2 * 4 + 4, 0x5A);  // one guard word after the level
    s3tc_decode(colourBlock(0xFFFF, 0xFFFF, 0).data(), out.data(), 2, 2, S3TCDecodeFlag::DXT1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(pixelAt(out, 2, i % 2, i / 2), (Bytes{248, 255, 248, 255})) << i;
    EXPECT_EQ(Bytes(out.end() - 4, out.end()), Bytes(4, 0x5A));
}

TEST(S3TCDecoder, PartialEdgeTilesAreDecodedAndClipped) {
    // 6 x 6: two blocks per row and two block rows, the second ones half outside the level.
    Bytes blocks;
    const std::uint16_t colours[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    for (std::uint16_t c : colours) {
        Bytes b = colourBlock(c, c, 0);
        blocks.insert(blocks.end(), b.begin(), b.end());
    }
    Bytes out(6 * 6 * 4 + 4, 0x5A);
    s3tc_decode(blocks.data(), out.data(), 6, 6, S3TCDecodeFlag::DXT1);
    EXPECT_EQ(pixelAt(out, 6, 0, 0), (Bytes{248, 0, 0, 255}));
    EXPECT_EQ(pixelAt(out, 6, 5, 0), (Bytes{0, 255, 0, 255}));
    EXPECT_EQ(pixelAt(out, 6, 0, 5), (Bytes{0, 0, 248, 255}));
    EXPECT_EQ(pixelAt(out, 6, 5, 5), (Bytes{248, 255, 248, 255}));
    EXPECT_EQ(Bytes(out.end() - 4, out.end()), Bytes(4, 0x5A));
    EXPECT_EQ(s3tc_level_size(6, 6, S3TCDecodeFlag::DXT1), 32u);
}

// ---- ATC -------------------------------------------------------------------------------

TEST(ATITCDecoder, InterpolatedModeRunsFromFirstToSecondColour) {
    Bytes out(4 * 4 * 4);
    atitc_decode(colourBlock(31 << 10, 0x001F, 0xE4).data(), out.data(), 4, 4, ATITCDecodeFlag::ATC_RGB);
    EXPECT_EQ(pixelAt(out, 4, 0, 0), (Bytes{248, 0, 0, 255}));
    EXPECT_EQ(pixelAt(out, 4, 1, 0), (Bytes{162, 0, 81, 255}));
    EXPECT_EQ(pixelAt(out, 4, 2, 0), (Bytes{81, 0, 162, 255}));
    EXPECT_EQ(pixelAt(out, 4, 3, 0), (Bytes{0, 0, 248, 255}));
}

TEST(ATITCDecoder, ModeBitGivesBlackAndAReducedFirstColour) {
    const std::uint16_t c0 = 0x8000 | (16 << 10) | (16 << 5) | 16;
    const std::uint16_t c1 = (8 << 11) | (16 << 5) | 8;
    Bytes out(4 * 4 * 4);
    atitc_decode(colourBlock(c0, c1, 0xE4).data(), out.data(), 4, 4, ATITCDecodeFlag::ATC_RGB);
    EXPECT_EQ(pixelAt(out, 4, 0, 0), (Bytes{0, 0, 0, 255}));
    EXPECT_EQ(pixelAt(out, 4, 1, 0), (Bytes{112, 112, 112, 255}));
    EXPECT_EQ(pixelAt(out, 4, 2, 0), (Bytes{128, 128, 128, 255}));
    EXPECT_EQ(pixelAt(out, 4, 3, 0), (Bytes{64, 65, 64, 255}));
}

TEST(ATITCDecoder, AlphaVariantsReadTheirAlphaBlocks) {
    Bytes explicitBlock;
    appendLE64(explicitBlock, 0x5F);
    Bytes colour = colourBlock(31 << 10, 31 << 10, 0);
    explicitBlock.insert(explicitBlock.end(), colour.begin(), colour.end());
    Bytes out(4 * 4 * 4);
    atitc_decode(explicitBlock.data(), out.data(), 4, 4, ATITCDecodeFlag::ATC_EXPLICIT_ALPHA);
    EXPECT_EQ(pixelAt(out, 4, 0, 0), (Bytes{248, 0, 0, 255}));
    EXPECT_EQ(pixelAt(out, 4, 1, 0), (Bytes{248, 0, 0, 85}));

    Bytes interpolated;
    appendLE64(interpolated, 200 | (100 << 8) | (2 << 16));
    interpolated.insert(interpolated.end(), colour.begin(), colour.end());
    atitc_decode(interpolated.data(), out.data(), 4, 4, ATITCDecodeFlag::ATC_INTERPOLATED_ALPHA);
    EXPECT_EQ(pixelAt(out, 4, 0, 0), (Bytes{248, 0, 0, 185}));
    EXPECT_EQ(pixelAt(out, 4, 1, 0), (Bytes{248, 0, 0, 200}));
}

TEST(ATITCDecoder, ALevelBelowOneTileIsDecoded) {
    Bytes out(1 * 2 * 4, 0);
    atitc_decode(colourBlock(31 << 10, 0x001F, 0xE4).data(), out.data(), 1, 2, ATITCDecodeFlag::ATC_RGB);
    EXPECT_EQ(pixelAt(out, 1, 0, 0), (Bytes{248, 0, 0, 255}));
    EXPECT_EQ(pixelAt(out, 1, 0, 1), (Bytes{248, 0, 0, 255}));
}

// ---- PVRTC -----------------------------------------------------------------------------

// Opaque red as colour A, opaque blue as colour B.
constexpr std::uint32_t kRedBlue = 0x801F0000u | 0xFC00u;

Bytes pvrtcBlocks(int count, std::uint32_t modulation, std::uint32_t colours) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        appendLE32(out, modulation);
        appendLE32(out, colours);
    }
    return out;
}

TEST(PVRTCDecoder, ModulationBlendsBetweenTheTwoColours) {
    Bytes out(8 * 8 * 4);
    PVRTDecompressPVRTC(pvrtcBlocks(4, 0, kRedBlue).data(), 8, 8, out.data(), false);
    EXPECT_EQ(pixelAt(out, 8, 5, 3), (Bytes{255, 0, 0, 255}));
    PVRTDecompressPVRTC(pvrtcBlocks(4, 0xFFFFFFFF, kRedBlue).data(), 8, 8, out.data(), false);
    EXPECT_EQ(pixelAt(out, 8, 0, 7), (Bytes{0, 0, 255, 255}));
    PVRTDecompressPVRTC(pvrtcBlocks(4, 0x55555555, kRedBlue).data(), 8, 8, out.data(), false);
    const Bytes threeEighths = pixelAt(out, 8, 2, 2);
    EXPECT_NEAR(threeEighths[0], 255 * 5 / 8, 1);
    EXPECT_NEAR(threeEighths[2], 255 * 3 / 8, 1);
}

TEST(PVRTCDecoder, PunchThroughModeClearsAlpha) {
    Bytes out(8 * 8 * 4);
    PVRTDecompressPVRTC(pvrtcBlocks(4, 0xAAAAAAAA, kRedBlue | 1).data(), 8, 8, out.data(), false);
    const Bytes pixel = pixelAt(out, 8, 4, 4);
    EXPECT_EQ(pixel[3], 0);
    EXPECT_NEAR(pixel[0], 128, 1);
    EXPECT_NEAR(pixel[2], 128, 1);
}

TEST(PVRTCDecoder, TranslucentColoursCarryThreeBitAlpha) {
    // Colour A: alpha 7 of 7 (4-bit 14), red 15 of 15.
    Bytes out(8 * 8 * 4);
    PVRTDecompressPVRTC(pvrtcBlocks(4, 0, 0x801F0000u | 0x7F00u).data(), 8, 8, out.data(), false);
    EXPECT_EQ(pixelAt(out, 8, 1, 1), (Bytes{255, 0, 0, 238}));
}

TEST(PVRTCDecoder, BlocksAreReadInMortonOrder) {
    // Data blocks 0 to 3 hold red, green, blue, white as colour A: block 1 is (0, 1).
    const std::uint32_t colours[4] = {0xFC00, 0x83E0, 0x801E, 0xFFFE};
    Bytes data;
    for (std::uint32_t c : colours) {
        appendLE32(data, 0);
        appendLE32(data, 0x80000000u | c);
    }
    Bytes out(8 * 8 * 4);
    PVRTDecompressPVRTC(data.data(), 8, 8, out.data(), false);
    EXPECT_EQ(pixelAt(out, 8, 2, 2), (Bytes{255, 0, 0, 255}));
    EXPECT_EQ(pixelAt(out, 8, 2, 6), (Bytes{0, 255, 0, 255}));
    EXPECT_EQ(pixelAt(out, 8, 6, 2), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(pixelAt(out, 8, 6, 6), (Bytes{255, 255, 255, 255}));
}

TEST(PVRTCDecoder, TwoBitModeReadsOneBitPerPixelOrTheCheckerboard) {
    Bytes out(16 * 8 * 4);
    PVRTDecompressPVRTC(pvrtcBlocks(4, 0, kRedBlue).data(), 16, 8, out.data(), true);
    EXPECT_EQ(pixelAt(out, 16, 9, 5), (Bytes{255, 0, 0, 255}));
    PVRTDecompressPVRTC(pvrtcBlocks(4, 0xFFFFFFFF, kRedBlue).data(), 16, 8, out.data(), true);
    EXPECT_EQ(pixelAt(out, 16, 9, 5), (Bytes{0, 0, 255, 255}));
    // Interpolated mode: every stored value is colour B, so every pixel is.
    PVRTDecompressPVRTC(pvrtcBlocks(4, 0xFFFFFFFF, kRedBlue | 1).data(), 16, 8, out.data(), true);
    EXPECT_EQ(pixelAt(out, 16, 3, 0), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(pixelAt(out, 16, 4, 0), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(PVRTCLevelSize(16, 8, true), 32u);
    EXPECT_EQ(PVRTCLevelSize(4, 4, false), 32u);
}

}  // namespace
}  // namespace kite
