// Pieces shared by the S3TC and ATC block decoders.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kite {
namespace blockdecoding {

inline std::uint16_t read16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

inline std::uint32_t read32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

inline std::uint64_t read64(const std::uint8_t* p) {
    return std::uint64_t(read32(p)) | (std::uint64_t(read32(p + 4)) << 32);
}

struct Rgba {
    int r, g, b, a;
};

inline void store(std::uint8_t* out, const Rgba& c) {
    out[0] = static_cast<std::uint8_t>(c.r);
    out[1] = static_cast<std::uint8_t>(c.g);
    out[2] = static_cast<std::uint8_t>(c.b);
    out[3] = static_cast<std::uint8_t>(c.a);
}

// Two thirds of one colour plus one third of another; 21/64 stands for one third.
inline Rgba twoThirds(const Rgba& near, const Rgba& far, int alpha) {
    return {(2 * near.r + far.r) * 21 >> 6, (2 * near.g + far.g) * 21 >> 6, (2 * near.b + far.b) * 21 >> 6, alpha};
}

// Explicit 4-bit alpha of the pixel at index i (0-15).
inline int explicitAlpha(std::uint64_t block, int i) { return static_cast<int>((block >> (4 * i)) & 0xF) * 17; }

// The eight-entry interpolated alpha table of an alpha block.
inline void alphaTable(std::uint64_t block, int table[8]) {
    const int a0 = static_cast<int>(block & 0xFF);
    const int a1 = static_cast<int>((block >> 8) & 0xFF);
    table[0] = a0;
    table[1] = a1;
    if (a0 >= a1) {
        for (int i = 1; i <= 6; ++i) table[i + 1] = ((7 - i) * a0 + i * a1) / 7;
    } else {
        for (int i = 1; i <= 4; ++i) table[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        table[6] = 0;
        table[7] = 255;
    }
}

inline int interpolatedAlphaIndex(std::uint64_t block, int i) { return static_cast<int>((block >> (16 + 3 * i)) & 7); }

// Bytes of one level: one block per 4 x 4 tile, partial tiles included.
inline std::uint64_t levelBytes(std::uint32_t width, std::uint32_t height, int blockBytes) {
    return ((std::uint64_t(width) + 3) / 4) * ((std::uint64_t(height) + 3) / 4) * std::uint64_t(blockBytes);
}

// Hands each 4 x 4 tile of a width x height level to decodeTile(block, first output pixel,
// row length in words). The data holds a block for every tile, partial ones included: a
// partial tile (a level below 4 pixels, the right and bottom edges of other sizes) is
// decoded aside and only its pixels inside the level are written.
template <class DecodeTile>
void decodeTiles(const std::uint8_t* blocks, std::uint8_t* out, int width, int height, int blockBytes,
                 DecodeTile decodeTile) {
    if (width < 1 || height < 1) return;
    const int blocksPerRow = (width + 3) / 4;
    const int blockRows = (height + 3) / 4;
    std::uint8_t tile[4 * 4 * 4];
    for (int ty = 0; ty < blockRows; ++ty) {
        const std::uint8_t* row = blocks + static_cast<std::int64_t>(ty) * blocksPerRow * blockBytes;
        const int rows = std::min(4, height - ty * 4);
        for (int tx = 0; tx < blocksPerRow; ++tx) {
            std::uint8_t* first = out + 4 * (static_cast<std::int64_t>(ty) * 4 * width + tx * 4);
            const int columns = std::min(4, width - tx * 4);
            if (rows == 4 && columns == 4) {
                decodeTile(row + tx * blockBytes, first, width);
                continue;
            }
            decodeTile(row + tx * blockBytes, tile, 4);
            for (int y = 0; y < rows; ++y) {
                std::memcpy(first + 4 * static_cast<std::int64_t>(y) * width, tile + 16 * y,
                            4 * static_cast<std::size_t>(columns));
            }
        }
    }
}

}  // namespace blockdecoding
}  // namespace kite
