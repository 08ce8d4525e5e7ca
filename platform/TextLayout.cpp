#include "platform/TextLayout.h"

#include <algorithm>

namespace platform {

namespace {

bool isCjk(char32_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x2FFFF);
}

int sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

class LineBuilder {
public:
    LineBuilder(int boxWidth, const GlyphSource& glyphs, std::vector<TextLayout::Line>& lines, bool& usedFallback)
        : boxWidth_(boxWidth), glyphs_(glyphs), lines_(lines), usedFallback_(usedFallback) {}

    void add(char32_t c) {
        const RenderedGlyph* glyph = glyphs_(c);
        const int advance = glyph ? glyph->advance : 0;
        if (glyph && glyph->fromFallback) usedFallback_ = true;
        if (isCjk(c) && !line_.chars.empty()) breakAt_ = line_.chars.size();
        if (boxWidth_ > 0 && !line_.chars.empty() && c != U' ' && line_.pen + advance > boxWidth_) wrap();
        line_.chars.push_back(c);
        line_.x.push_back(line_.pen);
        line_.pen += advance;
        if (c == U' ' || isCjk(c)) breakAt_ = line_.chars.size();
    }

    void endParagraph() {
        finish(line_);
        lines_.push_back(std::move(line_));
        line_ = TextLayout::Line();
        breakAt_ = 0;
    }

private:
    // Moves what follows the last break opportunity to a new line.
    void wrap() {
        TextLayout::Line next;
        if (breakAt_ > 0 && breakAt_ < line_.chars.size()) {
            for (std::size_t i = breakAt_; i < line_.chars.size(); ++i) {
                next.chars.push_back(line_.chars[i]);
                next.x.push_back(next.pen);
                const RenderedGlyph* glyph = glyphs_(line_.chars[i]);
                next.pen += glyph ? glyph->advance : 0;
            }
            line_.chars.resize(breakAt_);
            line_.x.resize(breakAt_);
        }
        while (!line_.chars.empty() && line_.chars.back() == U' ') {
            line_.chars.pop_back();
            line_.x.pop_back();
        }
        finish(line_);
        lines_.push_back(std::move(line_));
        line_ = std::move(next);
        breakAt_ = 0;
    }

    void finish(TextLayout::Line& line) const {
        line.pen = 0;
        line.width = 0;
        for (std::size_t i = 0; i < line.chars.size(); ++i) {
            const RenderedGlyph* glyph = glyphs_(line.chars[i]);
            if (!glyph) continue;
            line.pen = line.x[i] + glyph->advance;
            line.width = std::max({line.width, line.pen, line.x[i] + glyph->left + glyph->width});
        }
    }

    int boxWidth_;
    const GlyphSource& glyphs_;
    std::vector<TextLayout::Line>& lines_;
    bool& usedFallback_;
    TextLayout::Line line_;
    std::size_t breakAt_ = 0;
};

}  // namespace

std::u32string decodeUtf8(const std::string& utf8) {
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = sequenceLength(lead);
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= utf8.size();
        char32_t c = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        out.push_back(valid ? c : U'\uFFFD');
        i += valid ? static_cast<std::size_t>(length) : 1;
    }
    return out;
}

TextLayout TextLayout::build(const std::string& utf8, int boxWidth, const GlyphSource& glyphs,
                             const FontMetrics& primary, const FontMetrics& fallback) {
    TextLayout layout;
    bool usedFallback = false;
    LineBuilder builder(boxWidth, glyphs, layout.lines, usedFallback);
    const std::u32string text = decodeUtf8(utf8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        // "\r\n" and a lone "\r" end a line as "\n" does; neither has a glyph to draw.
        if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n') ++i;
        if (text[i] == U'\n' || text[i] == U'\r') {
            builder.endParagraph();
        } else {
            builder.add(text[i]);
        }
    }
    builder.endParagraph();
    layout.ascent = usedFallback ? std::max(primary.ascent, fallback.ascent) : primary.ascent;
    const int descent = usedFallback ? std::max(primary.descent, fallback.descent) : primary.descent;
    layout.lineHeight = layout.ascent + descent;
    for (const Line& line : layout.lines) layout.width = std::max(layout.width, line.width);
    layout.height = layout.lineHeight * static_cast<int>(layout.lines.size());
    return layout;
}

void TextLayout::draw(std::vector<std::uint8_t>& layer, const LayerTarget& target, TextHorizontalAlign align,
                      const GlyphSource& glyphs) const {
    const int inner = target.width - 2 * target.padding;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        const int spare = inner - line.width;
        const int x0 = target.padding + (align == TextHorizontalAlign::Left     ? 0
                                         : align == TextHorizontalAlign::Center ? spare / 2
                                                                                : spare);
        const int baseline = target.padding + target.top + static_cast<int>(i) * lineHeight + ascent;
        for (std::size_t k = 0; k < line.chars.size(); ++k) {
            const RenderedGlyph* glyph = glyphs(line.chars[k]);
            if (!glyph) continue;
            const int left = x0 + line.x[k] + glyph->left;
            const int top = baseline - glyph->top;
            for (int y = std::max(0, -top); y < glyph->height && top + y < target.height; ++y) {
                for (int x = std::max(0, -left); x < glyph->width && left + x < target.width; ++x) {
                    std::uint8_t& out = layer[static_cast<std::size_t>(top + y) * target.width + left + x];
                    out = std::max(out, glyph->pixels[static_cast<std::size_t>(y) * glyph->width + x]);
                }
            }
        }
    }
}

}  // namespace platform
