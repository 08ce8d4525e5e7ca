// TrueType files made for tests, table by table: the smallest font FreeType opens, with one glyph of any size.
#pragma once
#include <cstdint>
#include <map>
#include <string>

namespace kite::test {

namespace fontbytes {

inline void put16(std::string& out, int value) {
    out += static_cast<char>((value >> 8) & 0xFF);
    out += static_cast<char>(value & 0xFF);
}

inline void put32(std::string& out, std::uint32_t value) {
    put16(out, static_cast<int>(value >> 16));
    put16(out, static_cast<int>(value & 0xFFFF));
}

inline std::uint32_t checksum(std::string data) {
    data.append((4 - data.size() % 4) % 4, '\0');
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < data.size(); ++i)
        sum += static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << (24 - 8 * (i % 4));
    return sum;
}

// The file: the table directory, then the tables in tag order, each padded to four bytes.
inline std::string assemble(const std::map<std::string, std::string>& tables) {
    const int count = static_cast<int>(tables.size());
    int power = 1, exponent = 0;
    while (power * 2 <= count) power *= 2, ++exponent;
    std::string out;
    put32(out, 0x10000);
    put16(out, count);
    put16(out, power * 16);
    put16(out, exponent);
    put16(out, count * 16 - power * 16);
    std::uint32_t offset = 12 + 16 * static_cast<std::uint32_t>(count);
    std::string body;
    for (const auto& [tag, data] : tables) {
        out += tag;
        put32(out, checksum(data));
        put32(out, offset + static_cast<std::uint32_t>(body.size()));
        put32(out, static_cast<std::uint32_t>(data.size()));
        body += data;
        body.append((4 - data.size() % 4) % 4, '\0');
    }
    return out + body;
}

}  // namespace fontbytes

// A font of two glyphs: an empty .notdef and 'A', a triangle `width` x `height` font units standing on the
// baseline, in an em of `unitsPerEm` units. A small em and a large triangle make a glyph of any pixel size.
inline std::string triangleFont(int unitsPerEm, int width, int height) {
    using fontbytes::put16;
    using fontbytes::put32;
    std::string glyf;  // one contour of three points on the curve: (0, 0), (width / 2, height), (width, 0)
    for (int value : {1, 0, 0, width, height, 2, 0}) put16(glyf, value);
    glyf += std::string("\x01\x01\x01", 3);
    for (int dx : {0, width / 2, width - width / 2}) put16(glyf, dx);
    for (int dy : {0, height, -height}) put16(glyf, dy);
    glyf.append((4 - glyf.size() % 4) % 4, '\0');

    std::string head;
    for (std::uint32_t value : {0x10000u, 0x10000u, 0u, 0x5F0F3CF5u}) put32(head, value);
    put16(head, 0);
    put16(head, unitsPerEm);
    head.append(16, '\0');  // created, modified
    for (int value : {0, 0, width, height, 0, 8, 2, 0, 0}) put16(head, value);

    const int ascender = unitsPerEm * 4 / 5, descender = ascender - unitsPerEm;
    std::string hhea;
    put32(hhea, 0x10000);
    for (int value : {ascender, descender, 0, width, 0, 0, width, 1, 0, 0, 0, 0, 0, 0, 0, 2}) put16(hhea, value);

    std::string maxp;
    put32(maxp, 0x10000);
    for (int value : {2, 3, 1, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0}) put16(maxp, value);

    std::string hmtx;
    for (int value : {unitsPerEm / 2, 0, width, 0}) put16(hmtx, value);

    std::string cmap;  // Unicode BMP, format 4: 'A' (65) maps to glyph 1, the closing segment to none
    for (int value : {0, 1, 3, 1}) put16(cmap, value);
    put32(cmap, 12);
    for (int value : {4, 32, 0, 4, 4, 1, 0, 65, 0xFFFF, 0, 65, 0xFFFF, 1 - 65, 1, 0, 0}) put16(cmap, value);

    std::string loca;  // short offsets, halved
    for (int value : {0, 0, static_cast<int>(glyf.size() / 2)}) put16(loca, value);

    return fontbytes::assemble({{"cmap", cmap},
                                {"glyf", glyf},
                                {"head", head},
                                {"hhea", hhea},
                                {"hmtx", hmtx},
                                {"loca", loca},
                                {"maxp", maxp}});
}

}  // namespace kite::test
