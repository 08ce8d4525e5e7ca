#include "kite/scene/StatsDigitsImage.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "kite/rendering/Image.h"

namespace kite {

namespace {

// A 5 x 7 dot font, drawn twice as large in the middle of a cell.
constexpr int kDotColumns = 5;
constexpr int kDotRows = 7;
constexpr int kDotSize = 2;
constexpr int kGlyphLeft = (kStatsCellWidth - kDotColumns * kDotSize) / 2;
constexpr int kGlyphTop = (kStatsCellHeight - kDotRows * kDotSize) / 2;

struct DotGlyph {
    char c;
    const char* rows[kDotRows];
};

constexpr DotGlyph kGlyphs[] = {
    {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
    {'/', {"....#", "....#", "...#.", "..#..", ".#...", "#....", "#...."}},
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {':', {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'c', {".....", ".....", ".###.", "#....", "#....", "#...#", ".###."}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'r', {".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."}},
    {'s', {".....", ".....", ".####", "#....", ".###.", "....#", "####."}},
    {'t', {".#...", ".#...", "####.", ".#...", ".#...", ".#..#", "..##."}},
    {'v', {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
};

const DotGlyph* glyphOf(char c) {
    for (const DotGlyph& glyph : kGlyphs)
        if (glyph.c == c) return &glyph;
    return nullptr;
}

}  // namespace

bool statsGlyphCovers(char c, int x, int y) {
    const DotGlyph* glyph = glyphOf(c);
    const int column = x - kGlyphLeft;
    const int row = y - kGlyphTop;
    if (!glyph || column < 0 || row < 0 || column >= kDotColumns * kDotSize || row >= kDotRows * kDotSize) {
        return false;
    }
    return glyph->rows[row / kDotSize][column / kDotSize] == '#';
}

Image* createStatsDigitsImage() {
    constexpr int cells = kStatsLastChar - kStatsFirstChar + 1;
    constexpr int width = cells * kStatsCellWidth;
    constexpr int height = kStatsCellHeight;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height * 4), 0);
    for (int cell = 0; cell < cells; ++cell) {
        const char c = static_cast<char>(kStatsFirstChar + cell);
        if (!glyphOf(c)) continue;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < kStatsCellWidth; ++x) {
                if (!statsGlyphCovers(c, x, y)) continue;
                std::memset(&pixels[static_cast<std::size_t>((y * width + cell * kStatsCellWidth + x) * 4)], 0xFF, 4);
            }
    }
    auto* image = new (std::nothrow) Image();
    if (image &&
        !image->initWithRawData(pixels.data(), static_cast<std::int64_t>(pixels.size()), width, height, 8, true)) {
        image->release();
        return nullptr;
    }
    return image;
}

}  // namespace kite
