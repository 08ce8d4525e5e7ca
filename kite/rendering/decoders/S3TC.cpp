#include "kite/rendering/decoders/S3TC.h"

#include "kite/rendering/decoders/BlockDecoding.h"

namespace kite {

using namespace blockdecoding;

namespace {

Rgba expand565(std::uint16_t c, int alpha) {
    const int r = (c >> 11) & 0x1F;
    const int g = (c >> 5) & 0x3F;
    const int b = c & 0x1F;
    return {r << 3, (g << 2) | (g >> 4), b << 3, alpha};
}

void decodeTile(const std::uint8_t* block, std::uint8_t* out, int rowWords, S3TCDecodeFlag flag) {
    std::uint64_t alphaBlock = 0;
    if (flag != S3TCDecodeFlag::DXT1) {
        alphaBlock = read64(block);
        block += 8;
    }
    const std::uint16_t c0 = read16(block);
    const std::uint16_t c1 = read16(block + 2);
    const std::uint32_t indices = read32(block + 4);
    const int opaque = flag == S3TCDecodeFlag::DXT1 ? 255 : 0;
    Rgba palette[4];
    palette[0] = expand565(c0, opaque);
    palette[1] = expand565(c1, opaque);
    if (flag == S3TCDecodeFlag::DXT1 && c0 <= c1) {
        palette[2] = {(palette[0].r + palette[1].r) / 2, (palette[0].g + palette[1].g) / 2,
                      (palette[0].b + palette[1].b) / 2, opaque};
        palette[3] = {0, 0, 0, 0};
    } else {
        palette[2] = twoThirds(palette[0], palette[1], opaque);
        palette[3] = twoThirds(palette[1], palette[0], opaque);
    }
    int alphas[8];
    if (flag == S3TCDecodeFlag::DXT5) alphaTable(alphaBlock, alphas);
    for (int i = 0; i < 16; ++i) {
        Rgba c = palette[(indices >> (2 * i)) & 3];
        if (flag == S3TCDecodeFlag::DXT3) c.a = explicitAlpha(alphaBlock, i);
        if (flag == S3TCDecodeFlag::DXT5) c.a = alphas[interpolatedAlphaIndex(alphaBlock, i)];
        store(out + 4 * ((i / 4) * rowWords + (i % 4)), c);
    }
}

}  // namespace

std::uint64_t s3tc_level_size(std::uint32_t width, std::uint32_t height, S3TCDecodeFlag flag) {
    return levelBytes(width, height, flag == S3TCDecodeFlag::DXT1 ? 8 : 16);
}

void s3tc_decode(const std::uint8_t* encodeData, std::uint8_t* decodeData, int pixelsWidth, int pixelsHeight,
                 S3TCDecodeFlag flag) {
    decodeTiles(
        encodeData, decodeData, pixelsWidth, pixelsHeight, flag == S3TCDecodeFlag::DXT1 ? 8 : 16,
        [flag](const std::uint8_t* block, std::uint8_t* out, int rowWords) { decodeTile(block, out, rowWords, flag); });
}

}  // namespace kite
