// Lines of system-font text: characters placed by their advances, wrapped at a width (after spaces,
// and around CJK characters, which need no spaces), and drawn into coverage layers.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/TextRenderer.h"

namespace platform {

struct RenderedGlyph {
    std::vector<std::uint8_t> pixels;  // coverage, width x height
    int width = 0, height = 0;
    int left = 0, top = 0;  // from the pen to the bitmap's top-left, pixels (top is up)
    int advance = 0;
    bool fromFallback = false;
};

struct FontMetrics {
    int ascent = 0, descent = 0;  // pixels, both positive
};

// The glyph of a character, or null when it cannot be rendered.
using GlyphSource = std::function<const RenderedGlyph*(char32_t)>;

// Where lines go in a layer: its size, the padding around the text and the first line's top.
struct LayerTarget {
    int width = 0, height = 0;
    int padding = 0;
    int top = 0;
};

struct TextLayout {
    struct Line {
        std::u32string chars;
        std::vector<int> x;  // pen position of each character
        int pen = 0;
        int width = 0;  // pen end or ink end, whichever is further
    };

    static TextLayout build(const std::string& utf8, int boxWidth, const GlyphSource& glyphs,
                            const FontMetrics& primary, const FontMetrics& fallback);
    // Draws each glyph's coverage into the layer (width x height bytes), keeping the larger value.
    void draw(std::vector<std::uint8_t>& layer, const LayerTarget& target, TextHorizontalAlign align,
              const GlyphSource& glyphs) const;

    std::vector<Line> lines;
    int width = 0, height = 0;
    int ascent = 0, lineHeight = 0;
};

// Code points of UTF-8 text; a malformed sequence becomes U+FFFD.
std::u32string decodeUtf8(const std::string& utf8);

}  // namespace platform
