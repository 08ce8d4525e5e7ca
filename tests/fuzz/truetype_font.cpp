// TrueType and OpenType font files, opened as labels open them and asked for glyphs, plain,
// outlined and as distance fields.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "kite/scene/FontFreeType.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::MemoryFile file(data, size);
    for (int variant = 0; variant < 3; ++variant) {
        kite::FontFreeType* font =
            kite::FontFreeType::create(file.path(), 24, kite::GlyphCollection::DYNAMIC, nullptr, variant == 2, variant);
        if (!font) return 0;
        for (char16_t unit : {u'A', u'g', u' ', u'\u4e2d', u'\uffff'}) {
            kite::GlyphBitmap glyph;
            font->getGlyphBitmap(unit, glyph);
        }
        font->release();
    }
    return 0;
}
