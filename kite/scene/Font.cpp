#include "kite/scene/Font.h"

namespace kite {

namespace {

std::string neheGlyphs() {
    std::string glyphs;
    for (char c = 0x21; c <= 0x7E; ++c) glyphs += c;
    return glyphs + ' ';
}

std::string asciiGlyphs() {
    std::string glyphs = "\"!";
    for (char c = 0x23; c <= 0x7E; ++c) glyphs += c;
    // U+00A1 to U+00FE as UTF-8: two bytes each.
    for (unsigned code = 0xA1; code <= 0xFE; ++code) {
        glyphs += static_cast<char>(0xC0 | (code >> 6));
        glyphs += static_cast<char>(0x80 | (code & 0x3F));
    }
    return glyphs + ' ';
}

}  // namespace

const char* Font::getCurrentGlyphCollection() const {
    static const std::string nehe = neheGlyphs();
    static const std::string ascii = asciiGlyphs();
    switch (_usedGlyphs) {
        case GlyphCollection::NEHE: return nehe.c_str();
        case GlyphCollection::ASCII: return ascii.c_str();
        case GlyphCollection::DYNAMIC:
        case GlyphCollection::CUSTOM: return hasCustomGlyphs_ ? _customGlyphs.c_str() : nullptr;
    }
    return nullptr;
}

void Font::setCurrentGlyphCollection(GlyphCollection glyphs, const char* customGlyphs) {
    _customGlyphs.clear();
    hasCustomGlyphs_ = false;
    if ((glyphs == GlyphCollection::DYNAMIC || glyphs == GlyphCollection::CUSTOM) && customGlyphs) {
        _customGlyphs = customGlyphs;
        hasCustomGlyphs_ = true;
    }
    _usedGlyphs = glyphs;
}

}  // namespace kite
