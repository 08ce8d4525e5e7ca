// A bitmap font made by the tests: a row of solid glyph cells, each its own colour, described in text and binary form.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/GLTest.h"
#include "support/TemporaryFolder.h"

namespace kite {
namespace test {

// The characters with a glyph, in the order of their cells; the space has no cell.
constexpr const char* kGlyphs = "0123456789abcdW";
constexpr int kCellWidth = 8;
constexpr int kCellHeight = 10;
constexpr int kAdvance = 9;
constexpr int kLineHeight = 12;
constexpr int kYOffset = 1;

inline int glyphIndex(char c) { return static_cast<int>(std::string(kGlyphs).find(c)); }

// The colour of a glyph's cell: every channel apart from its neighbours' by 15.
inline Pixel glyphColor(char c) {
    const int k = glyphIndex(c);
    return Pixel{static_cast<std::uint8_t>(20 + 15 * k), static_cast<std::uint8_t>(250 - 15 * k), 100, 255};
}

// The glyph whose colour the pixel has, or '?'.
inline char glyphOfColor(const Pixel& p) {
    for (const char* c = kGlyphs; *c; ++c) {
        const Pixel g = glyphColor(*c);
        if (std::abs(p.r - g.r) <= 4 && std::abs(p.g - g.g) <= 4 && std::abs(p.b - g.b) <= 4) return *c;
    }
    return '?';
}

struct KerningPair {
    int first;
    int second;
    int amount;
};

inline std::string glyphImagePNG(const TemporaryFolder& folder, const std::string& name) {
    const int count = static_cast<int>(std::string(kGlyphs).size());
    const int width = count * kCellWidth;
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width * kCellHeight * 4));
    for (int y = 0; y < kCellHeight; ++y)
        for (int x = 0; x < width; ++x) {
            const Pixel p = glyphColor(kGlyphs[x / kCellWidth]);
            std::uint8_t* out = &rgba[static_cast<std::size_t>((y * width + x) * 4)];
            out[0] = p.r, out[1] = p.g, out[2] = p.b, out[3] = p.a;
        }
    const std::string path = folder.path() + "/" + name;
    writePNG(path, width, kCellHeight, rgba);
    return path;
}

inline std::string fntText(const std::string& imageName, const std::vector<KerningPair>& kernings = {}) {
    std::string text = "info face=\"Cells\" size=10 bold=0 italic=0 charset=\"\" padding=1,2,3,4 spacing=1,1\n";
    text += "common lineHeight=" + std::to_string(kLineHeight) + " base=10 scaleW=120 scaleH=10 pages=1 packed=0\n";
    text += "page id=0 file=\"" + imageName + "\"\n";
    text += "chars count=16\n";
    text += "char id=32 x=0 y=0 width=0 height=0 xoffset=0 yoffset=0 xadvance=" + std::to_string(kAdvance) + "\n";
    for (const char* c = kGlyphs; *c; ++c) {
        text += "char id=" + std::to_string(static_cast<int>(*c)) +
                " x=" + std::to_string(glyphIndex(*c) * kCellWidth) + " y=0 width=" + std::to_string(kCellWidth) +
                " height=" + std::to_string(kCellHeight) + " xoffset=0 yoffset=" + std::to_string(kYOffset) +
                " xadvance=" + std::to_string(kAdvance) + " page=0 chnl=15\n";
    }
    text += "kernings count=" + std::to_string(kernings.size()) + "\n";
    for (const KerningPair& k : kernings) {
        text += "kerning first=" + std::to_string(k.first) + " second=" + std::to_string(k.second) +
                " amount=" + std::to_string(k.amount) + "\n";
    }
    return text;
}

inline void putLE(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline void putBlock(std::string& out, int type, const std::string& data) {
    out += static_cast<char>(type);
    putLE(out, static_cast<std::uint32_t>(data.size()), 4);
    out += data;
}

inline void putChar(std::string& chars, int id, int x, int width, int height, int yOffset) {
    putLE(chars, static_cast<std::uint32_t>(id), 4);
    putLE(chars, static_cast<std::uint32_t>(x), 2);
    putLE(chars, 0, 2);
    putLE(chars, static_cast<std::uint32_t>(width), 2);
    putLE(chars, static_cast<std::uint32_t>(height), 2);
    putLE(chars, 0, 2);
    putLE(chars, static_cast<std::uint32_t>(yOffset), 2);
    putLE(chars, kAdvance, 2);
    chars += '\0';
    chars += '\x0f';
}

// The same font as fntText, in the binary form.
inline std::string fntBinary(const std::string& imageName, const std::vector<KerningPair>& kernings = {}) {
    std::string out = "BMF";
    out += '\x03';
    std::string info(14, '\0');
    info[7] = 1, info[8] = 2, info[9] = 3, info[10] = 4;  // up, right, down, left
    putBlock(out, 1, info + "Cells" + std::string(1, '\0'));
    std::string common;
    putLE(common, kLineHeight, 2);
    putBlock(out, 2, common + std::string(13, '\0'));
    putBlock(out, 3, imageName + std::string(1, '\0'));
    std::string chars;
    putChar(chars, 32, 0, 0, 0, 0);
    for (const char* c = kGlyphs; *c; ++c)
        putChar(chars, *c, glyphIndex(*c) * kCellWidth, kCellWidth, kCellHeight, kYOffset);
    putBlock(out, 4, chars);
    std::string pairs;
    for (const KerningPair& k : kernings) {
        putLE(pairs, static_cast<std::uint32_t>(k.first), 4);
        putLE(pairs, static_cast<std::uint32_t>(k.second), 4);
        putLE(pairs, static_cast<std::uint32_t>(k.amount), 2);
    }
    if (!pairs.empty()) putBlock(out, 5, pairs);
    return out;
}

}  // namespace test
}  // namespace kite
