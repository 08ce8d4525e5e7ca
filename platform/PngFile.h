// PNG encoding and reading: the game's shots, and the frames and images of the tests and benchmarks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// How rows are laid out and stored. The default: 8-bit RGBA rows stored as they are.
struct PngFormat {
    int colorType = 6;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    int bitDepth = 8;
    std::vector<std::uint8_t> palette;       // RGB triples for colour type 3
    std::vector<std::uint8_t> transparency;  // the tRNS chunk's payload
    bool interlaced = false;
    // Rows are RGBA but the file is RGB (colour type 2): the fourth byte of each pixel is skipped.
    bool dropAlpha = false;
};

// Rows top first, packed as the format says. Empty when the rows do not fit the size.
std::vector<std::uint8_t> encodePng(int width, int height, const std::vector<std::uint8_t>& rows,
                                    const PngFormat& format = {});

// Top-row-first RGBA rows to a file; opaque drops alpha (an RGB PNG). False, with why in error,
// when the rows do not fit the size or the file cannot be written.
bool writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgba,
              bool opaque = false, std::string* error = nullptr);

struct PngImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // top row first
};
// Any PNG as 8-bit RGBA; nothing when the file is missing or not a readable PNG.
std::optional<PngImage> readPng(const std::string& path);
// The same for PNG bytes in memory; nothing unless they decode whole.
std::optional<PngImage> decodePng(const std::uint8_t* bytes, std::size_t size);

}  // namespace platform
