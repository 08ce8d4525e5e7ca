// Software decoding of ATC (ATI texture compression) pixels.
#pragma once
#include <cstdint>

namespace kite {

enum class ATITCDecodeFlag { ATC_RGB = 1, ATC_EXPLICIT_ALPHA = 3, ATC_INTERPOLATED_ALPHA = 5 };

// Decodes a width x height level into bytes R, G, B, A per pixel, rows width pixels apart;
// partial edge tiles are clipped to the level. The input must hold one 8-byte (RGB) or
// 16-byte block per 4 x 4 tile, partial tiles included.
void atitc_decode(const std::uint8_t* encodeData, std::uint8_t* decodeData, int pixelsWidth, int pixelsHeight,
                  ATITCDecodeFlag flag);

}  // namespace kite
