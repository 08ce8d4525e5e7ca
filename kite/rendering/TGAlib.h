// Reader of TGA image files held in memory.
#pragma once
#include <cstddef>
#include <cstdint>

namespace kite {

enum {
    TGA_OK = 0,
    TGA_ERROR_FILE_OPEN = 1,
    TGA_ERROR_READING_FILE = 2,
    TGA_ERROR_INDEXED_COLOR = 3,
    TGA_ERROR_MEMORY = 4,
    TGA_ERROR_COMPRESSED_FILE = 5,
};

struct tImageTGA {
    int status;
    unsigned char type;
    unsigned char pixelDepth;
    std::uint16_t width;
    std::uint16_t height;
    unsigned char* imageData;  // width x height x (pixelDepth / 8) bytes, from malloc
    int flipped;               // 1 while the rows are bottom first (descriptor bit 5 clear), 0 once reversed
};

// Parses a TGA file: types 2 (true colour), 3 (grey) and 10 (run-length true colour) at
// 8, 16, 24 or 32 bits. The image id and colour map are skipped; 24- and 32-bit pixels come
// out as R, G, B(, A); 16-bit pixels are repacked as RGB5A1 (R in the top bits, alpha in
// bit 0, native order). Rows always come out top first. The outcome is in the status field; null only for null bytes.
// Free the result with tgaDestroy.
tImageTGA* tgaLoadBuffer(const unsigned char* buffer, long size);

// Frees the record and its pixels (a caller that took the pixels sets imageData to null first).
void tgaDestroy(tImageTGA* info);

}  // namespace kite
