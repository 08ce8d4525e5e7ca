#include "kite/rendering/decoders/ATITC.h"

#include "kite/rendering/decoders/BlockDecoding.h"

namespace kite {

using namespace blockdecoding;

namespace {

// Red sits in the high bits of both colours, as in the other 16-bit colour formats, so
// that the decoded bytes come out in R, G, B, A order.
Rgba expand555(std::uint16_t c, int alpha) {
    return {((c >> 10) & 0x1F) << 3, ((c >> 5) & 0x1F) << 3, (c & 0x1F) << 3, alpha};
}

Rgba expand565(std::uint16_t c, int alpha) {
    const int g = (c >> 5) & 0x3F;
    return {((c >> 11) & 0x1F) << 3, (g << 2) | (g >> 4), (c & 0x1F) << 3, alpha};
}

int subtractQuarter(int a, int b) {
    const int v = a - b / 4;
    return v < 0 ? 0 : v;
}

void decodeTile(const std::uint8_t* block, std::uint8_t* out, int rowWords, ATITCDecodeFlag flag) {
    std::uint64_t alphaBlock = 0;
    if (flag != ATITCDecodeFlag::ATC_RGB) {
        alphaBlock = read64(block);
        block += 8;
    }
    const std::uint16_t c0 = read16(block);
    const std::uint16_t c1 = read16(block + 2);
    const std::uint32_t indices = read32(block + 4);
    const int opaque = flag == ATITCDecodeFlag::ATC_RGB ? 255 : 0;
    const Rgba first = expand555(c0, opaque);
    const Rgba second = expand565(c1, opaque);
    Rgba palette[4];
    if (c0 & 0x8000) {
        palette[0] = {0, 0, 0, opaque};
        palette[1] = {subtractQuarter(first.r, second.r), subtractQuarter(first.g, second.g),
                      subtractQuarter(first.b, second.b), opaque};
        palette[2] = first;
        palette[3] = second;
    } else {
        palette[0] = first;
        palette[1] = twoThirds(first, second, opaque);
        palette[2] = twoThirds(second, first, opaque);
        palette[3] = second;
    }
    int alphas[8];
    if (flag == ATITCDecodeFlag::ATC_INTERPOLATED_ALPHA) alphaTable(alphaBlock, alphas);
    for (int i = 0; i < 16; ++i) {
        Rgba c = palette[(indices >> (2 * i)) & 3];
        if (flag == ATITCDecodeFlag::ATC_EXPLICIT_ALPHA) c.a = explicitAlpha(alphaBlock, i);
        if (flag == ATITCDecodeFlag::ATC_INTERPOLATED_ALPHA) c.a = alphas[interpolatedAlphaIndex(alphaBlock, i)];
        store(out + 4 * ((i / 4) * rowWords + (i % 4)), c);
    }
}

}  // namespace

void atitc_decode(const std::uint8_t* encodeData, std::uint8_t* decodeData, int pixelsWidth, int pixelsHeight,
                  ATITCDecodeFlag flag) {
    decodeTiles(
        encodeData, decodeData, pixelsWidth, pixelsHeight, flag == ATITCDecodeFlag::ATC_RGB ? 8 : 16,
        [flag](const std::uint8_t* block, std::uint8_t* out, int rowWords) { decodeTile(block, out, rowWords, flag); });
}

}  // namespace kite
