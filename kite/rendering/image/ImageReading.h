// Helpers shared by the image file readers: size checks, little-endian fields, what the GPU samples.
#pragma once
#include <cstdint>

namespace kite {

class Image;

namespace imagefile {

// Larger decoded sizes are refused before anything is allocated: no texture that a GPU
// of this engine samples is wider or higher.
constexpr std::int64_t kMaxDimension = 16384;

constexpr std::int64_t kPVRHeaderSize = 52;

// What the GPU can sample, as the configuration gathered it.
struct TextureSupport {
    bool npot, pvrtc, etc, s3tc, atitc, bgra8888;
};

TextureSupport textureSupport();

// Logs "Image: <kind>: unsupported size" and returns false outside 1 .. kMaxDimension.
bool validDimensions(const char* kind, std::int64_t width, std::int64_t height);

inline std::uint32_t readLE32(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

inline std::uint64_t readLE64(const unsigned char* p) {
    return std::uint64_t(readLE32(p)) | (std::uint64_t(readLE32(p + 4)) << 32);
}

// Reads a TGA file held in memory into the image; the size it announces is checked first.
bool initImageWithTGABuffer(Image& image, const unsigned char* bytes, std::int64_t length);

}  // namespace imagefile
}  // namespace kite
