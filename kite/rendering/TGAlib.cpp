#include "kite/rendering/TGAlib.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace kite {

namespace {

constexpr long kHeaderSize = 18;

// Turns one pixel as stored in the file into the layout the texture upload expects.
void convertPixel(unsigned char* pixel, int bytesPerPixel, bool attributeBits) {
    if (bytesPerPixel >= 3) {
        std::swap(pixel[0], pixel[2]);
    } else if (bytesPerPixel == 2) {
        // File: A1 R5 G5 B5, little-endian. Upload: R5 G5 B5 A1.
        const unsigned value = pixel[0] | (pixel[1] << 8);
        const unsigned alpha = attributeBits ? (value >> 15) & 1 : 1;
        const unsigned packed =
            (((value >> 10) & 0x1F) << 11) | (((value >> 5) & 0x1F) << 6) | ((value & 0x1F) << 1) | alpha;
        pixel[0] = static_cast<unsigned char>(packed);
        pixel[1] = static_cast<unsigned char>(packed >> 8);
    }
}

bool flipRows(tImageTGA* info, std::size_t rowBytes) {
    unsigned char* row = static_cast<unsigned char*>(std::malloc(rowBytes));
    if (!row) return false;
    for (int y = 0; y < info->height / 2; ++y) {
        unsigned char* top = info->imageData + y * rowBytes;
        unsigned char* bottom = info->imageData + (info->height - 1 - y) * rowBytes;
        std::memcpy(row, top, rowBytes);
        std::memcpy(top, bottom, rowBytes);
        std::memcpy(bottom, row, rowBytes);
    }
    std::free(row);
    return true;
}

}  // namespace

tImageTGA* tgaLoadBuffer(const unsigned char* buffer, long size) {
    if (!buffer) return nullptr;
    tImageTGA* info = static_cast<tImageTGA*>(std::calloc(1, sizeof(tImageTGA)));
    if (!info) return nullptr;
    if (size < kHeaderSize) {
        if (size >= 3) info->type = buffer[2];
        if (size >= 17) {
            info->width = static_cast<std::uint16_t>(buffer[12] | (buffer[13] << 8));
            info->height = static_cast<std::uint16_t>(buffer[14] | (buffer[15] << 8));
            info->pixelDepth = buffer[16];
        }
        info->status = TGA_ERROR_MEMORY;
        return info;
    }
    const unsigned idLength = buffer[0];
    const unsigned colourMapType = buffer[1];
    info->type = buffer[2];
    const unsigned colourMapLength = buffer[5] | (buffer[6] << 8);
    const unsigned colourMapEntryBits = buffer[7];
    info->width = static_cast<std::uint16_t>(buffer[12] | (buffer[13] << 8));
    info->height = static_cast<std::uint16_t>(buffer[14] | (buffer[15] << 8));
    info->pixelDepth = buffer[16];
    const unsigned descriptor = buffer[17];
    // Rows are stored bottom first unless the descriptor says the origin is at the top.
    info->flipped = (descriptor & 0x20) ? 0 : 1;

    if (info->type == 1) {
        info->status = TGA_ERROR_INDEXED_COLOR;
        return info;
    }
    if (info->type != 2 && info->type != 3 && info->type != 10) {
        info->status = TGA_ERROR_COMPRESSED_FILE;
        return info;
    }
    const int depth = info->pixelDepth;
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) {
        info->status = TGA_ERROR_COMPRESSED_FILE;
        return info;
    }
    const int bytesPerPixel = depth / 8;
    const std::size_t pixelCount = std::size_t(info->width) * info->height;
    if (pixelCount == 0) {
        info->status = TGA_ERROR_READING_FILE;
        return info;
    }
    const std::size_t total = pixelCount * bytesPerPixel;
    const bool attributeBits = (descriptor & 0x0F) != 0;

    // The pixels follow the image id and the colour map, if any.
    std::size_t offset = kHeaderSize + idLength;
    if (colourMapType == 1) offset += std::size_t(colourMapLength) * ((colourMapEntryBits + 7) / 8);
    const std::size_t length = static_cast<std::size_t>(size);
    const std::size_t available = offset > length ? 0 : length - offset;
    // Refuse before allocating what the data cannot fill: a plain image needs every byte,
    // a run-length one at least one packet (header and a pixel) per 128 pixels.
    const std::size_t fillable =
        info->type == 10 ? ((available + bytesPerPixel) / (1 + bytesPerPixel)) * 128 : available / bytesPerPixel;
    if (fillable < pixelCount) {
        info->status = TGA_ERROR_READING_FILE;
        return info;
    }
    info->imageData = static_cast<unsigned char*>(std::malloc(total));
    if (!info->imageData) {
        info->status = TGA_ERROR_MEMORY;
        return info;
    }
    if (info->type == 2 || info->type == 3) {
        std::memcpy(info->imageData, buffer + offset, total);
        for (std::size_t i = 0; i < pixelCount; ++i)
            convertPixel(info->imageData + i * bytesPerPixel, bytesPerPixel, attributeBits);
    } else {
        // Run-length packets; a run or raw packet never writes past the image. Data that
        // ends before every pixel was written is a truncated file.
        std::size_t written = 0;
        unsigned char pixel[4];
        while (written < pixelCount && offset < length) {
            const unsigned header = buffer[offset++];
            const std::size_t count = (header & 0x80) ? (header & 0x7F) + 1 : header + 1;
            const std::size_t clamped = count < pixelCount - written ? count : pixelCount - written;
            if (header & 0x80) {
                if (length - offset < std::size_t(bytesPerPixel)) break;
                std::memcpy(pixel, buffer + offset, bytesPerPixel);
                offset += bytesPerPixel;
                convertPixel(pixel, bytesPerPixel, attributeBits);
                for (std::size_t i = 0; i < clamped; ++i)
                    std::memcpy(info->imageData + (written + i) * bytesPerPixel, pixel, bytesPerPixel);
                written += clamped;
            } else {
                for (std::size_t i = 0; i < clamped && length - offset >= std::size_t(bytesPerPixel); ++i) {
                    unsigned char* out = info->imageData + written * bytesPerPixel;
                    std::memcpy(out, buffer + offset, bytesPerPixel);
                    offset += bytesPerPixel;
                    convertPixel(out, bytesPerPixel, attributeBits);
                    ++written;
                }
                // Pixels of the packet that fall beyond the image are skipped.
                const std::size_t skipped = (count - clamped) * bytesPerPixel;
                offset = length - offset < skipped ? length : offset + skipped;
                if (clamped < count) break;
            }
        }
        if (written < pixelCount) {
            info->status = TGA_ERROR_READING_FILE;
            return info;
        }
    }

    info->status = TGA_OK;
    if (info->flipped) {
        if (!flipRows(info, std::size_t(info->width) * bytesPerPixel)) {
            info->status = TGA_ERROR_MEMORY;
            return info;
        }
        info->flipped = 0;
    }
    return info;
}

void tgaDestroy(tImageTGA* info) {
    if (!info) return;
    std::free(info->imageData);
    std::free(info);
}

}  // namespace kite
