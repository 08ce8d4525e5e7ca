// The little image work the platform does for its callers: JPEG encoding, decoding and a decodability probe.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

// Pixels in rows of red, green, blue and alpha bytes, top row first.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 4
};

// JPEG of the image at a quality between 0 and 1 (alpha is dropped); nothing
// for an empty or inconsistent image.
std::optional<std::vector<std::uint8_t>> encodeJpeg(const RgbaImage& image, float quality);

// Whether the bytes decode whole as a PNG or a JPEG image.
bool isDecodableImage(const std::uint8_t* bytes, std::size_t size);

// A PNG or JPEG image as RGBA; nothing when the bytes do not decode whole or
// a side is larger than 4096 pixels.
std::optional<RgbaImage> decodeImage(const std::uint8_t* bytes, std::size_t size);

}  // namespace platform
