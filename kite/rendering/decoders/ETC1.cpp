#include "kite/rendering/decoders/ETC1.h"

#include <cstring>

namespace kite {

namespace {

// Intensity modifiers, indexed by table codeword and pixel index (msb << 1 | lsb).
constexpr int kModifiers[8][4] = {
    {2, 8, -2, -8},     {5, 17, -5, -17},   {9, 29, -9, -29},     {13, 42, -13, -42},
    {18, 60, -18, -60}, {24, 80, -24, -80}, {33, 106, -33, -106}, {47, 183, -47, -183},
};

std::uint16_t readBigEndian16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

int clampByte(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

int expand4(int v) { return (v << 4) | v; }
int expand5(int v) { return (v << 3) | (v >> 2); }

// Decodes one block into 16 RGB triplets, row-major.
void decodeBlock(const std::uint8_t* block, std::uint8_t out[16][3]) {
    const std::uint32_t high =
        (std::uint32_t(block[0]) << 24) | (std::uint32_t(block[1]) << 16) | (std::uint32_t(block[2]) << 8) | block[3];
    const std::uint32_t low =
        (std::uint32_t(block[4]) << 24) | (std::uint32_t(block[5]) << 16) | (std::uint32_t(block[6]) << 8) | block[7];
    const bool differential = (high >> 1) & 1;
    const bool flip = high & 1;
    int base[2][3];
    if (differential) {
        for (int c = 0; c < 3; ++c) {
            const int shift = 27 - 8 * c;  // R at bits 31-27, G at 23-19, B at 15-11
            int first = (high >> shift) & 0x1F;
            int delta = (high >> (shift - 3)) & 0x7;
            if (delta >= 4) delta -= 8;
            int second = first + delta;
            second = second < 0 ? 0 : (second > 31 ? 31 : second);
            base[0][c] = expand5(first);
            base[1][c] = expand5(second);
        }
    } else {
        for (int c = 0; c < 3; ++c) {
            const int shift = 28 - 8 * c;  // R1 at 31-28, R2 at 27-24, ...
            base[0][c] = expand4((high >> shift) & 0xF);
            base[1][c] = expand4((high >> (shift - 4)) & 0xF);
        }
    }
    const int table[2] = {static_cast<int>((high >> 5) & 7), static_cast<int>((high >> 2) & 7)};
    for (int x = 0; x < 4; ++x) {
        for (int y = 0; y < 4; ++y) {
            const int bit = x * 4 + y;  // pixel indices run down the columns
            const int index = (((low >> (bit + 16)) & 1) << 1) | ((low >> bit) & 1);
            const int sub = flip ? (y >= 2) : (x >= 2);
            const int modifier = kModifiers[table[sub]][index];
            for (int c = 0; c < 3; ++c)
                out[y * 4 + x][c] = static_cast<std::uint8_t>(clampByte(base[sub][c] + modifier));
        }
    }
}

}  // namespace

bool etc1_pkm_is_valid(const std::uint8_t* header) {
    if (std::memcmp(header, "PKM 10", 6) != 0) return false;
    const std::uint32_t format = readBigEndian16(header + 6);
    const std::uint32_t encodedWidth = readBigEndian16(header + 8);
    const std::uint32_t encodedHeight = readBigEndian16(header + 10);
    const std::uint32_t width = readBigEndian16(header + 12);
    const std::uint32_t height = readBigEndian16(header + 14);
    return format == 0 && encodedWidth >= width && encodedHeight >= height && encodedWidth - width < 4 &&
           encodedHeight - height < 4;
}

std::uint32_t etc1_pkm_get_width(const std::uint8_t* header) { return readBigEndian16(header + 12); }

std::uint32_t etc1_pkm_get_height(const std::uint8_t* header) { return readBigEndian16(header + 14); }

std::uint64_t etc1_get_encoded_data_size(std::uint32_t width, std::uint32_t height) {
    return ((std::uint64_t(width) + 3) / 4) * ((std::uint64_t(height) + 3) / 4) * ETC1_ENCODED_BLOCK_SIZE;
}

int etc1_decode_image(const std::uint8_t* input, std::uint8_t* output, std::uint32_t width, std::uint32_t height,
                      std::uint32_t pixelSize, std::uint32_t stride) {
    if (pixelSize != 2 && pixelSize != 3) return -1;
    const std::uint32_t encodedWidth = (width + 3) & ~3u;
    const std::uint32_t encodedHeight = (height + 3) & ~3u;
    std::uint8_t block[16][3];
    for (std::uint32_t by = 0; by < encodedHeight; by += 4) {
        const std::uint32_t rows = height - by < 4 ? height - by : 4;
        for (std::uint32_t bx = 0; bx < encodedWidth; bx += 4) {
            const std::uint32_t columns = width - bx < 4 ? width - bx : 4;
            decodeBlock(input, block);
            input += ETC1_ENCODED_BLOCK_SIZE;
            for (std::uint32_t y = 0; y < rows; ++y) {
                std::uint8_t* q = output + std::uint64_t(by + y) * stride + std::uint64_t(bx) * pixelSize;
                for (std::uint32_t x = 0; x < columns; ++x) {
                    const std::uint8_t* rgb = block[y * 4 + x];
                    if (pixelSize == 3) {
                        q[0] = rgb[0];
                        q[1] = rgb[1];
                        q[2] = rgb[2];
                        q += 3;
                    } else {
                        const std::uint32_t packed = ((rgb[0] >> 3) << 11) | ((rgb[1] >> 2) << 5) | (rgb[2] >> 3);
                        q[0] = static_cast<std::uint8_t>(packed);
                        q[1] = static_cast<std::uint8_t>(packed >> 8);
                        q += 2;
                    }
                }
            }
        }
    }
    return 0;
}

}  // namespace kite
