// Software decompression of PVRTC (version 1) pixels at 4 and 2 bits per pixel.
#pragma once
#include <cstdint>

namespace kite {

// Bytes of one level: 8 bytes per 4 x 4 (4 bpp) or 8 x 4 (2 bpp) block, at least 2 x 2 blocks.
std::uint64_t PVRTCLevelSize(int width, int height, bool twoBitMode);

// Decompresses width x height pixels into RGBA8888 (4 bytes each). The input must hold
// PVRTCLevelSize bytes; blocks are read in Morton order.
void PVRTDecompressPVRTC(const std::uint8_t* input, int width, int height, std::uint8_t* output, bool twoBitMode);

}  // namespace kite
