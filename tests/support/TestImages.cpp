#include "support/TestImages.h"

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <zlib.h>

namespace kite {
namespace testdata {

namespace {

void put16(Bytes& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(Bytes& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void putBE16(Bytes& out, std::size_t at, std::uint32_t v) {
    out[at] = static_cast<std::uint8_t>(v >> 8);
    out[at + 1] = static_cast<std::uint8_t>(v);
}

}  // namespace

Bytes encodeJpeg(int width, int height, int components, const Bytes& pixels, int quality) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + cinfo.next_scanline * width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Bytes encodeTiff(int width, int height, const Bytes& rgba, bool bigEndian) {
    char path[] = "/tmp/stargrid-tiff-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return {};
    close(fd);
    TIFF* tif = TIFFOpen(path, bigEndian ? "wb" : "wl");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    const std::uint16_t extra[] = {EXTRASAMPLE_ASSOCALPHA};
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 2);
    for (int y = 0; y < height; ++y)
        TIFFWriteScanline(tif, const_cast<std::uint8_t*>(rgba.data() + y * width * 4), y, 0);
    TIFFClose(tif);
    Bytes out;
    if (std::FILE* file = std::fopen(path, "rb")) {
        std::uint8_t chunk[4096];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) out.insert(out.end(), chunk, chunk + n);
        std::fclose(file);
    }
    std::remove(path);
    return out;
}

Bytes encodeWebpLossless(int width, int height, const Bytes& rgba) {
    std::uint8_t* output = nullptr;
    const std::size_t size = WebPEncodeLosslessRGBA(rgba.data(), width, height, width * 4, &output);
    Bytes out(output, output + size);
    WebPFree(output);
    return out;
}

Bytes makePvr2(int width, int height, std::uint32_t pixelType, int bitsPerPixel, const Bytes& levels, int mipmaps) {
    Bytes out(52, 0);
    put32(out, 0, 52);
    put32(out, 4, height);
    put32(out, 8, width);
    put32(out, 12, mipmaps);
    put32(out, 16, pixelType);
    put32(out, 20, static_cast<std::uint32_t>(levels.size()));
    put32(out, 24, bitsPerPixel);
    std::memcpy(out.data() + 44, "PVR!", 4);
    put32(out, 48, 1);
    out.insert(out.end(), levels.begin(), levels.end());
    return out;
}

Bytes makePvr3(int width, int height, std::uint64_t pixelFormat, std::uint32_t flags, int mipmaps, const Bytes& levels,
               std::uint32_t metadataLength) {
    Bytes out(52, 0);
    out[0] = 'P';
    out[1] = 'V';
    out[2] = 'R';
    out[3] = 3;
    put32(out, 4, flags);
    put32(out, 8, static_cast<std::uint32_t>(pixelFormat));
    put32(out, 12, static_cast<std::uint32_t>(pixelFormat >> 32));
    put32(out, 24, height);
    put32(out, 28, width);
    put32(out, 32, 1);
    put32(out, 36, 1);
    put32(out, 40, 1);
    put32(out, 44, mipmaps);
    put32(out, 48, metadataLength);
    out.resize(out.size() + metadataLength, 0xEE);
    out.insert(out.end(), levels.begin(), levels.end());
    return out;
}

Bytes makePkm(int width, int height, const Bytes& blocks) {
    Bytes out(16, 0);
    std::memcpy(out.data(), "PKM 10", 6);
    putBE16(out, 8, (width + 3) & ~3);
    putBE16(out, 10, (height + 3) & ~3);
    putBE16(out, 12, width);
    putBE16(out, 14, height);
    out.insert(out.end(), blocks.begin(), blocks.end());
    return out;
}

Bytes makeDds(int width, int height, const char* fourCC, int mipmaps, const Bytes& levels) {
    Bytes out(128, 0);
    std::memcpy(out.data(), "DDS ", 4);
    put32(out, 4, 124);
    put32(out, 12, height);
    put32(out, 16, width);
    put32(out, 28, mipmaps);
    put32(out, 76, 32);
    put32(out, 80, 4);  // the four-character code is valid
    std::memcpy(out.data() + 84, fourCC, 4);
    out.insert(out.end(), levels.begin(), levels.end());
    return out;
}

Bytes makeKtx(int width, int height, std::uint32_t internalFormat, const std::vector<Bytes>& levels,
              std::uint32_t keyValueLength) {
    static const std::uint8_t identifier[12] = {0xAB, 'K', 'T', 'X', ' ', '1', '1', 0xBB, '\r', '\n', 0x1A, '\n'};
    Bytes out(64, 0);
    std::memcpy(out.data(), identifier, 12);
    put32(out, 12, 0x04030201);
    put32(out, 28, internalFormat);
    put32(out, 32, 0x1908);
    put32(out, 36, width);
    put32(out, 40, height);
    put32(out, 52, 1);
    put32(out, 56, static_cast<std::uint32_t>(levels.size()));
    put32(out, 60, keyValueLength);
    out.resize(out.size() + keyValueLength, 0);
    for (const Bytes& level : levels) {
        const std::size_t at = out.size();
        out.resize(at + 4);
        put32(out, at, static_cast<std::uint32_t>(level.size()));
        out.insert(out.end(), level.begin(), level.end());
    }
    return out;
}

Bytes makeTga(int type, int width, int height, int depth, int descriptor, const Bytes& pixels, const Bytes& id,
              int colourMapLength, int colourMapEntryBits) {
    Bytes out(18, 0);
    out[0] = static_cast<std::uint8_t>(id.size());
    out[1] = colourMapLength > 0 ? 1 : 0;
    out[2] = static_cast<std::uint8_t>(type);
    put16(out, 5, colourMapLength);
    out[7] = static_cast<std::uint8_t>(colourMapEntryBits);
    put16(out, 12, width);
    put16(out, 14, height);
    out[16] = static_cast<std::uint8_t>(depth);
    out[17] = static_cast<std::uint8_t>(descriptor);
    out.insert(out.end(), id.begin(), id.end());
    out.resize(out.size() + colourMapLength * ((colourMapEntryBits + 7) / 8), 0x77);
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

Bytes gzip(const Bytes& data) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&stream, data.size()) + 32);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

Bytes ktz(const Bytes& data) {
    uLongf size = compressBound(data.size());
    Bytes out(16 + size, 0);
    std::memcpy(out.data(), "KTZ!", 4);
    out[7] = 2;
    out[12] = static_cast<std::uint8_t>(data.size() >> 24);
    out[13] = static_cast<std::uint8_t>(data.size() >> 16);
    out[14] = static_cast<std::uint8_t>(data.size() >> 8);
    out[15] = static_cast<std::uint8_t>(data.size());
    compress(out.data() + 16, &size, data.data(), data.size());
    out.resize(16 + size);
    return out;
}

RefPtr<Image> decode(const Bytes& bytes) {
    RefPtr<Image> image(new (std::nothrow) Image());
    image->release();  // the holder keeps the only reference
    if (!image->initWithImageData(bytes.data(), static_cast<std::int64_t>(bytes.size()))) return {};
    return image;
}

Bytes pixelsOf(const Image& image) {
    if (!image.getData()) return {};
    return Bytes(image.getData(), image.getData() + image.getDataLen());
}

}  // namespace testdata
}  // namespace kite
