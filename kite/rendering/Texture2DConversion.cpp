// Pixel-format conversions of uncompressed texture data before upload.
#include <cstdlib>
#include <cstring>

#include "kite/rendering/Texture2D.h"

namespace kite {
namespace {

using PixelFormat = Texture2D::PixelFormat;
using Byte = unsigned char;

inline void put16(Byte* out, std::size_t i, unsigned int value) {
    auto v = static_cast<std::uint16_t>(value);
    std::memcpy(out + i * 2, &v, 2);
}

inline unsigned int luminance(unsigned int r, unsigned int g, unsigned int b) {
    return (299 * r + 587 * g + 114 * b + 500) / 1000;
}

inline unsigned int pack565(unsigned int r, unsigned int g, unsigned int b) {
    return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
}
inline unsigned int pack4444(unsigned int r, unsigned int g, unsigned int b, unsigned int a) {
    return ((r >> 4) << 12) | ((g >> 4) << 8) | ((b >> 4) << 4) | (a >> 4);
}
inline unsigned int pack5551(unsigned int r, unsigned int g, unsigned int b, unsigned int aBit) {
    return ((r >> 3) << 11) | ((g >> 3) << 6) | ((b >> 3) << 1) | (aBit & 1);
}

// Bytes of one output pixel of each target format reachable by conversion.
std::size_t outBytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::RGBA8888: return 4;
        case PixelFormat::RGB888: return 3;
        case PixelFormat::RGB565:
        case PixelFormat::AI88:
        case PixelFormat::RGBA4444:
        case PixelFormat::RGB5A1: return 2;
        case PixelFormat::A8:
        case PixelFormat::I8: return 1;
        default: return 0;
    }
}

std::size_t inBytesPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::I8: return 1;
        case PixelFormat::AI88: return 2;
        case PixelFormat::RGB888: return 3;
        case PixelFormat::RGBA8888: return 4;
        default: return 0;
    }
}

// Whether the pair (source, target) has a conversion.
bool converts(PixelFormat from, PixelFormat to) {
    switch (from) {
        case PixelFormat::I8:
            return to == PixelFormat::RGBA8888 || to == PixelFormat::RGB888 || to == PixelFormat::RGB565 ||
                   to == PixelFormat::AI88 || to == PixelFormat::RGBA4444 || to == PixelFormat::RGB5A1;
        case PixelFormat::AI88:
            return to == PixelFormat::RGBA8888 || to == PixelFormat::RGB888 || to == PixelFormat::RGB565 ||
                   to == PixelFormat::A8 || to == PixelFormat::I8 || to == PixelFormat::RGBA4444 ||
                   to == PixelFormat::RGB5A1;
        case PixelFormat::RGB888:
            return to == PixelFormat::RGBA8888 || to == PixelFormat::RGB565 || to == PixelFormat::I8 ||
                   to == PixelFormat::AI88 || to == PixelFormat::RGBA4444 || to == PixelFormat::RGB5A1;
        case PixelFormat::RGBA8888:
            return to == PixelFormat::RGB888 || to == PixelFormat::RGB565 || to == PixelFormat::A8 ||
                   to == PixelFormat::I8 || to == PixelFormat::AI88 || to == PixelFormat::RGBA4444 ||
                   to == PixelFormat::RGB5A1;
        default: return false;
    }
}

// Reads pixel i of the source as (r, g, b, a); grey sources repeat I.
inline void readPixel(PixelFormat from, const Byte* in, std::size_t i, unsigned int& r, unsigned int& g,
                      unsigned int& b, unsigned int& a) {
    switch (from) {
        case PixelFormat::I8:
            r = g = b = in[i];
            a = 255;
            break;
        case PixelFormat::AI88:
            r = g = b = in[i * 2];
            a = in[i * 2 + 1];
            break;
        case PixelFormat::RGB888:
            r = in[i * 3];
            g = in[i * 3 + 1];
            b = in[i * 3 + 2];
            a = 255;
            break;
        default:
            r = in[i * 4];
            g = in[i * 4 + 1];
            b = in[i * 4 + 2];
            a = in[i * 4 + 3];
            break;
    }
}

void convert(PixelFormat from, PixelFormat to, const Byte* in, std::size_t n, Byte* out) {
    const bool grey = from == PixelFormat::I8 || from == PixelFormat::AI88;
    for (std::size_t i = 0; i < n; ++i) {
        unsigned int r, g, b, a;
        readPixel(from, in, i, r, g, b, a);
        // Grey sources carry their intensity as is; colour sources weigh it.
        const unsigned int l = grey ? r : luminance(r, g, b);
        switch (to) {
            case PixelFormat::RGBA8888:
                out[i * 4] = static_cast<Byte>(r);
                out[i * 4 + 1] = static_cast<Byte>(g);
                out[i * 4 + 2] = static_cast<Byte>(b);
                out[i * 4 + 3] = static_cast<Byte>(a);
                break;
            case PixelFormat::RGB888:
                out[i * 3] = static_cast<Byte>(r);
                out[i * 3 + 1] = static_cast<Byte>(g);
                out[i * 3 + 2] = static_cast<Byte>(b);
                break;
            case PixelFormat::RGB565: put16(out, i, pack565(r, g, b)); break;
            case PixelFormat::A8: out[i] = static_cast<Byte>(a); break;
            case PixelFormat::I8: out[i] = static_cast<Byte>(l); break;
            case PixelFormat::AI88:
                out[i * 2] = static_cast<Byte>(l);
                out[i * 2 + 1] = static_cast<Byte>(a);
                break;
            case PixelFormat::RGBA4444: put16(out, i, pack4444(r, g, b, a)); break;
            case PixelFormat::RGB5A1: put16(out, i, pack5551(r, g, b, a >> 7)); break;
            default: break;
        }
    }
}

}  // namespace

Texture2D::PixelFormat Texture2D::convertDataToFormat(const unsigned char* data, ssize_t dataLen,
                                                      PixelFormat originFormat, PixelFormat format,
                                                      unsigned char** outData, ssize_t* outDataLen) {
    *outData = const_cast<unsigned char*>(data);
    *outDataLen = dataLen;
    if (format == originFormat || format == PixelFormat::AUTO || !converts(originFormat, format) || !data ||
        dataLen <= 0)
        return originFormat;

    const std::size_t n = static_cast<std::size_t>(dataLen) / inBytesPerPixel(originFormat);
    const std::size_t length = n * outBytesPerPixel(format);
    // malloc(0) may give null; keep at least one byte so an empty result is still a buffer.
    auto* out = static_cast<Byte*>(std::malloc(length > 0 ? length : 1));
    if (!out) return originFormat;  // keep the input rather than hand on nothing
    convert(originFormat, format, data, n, out);
    *outData = out;
    *outDataLen = static_cast<ssize_t>(length);
    return format;
}

}  // namespace kite
