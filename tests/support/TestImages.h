// Builders of image files of every supported kind, made from scratch for the image tests and benchmarks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kite/foundation/Ref.h"
#include "kite/rendering/Image.h"
#include "platform/PngFile.h"

namespace kite {
namespace testdata {

using Bytes = std::vector<std::uint8_t>;

// PNG rows as libpng packs them for the colour type and depth (rows given top first).
using PngOptions = platform::PngFormat;
using platform::encodePng;

// Baseline JPEG of 1 (grey) or 3 (RGB, stored as YCbCr) components.
Bytes encodeJpeg(int width, int height, int components, const Bytes& pixels, int quality = 100);

// RGBA TIFF with associated alpha in the given byte order.
Bytes encodeTiff(int width, int height, const Bytes& rgba, bool bigEndian);

// Lossless WebP.
Bytes encodeWebpLossless(int width, int height, const Bytes& rgba);

// PVR version 2: 52-byte header with the given pixel type and levels appended.
Bytes makePvr2(int width, int height, std::uint32_t pixelType, int bitsPerPixel, const Bytes& levels, int mipmaps);
// PVR version 3: the given 64-bit pixel format, metadata of the given size, levels appended.
Bytes makePvr3(int width, int height, std::uint64_t pixelFormat, std::uint32_t flags, int mipmaps, const Bytes& levels,
               std::uint32_t metadataLength = 0);
Bytes makePkm(int width, int height, const Bytes& blocks);
Bytes makeDds(int width, int height, const char* fourCC, int mipmaps, const Bytes& levels);
// KTX with each level preceded by its size word.
Bytes makeKtx(int width, int height, std::uint32_t internalFormat, const std::vector<Bytes>& levels,
              std::uint32_t keyValueLength = 0);
// TGA: 18-byte header, optional id and colour map, then the pixel bytes as given.
Bytes makeTga(int type, int width, int height, int depth, int descriptor, const Bytes& pixels, const Bytes& id = {},
              int colourMapLength = 0, int colourMapEntryBits = 0);

Bytes gzip(const Bytes& data);
Bytes ktz(const Bytes& data);

// A small deterministic generator for test patterns.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : state_(seed) {}
    std::uint32_t next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next()); }
    Bytes bytes(std::size_t n) {
        Bytes out(n);
        for (auto& b : out) b = byte();
        return out;
    }

private:
    std::uint32_t state_;
};

// Decodes the bytes into a new image; the result holds the only reference.
RefPtr<Image> decode(const Bytes& bytes);

// The image's pixel data as a vector (data length bytes).
Bytes pixelsOf(const Image& image);

}  // namespace testdata
}  // namespace kite
