// ETC1 block decoding and the PKM container header.
#pragma once
#include <cstdint>

namespace kite {

constexpr int ETC_PKM_HEADER_SIZE = 16;
constexpr int ETC1_ENCODED_BLOCK_SIZE = 8;

// True when the 16 header bytes are "PKM 10", format 0, and the encoded size
// covers the image size by less than one block in each direction.
bool etc1_pkm_is_valid(const std::uint8_t* header);
std::uint32_t etc1_pkm_get_width(const std::uint8_t* header);
std::uint32_t etc1_pkm_get_height(const std::uint8_t* header);

// Bytes of ETC1 data for an image: one 8-byte block per 4 x 4 tile of the encoded size.
std::uint64_t etc1_get_encoded_data_size(std::uint32_t width, std::uint32_t height);

// Decodes width x height pixels into output, rows stride bytes apart: pixel size 3
// writes R, G, B; pixel size 2 writes RGB565 low byte first. Returns 0, or -1 for
// another pixel size. The input must hold etc1_get_encoded_data_size bytes.
int etc1_decode_image(const std::uint8_t* input, std::uint8_t* output, std::uint32_t width, std::uint32_t height,
                      std::uint32_t pixelSize, std::uint32_t stride);

}  // namespace kite
