// Software decoding of S3TC (DXT1, DXT3, DXT5) compressed pixels.
#pragma once
#include <cstdint>

namespace kite {

enum class S3TCDecodeFlag { DXT1 = 1, DXT3 = 3, DXT5 = 5 };

// Bytes of one level: one 8-byte (DXT1) or 16-byte block per 4 x 4 tile, partial tiles included.
std::uint64_t s3tc_level_size(std::uint32_t width, std::uint32_t height, S3TCDecodeFlag flag);

// Decodes a width x height level into one 32-bit word per pixel, bytes R, G, B, A in
// memory, rows width words apart; partial edge tiles are clipped to the level. The input
// must hold s3tc_level_size bytes.
void s3tc_decode(const std::uint8_t* encodeData, std::uint8_t* decodeData, int pixelsWidth, int pixelsHeight,
                 S3TCDecodeFlag flag);

}  // namespace kite
