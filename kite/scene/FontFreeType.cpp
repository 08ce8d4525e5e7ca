#include "kite/scene/FontFreeType.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_STROKER_H

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_map>

#include "kite/foundation/Data.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/StringUtils.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/scene/DistanceMap.h"
#include "kite/scene/FontAtlas.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {

constexpr int kPageWidth = 512;

FT_Library library = nullptr;

FT_Library freeTypeLibrary() {
    if (!library && FT_Init_FreeType(&library) != 0) library = nullptr;
    return library;
}

// Font files are read once per name and shared by every size and outline of that file.
struct FontData {
    Data bytes;
    unsigned int references = 0;
};

std::unordered_map<std::string, FontData>& fontDataCache() {
    static std::unordered_map<std::string, FontData> cache = [] {
        std::unordered_map<std::string, FontData> c;
        c.max_load_factor(1.0f);
        return c;
    }();
    return cache;
}

const Data* acquireFontData(const std::string& fontName) {
    auto& cache = fontDataCache();
    auto it = cache.find(fontName);
    if (it == cache.end()) {
        Data bytes = FileUtils::getInstance()->getDataFromFile(fontName);
        if (bytes.isNull()) return nullptr;
        it = cache.emplace(fontName, FontData{}).first;
        it->second.bytes = std::move(bytes);
    }
    ++it->second.references;
    return &it->second.bytes;
}

void releaseFontData(const std::string& fontName) {
    auto& cache = fontDataCache();
    auto it = cache.find(fontName);
    if (it != cache.end() && --it->second.references == 0) cache.erase(it);
}

// Copies rows of a FreeType bitmap whose pitch may differ from its width.
std::unique_ptr<unsigned char[]> copyBitmap(const FT_Bitmap& bitmap) {
    const int width = static_cast<int>(bitmap.width);
    const int rows = static_cast<int>(bitmap.rows);
    auto copy = std::make_unique<unsigned char[]>(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r)
        std::memcpy(copy.get() + static_cast<std::size_t>(r) * width, bitmap.buffer + r * bitmap.pitch,
                    static_cast<std::size_t>(width));
    return copy;
}

// Copies a w x h channel into every second byte of a 2-byte-per-pixel buffer, centred in it.
void blitChannel(unsigned char* dest, int destW, int destH, int channel, const unsigned char* src, int w, int h) {
    const int offsetX = (destW - w) / 2;
    const int offsetY = (destH - h) / 2;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) dest[2 * ((y + offsetY) * destW + x + offsetX) + channel] = src[y * w + x];
}

struct PixelSize {
    long width = 0, height = 0;
};

PixelSize boxSize(const FT_BBox& box) {
    return {static_cast<long>((box.xMax - box.xMin) >> 6), static_cast<long>((box.yMax - box.yMin) >> 6)};
}

// The least size in pixels the loaded glyph renders at, known before anything is rendered: its outline's control
// box (what the rasterizer covers), the bitmap a bitmap font already holds, or else the glyph's metrics.
PixelSize unrenderedSize(const FT_GlyphSlot slot) {
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_BBox box;
        FT_Outline_Get_CBox(&slot->outline, &box);
        return boxSize(box);
    }
    if (slot->format == FT_GLYPH_FORMAT_BITMAP)
        return {static_cast<long>(slot->bitmap.width), static_cast<long>(slot->bitmap.rows)};
    return {static_cast<long>(slot->metrics.width >> 6), static_cast<long>(slot->metrics.height >> 6)};
}

// The stroke, moved to the origin, as width x height bytes of coverage; null when it cannot be rendered.
std::unique_ptr<unsigned char[]> renderStroke(FT_Outline* outline, const FT_BBox& box, int width, int height) {
    const auto bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    auto pixels = std::make_unique<unsigned char[]>(bytes);
    std::memset(pixels.get(), 0, bytes);
    FT_Bitmap target{};
    target.buffer = pixels.get();
    target.width = static_cast<unsigned int>(width);
    target.rows = static_cast<unsigned int>(height);
    target.pitch = width;
    target.pixel_mode = FT_PIXEL_MODE_GRAY;
    target.num_grays = 256;
    FT_Raster_Params params{};
    params.target = &target;
    params.source = outline;
    params.flags = FT_RASTER_FLAG_AA;
    FT_Outline_Translate(outline, -box.xMin, -box.yMin);
    if (FT_Outline_Render(library, outline, &params) != 0) return nullptr;
    return pixels;
}

bool largerThanAPage(const PixelSize& size) {
    return size.width > FontAtlas::CacheTextureWidth || size.height > FontAtlas::CacheTextureHeight;
}

}  // namespace

struct FontFreeType::Face {
    FT_Face face = nullptr;
    FT_Stroker stroker = nullptr;
};

FontFreeType* FontFreeType::create(const std::string& fontName, int fontSize, GlyphCollection glyphs,
                                   const char* customGlyphs, bool distanceFieldEnabled, int outline) {
    auto* font = new (std::nothrow) FontFreeType(distanceFieldEnabled, outline);
    if (!font) return nullptr;
    font->setCurrentGlyphCollection(glyphs, customGlyphs);
    if (!font->createFontObject(fontName, fontSize)) {
        log("FontFreeType: cannot open \"%s\" as a font of size %d", platform::printableText(fontName).c_str(),
            fontSize);
        delete font;
        return nullptr;
    }
    return font;
}

void FontFreeType::shutdownFreeType() {
    // Faces still open (atlases still held) belong to the library: it goes with the last of them.
    if (!library || !fontDataCache().empty()) return;
    FT_Done_FreeType(library);
    library = nullptr;
}

std::size_t FontFreeType::cachedFontDataCount() { return fontDataCache().size(); }

FontFreeType::FontFreeType(bool distanceFieldEnabled, int outline)
    : _face(std::make_unique<Face>()), _distanceFieldEnabled(distanceFieldEnabled) {
    if (outline <= 0) return;
    _outlineSize = static_cast<float>(outline) * frameContentScaleFactor();
    if (!freeTypeLibrary() || FT_Stroker_New(library, &_face->stroker) != 0) {
        _face->stroker = nullptr;
        return;
    }
    FT_Stroker_Set(_face->stroker, static_cast<FT_Fixed>(_outlineSize * 64), FT_STROKER_LINECAP_ROUND,
                   FT_STROKER_LINEJOIN_ROUND, 0);
}

FontFreeType::~FontFreeType() {
    if (_face->stroker) FT_Stroker_Done(_face->stroker);
    if (_face->face) FT_Done_Face(_face->face);
    if (_holdsFontData) releaseFontData(_fontName);
}

bool FontFreeType::createFontObject(const std::string& fontName, int fontSize) {
    _fontName = fontName;
    const Data* bytes = acquireFontData(fontName);
    if (!bytes) return false;
    _holdsFontData = true;
    if (!freeTypeLibrary()) return false;
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, bytes->getBytes(), static_cast<FT_Long>(bytes->getSize()), 0, &face) != 0)
        return false;
    _face->face = face;
    if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) return false;
    const auto size = static_cast<FT_F26Dot6>(fontSize * 64.0f * frameContentScaleFactor());
    if (FT_Set_Char_Size(face, size, size, 72, 72) != 0) return false;
    // An outline was asked for but its stroker could not be made.
    return _outlineSize <= 0.0f || _face->stroker != nullptr;
}

FontAtlas* FontFreeType::createFontAtlas() {
    auto* atlas = new (std::nothrow) FontAtlas(*this);
    if (atlas && _usedGlyphs != GlyphCollection::DYNAMIC) {
        std::u16string utf16;
        if (const char* glyphs = getCurrentGlyphCollection(); glyphs && StringUtils::UTF8ToUTF16(glyphs, utf16))
            atlas->prepareLetterDefinitions(utf16);
    }
    // The atlas keeps the font alive from here on.
    release();
    return atlas;
}

int FontFreeType::getHorizontalKerningForChars(char16_t first, char16_t second) const {
    FT_Face face = _face->face;
    const FT_UInt firstIndex = FT_Get_Char_Index(face, first);
    const FT_UInt secondIndex = FT_Get_Char_Index(face, second);
    if (firstIndex == 0 || secondIndex == 0) return 0;
    FT_Vector kerning;
    if (FT_Get_Kerning(face, firstIndex, secondIndex, FT_KERNING_DEFAULT, &kerning) != 0) return 0;
    return static_cast<int>(kerning.x >> 6);
}

std::unique_ptr<int[]> FontFreeType::getHorizontalKerningForTextUTF16(const std::u16string& text,
                                                                      int& outNumLetters) const {
    outNumLetters = static_cast<int>(text.size());
    if (!_face->face || text.empty()) return nullptr;
    auto kernings = std::make_unique<int[]>(text.size());
    if (FT_HAS_KERNING(_face->face) && outNumLetters >= 2) {
        for (std::size_t c = 1; c < text.size(); ++c) kernings[c] = getHorizontalKerningForChars(text[c - 1], text[c]);
    }
    return kernings;
}

int FontFreeType::getFontMaxHeight() const {
    return _face->face ? static_cast<int>(_face->face->size->metrics.height >> 6) : 0;
}

int FontFreeType::getFontAscender() const {
    return _face->face ? static_cast<int>(_face->face->size->metrics.ascender >> 6) : 0;
}

bool FontFreeType::getGlyphBitmap(char16_t unit, GlyphBitmap& out) {
    out = GlyphBitmap();
    FT_Face face = _face->face;
    if (!face) return false;
    const FT_UInt index = FT_Get_Char_Index(face, unit);
    if (index == 0) return false;
    FT_Int32 flags = FT_LOAD_NO_AUTOHINT;
    if (_distanceFieldEnabled) flags |= FT_LOAD_NO_HINTING;
    if (FT_Load_Glyph(face, index, flags) != 0) return false;
    const FT_GlyphSlot slot = face->glyph;
    // A damaged font can make a glyph of thousands of pixels a side; no page holds it, so it is not rendered.
    PixelSize size = unrenderedSize(slot);
    if (_distanceFieldEnabled) size.width += 2 * DistanceMapSpread, size.height += 2 * DistanceMapSpread;
    if (largerThanAPage(size)) {
        log("FontFreeType: glyph U+%04X of \"%s\" (%ld x %ld pixels) is larger than a page",
            static_cast<unsigned>(unit), platform::printableText(_fontName).c_str(), size.width, size.height);
        return false;
    }
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;

    const FT_Glyph_Metrics& metrics = slot->metrics;
    out.rect = Rect(static_cast<float>(metrics.horiBearingX >> 6), static_cast<float>(-(metrics.horiBearingY >> 6)),
                    static_cast<float>(metrics.width >> 6), static_cast<float>(metrics.height >> 6));
    out.xAdvance = static_cast<int>(slot->metrics.horiAdvance >> 6);
    out.width = static_cast<int>(slot->bitmap.width);
    out.height = static_cast<int>(slot->bitmap.rows);
    if (out.width > 0 && out.height > 0 && slot->bitmap.buffer) {
        if (slot->bitmap.pitch == out.width) {
            out.pixels = slot->bitmap.buffer;
        } else {
            out.owned = copyBitmap(slot->bitmap);
            out.pixels = out.owned.get();
        }
    } else {
        out.width = out.height = 0;
    }
    if (_outlineSize > 0.0f && !blendOutline(unit, out)) {
        out = GlyphBitmap();
        return false;
    }
    return true;
}

// Outline in the even bytes, the glyph in the odd bytes, both centred in the larger of the two.
bool FontFreeType::blendOutline(char16_t unit, GlyphBitmap& out) {
    std::unique_ptr<unsigned char[]> glyph;
    if (out.pixels) {
        glyph = std::make_unique<unsigned char[]>(static_cast<std::size_t>(out.width) * out.height);
        std::memcpy(glyph.get(), out.pixels, static_cast<std::size_t>(out.width) * out.height);
    }
    int outlineWidth = 0, outlineHeight = 0;
    std::unique_ptr<unsigned char[]> outline;
    if (!getGlyphBitmapWithOutline(unit, outline, outlineWidth, outlineHeight)) return false;
    // The outline widens every letter, a space (which has no image) as well.
    out.xAdvance += static_cast<int>(2 * _outlineSize);
    if (!outline) return !glyph;
    const int blendWidth = std::max(out.width, outlineWidth);
    const int blendHeight = std::max(out.height, outlineHeight);
    auto blend = std::make_unique<unsigned char[]>(static_cast<std::size_t>(blendWidth) * blendHeight * 2);
    std::memset(blend.get(), 0, static_cast<std::size_t>(blendWidth) * blendHeight * 2);
    blitChannel(blend.get(), blendWidth, blendHeight, 0, outline.get(), outlineWidth, outlineHeight);
    if (glyph) blitChannel(blend.get(), blendWidth, blendHeight, 1, glyph.get(), out.width, out.height);
    out.rect.size = Size(static_cast<float>(blendWidth), static_cast<float>(blendHeight));
    out.width = blendWidth;
    out.height = blendHeight;
    out.owned = std::move(blend);
    out.pixels = out.owned.get();
    return true;
}

bool FontFreeType::getGlyphBitmapWithOutline(char16_t unit, std::unique_ptr<unsigned char[]>& pixels, int& outWidth,
                                             int& outHeight) const {
    pixels.reset();
    outWidth = outHeight = 0;
    FT_Face face = _face->face;
    const FT_UInt index = FT_Get_Char_Index(face, unit);
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP) != 0 || face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return false;
    FT_Glyph glyph = nullptr;
    if (FT_Get_Glyph(face->glyph, &glyph) != 0) return false;
    bool stroked = false;
    if (FT_Glyph_StrokeBorder(&glyph, _face->stroker, 0, 1) == 0 && glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_BBox box;
        FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_GRIDFIT, &box);
        const PixelSize size = boxSize(box);
        if (largerThanAPage(size)) {
            log("FontFreeType: the outline of glyph U+%04X of \"%s\" (%ld x %ld pixels) is larger than a page",
                static_cast<unsigned>(unit), platform::printableText(_fontName).c_str(), size.width, size.height);
        } else if (size.width <= 0 || size.height <= 0) {
            stroked = true;  // nothing to draw
        } else {
            outWidth = static_cast<int>(size.width);
            outHeight = static_cast<int>(size.height);
            pixels = renderStroke(&reinterpret_cast<FT_OutlineGlyph>(glyph)->outline, box, outWidth, outHeight);
            stroked = pixels != nullptr;
        }
    }
    FT_Done_Glyph(glyph);
    return stroked;
}

int FontFreeType::pageWidthOf(const GlyphBitmap& bitmap) const {
    return bitmap.width + (_distanceFieldEnabled ? 2 * DistanceMapSpread : 0);
}

int FontFreeType::pageHeightOf(const GlyphBitmap& bitmap) const {
    return bitmap.height + (_distanceFieldEnabled ? 2 * DistanceMapSpread : 0);
}

void FontFreeType::renderCharAt(unsigned char* dest, int posX, int posY, const GlyphBitmap& bitmap) const {
    if (!bitmap.pixels) return;
    if (_outlineSize > 0.0f) {
        const auto rowBytes = static_cast<std::size_t>(2 * bitmap.width);
        for (int r = 0; r < bitmap.height; ++r)
            std::memcpy(dest + 2 * (posX + (posY + r) * kPageWidth), bitmap.pixels + r * rowBytes, rowBytes);
        return;
    }
    const unsigned char* source = bitmap.pixels;
    std::unique_ptr<unsigned char[]> field;
    if (_distanceFieldEnabled) {
        field = makeDistanceMap(bitmap.pixels, bitmap.width, bitmap.height);
        source = field.get();
    }
    const int width = pageWidthOf(bitmap);
    for (int r = 0, rows = pageHeightOf(bitmap); r < rows; ++r)
        std::memcpy(dest + posX + (posY + r) * kPageWidth, source + r * width, static_cast<std::size_t>(width));
}

}  // namespace kite
