#include "kite/scene/FontAtlas.h"

#include <algorithm>

#include "kite/foundation/Log.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Font.h"
#include "kite/scene/FontFreeType.h"
#include "platform/PrintableText.h"

namespace kite {

FontAtlas::FontAtlas(Font& font) : _font(&font) {
    _font->retain();
    _atlasTextures.max_load_factor(1.0f);
    _letterDefinitions.max_load_factor(1.0f);
    _fontFreeType = dynamic_cast<FontFreeType*>(_font);
    if (_fontFreeType) initTrueTypePage();
}

FontAtlas::~FontAtlas() {
    _font->release();
    for (auto& page : _atlasTextures) page.second->release();
    _atlasTextures.clear();
}

void FontAtlas::addTexture(Texture2D* texture, int slot) {
    if (!texture) return;
    texture->retain();
    auto it = _atlasTextures.find(slot);
    if (it != _atlasTextures.end()) {
        it->second->release();
        it->second = texture;
    } else {
        _atlasTextures.emplace(slot, texture);
    }
}

Texture2D* FontAtlas::getTexture(int slot) const {
    auto it = _atlasTextures.find(slot);
    return it == _atlasTextures.end() ? nullptr : it->second;
}

void FontAtlas::addLetterDefinition(const FontLetterDefinition& def) { _letterDefinitions[def.letteCharUTF16] = def; }

bool FontAtlas::getLetterDefinitionForChar(char16_t unit, FontLetterDefinition& outDef) const {
    auto it = _letterDefinitions.find(unit);
    if (it == _letterDefinitions.end()) {
        outDef.validDefinition = false;
        return false;
    }
    outDef = it->second;
    return true;
}

// ---- TrueType pages

int FontAtlas::bytesPerPixel() const { return _fontFreeType && _fontFreeType->getOutlineSize() > 0 ? 2 : 1; }

void FontAtlas::initTrueTypePage() {
    _commonLineHeight = static_cast<float>(_fontFreeType->getFontMaxHeight());
    _fontAscender = _fontFreeType->getFontAscender();
    _letterPadding = _fontFreeType->isDistanceFieldEnabled() ? 2.0f * FontFreeType::DistanceMapSpread : 0.0f;
    const float outline = _fontFreeType->getOutlineSize();
    if (outline > 0) _commonLineHeight += 2 * outline;
    _currentPage = -1;
    addPage();
}

// A zeroed page buffer becomes a new page texture.
bool FontAtlas::addPage() {
    _currentPageData.assign(static_cast<std::size_t>(CacheTextureWidth) * CacheTextureHeight * bytesPerPixel(), 0);
    _currentPageOrigX = 0.0f;
    _currentPageOrigY = 0.0f;
    Texture2D* texture = Texture2D::create();
    if (!texture) return false;
    if (_currentPage >= 0) {
        if (_antialiasEnabled)
            texture->setAntiAliasTexParameters();
        else
            texture->setAliasTexParameters();
    }
    const auto format = bytesPerPixel() == 2 ? Texture2D::PixelFormat::AI88 : Texture2D::PixelFormat::A8;
    const Size size(static_cast<float>(CacheTextureWidth), static_cast<float>(CacheTextureHeight));
    if (!texture->initWithData(_currentPageData.data(), static_cast<ssize_t>(_currentPageData.size()), format,
                               CacheTextureWidth, CacheTextureHeight, size)) {
        log("FontAtlas: a page for \"%s\" cannot be made",
            platform::printableText(_fontFreeType->getFontName()).c_str());
        return false;
    }
    ++_currentPage;
    addTexture(texture, _currentPage);
    return true;
}

void FontAtlas::uploadRows(int startY, int rows) {
    rows = std::min(rows, CacheTextureHeight - startY);
    Texture2D* page = getTexture(_currentPage);
    if (!page || rows <= 0) return;
    const std::size_t offset = static_cast<std::size_t>(startY) * CacheTextureWidth * bytesPerPixel();
    page->updateWithData(_currentPageData.data() + offset, 0, startY, CacheTextureWidth, rows);
}

bool FontAtlas::placeGlyph(char16_t unit, const GlyphBitmap& bitmap, FontLetterDefinition& def, DirtyRows& dirty) {
    const int pageWidth = _fontFreeType->pageWidthOf(bitmap);
    const int pageHeight = _fontFreeType->pageHeightOf(bitmap);
    const auto lineHeight = static_cast<int>(_commonLineHeight);
    if (pageWidth > CacheTextureWidth || pageHeight > CacheTextureHeight) {
        log("FontAtlas: glyph U+%04X of \"%s\" (%d x %d pixels) does not fit a page", static_cast<unsigned>(unit),
            platform::printableText(_fontFreeType->getFontName()).c_str(), pageWidth, pageHeight);
        return false;
    }
    // A glyph past the right edge starts the next row. Its bitmap may be wider than its box (a distance
    // field's is): the wider of the two must fit, or the bitmap would wrap into the row below.
    const float footprint = std::max(def.width, static_cast<float>(pageWidth));
    if (_currentPageOrigX + footprint > CacheTextureWidth) {
        _currentPageOrigY += _commonLineHeight;
        _currentPageOrigX = 0.0f;
    }
    // A full page, or a glyph taller than the rows left on it, opens the next page.
    const auto origY = static_cast<int>(_currentPageOrigY);
    if (origY + lineHeight >= CacheTextureHeight || origY + pageHeight > CacheTextureHeight) {
        uploadRows(dirty.top, CacheTextureHeight - dirty.top);
        dirty = DirtyRows();
        if (!addPage()) return false;
    }
    _fontFreeType->renderCharAt(_currentPageData.data(), static_cast<int>(_currentPageOrigX),
                                static_cast<int>(_currentPageOrigY), bitmap);
    def.U = _currentPageOrigX;
    def.V = _currentPageOrigY;
    def.textureID = _currentPage;
    // The box covers all that was written (a glow reaches to the field's right edge) and the pen passes
    // it, so the next bitmap never covers this one's last columns.
    def.width = footprint;
    _currentPageOrigX += footprint + 1;
    dirty.bottom = std::max(dirty.bottom, static_cast<int>(_currentPageOrigY) + pageHeight);
    return true;
}

bool FontAtlas::prepareLetterDefinitions(const std::u16string& text) {
    if (!_fontFreeType) return false;
    const float offsetAdjust = _letterPadding / 2;
    const int bottomHeight = static_cast<int>(_commonLineHeight) - _fontAscender;
    DirtyRows dirty{static_cast<int>(_currentPageOrigY), 0};
    const float scale = frameContentScaleFactor();
    bool anyNew = false;
    for (char16_t unit : text) {
        if (_letterDefinitions.count(unit)) continue;
        anyNew = true;
        GlyphBitmap bitmap;
        _fontFreeType->getGlyphBitmap(unit, bitmap);
        FontLetterDefinition def;
        def.letteCharUTF16 = unit;
        def.xAdvance = bitmap.xAdvance;
        if (bitmap.pixels) {
            def.validDefinition = true;
            def.width = bitmap.rect.size.width + _letterPadding;
            def.height = bitmap.rect.size.height + _letterPadding;
            def.offsetX = bitmap.rect.origin.x + offsetAdjust;
            def.offsetY = static_cast<float>(_fontAscender) + bitmap.rect.origin.y - offsetAdjust;
            def.clipBottom = static_cast<int>(bottomHeight - (def.height + bitmap.rect.origin.y + offsetAdjust));
            if (!placeGlyph(unit, bitmap, def, dirty)) def = FontLetterDefinition{unit};
            def.U /= scale;
            def.V /= scale;
            def.width /= scale;
            def.height /= scale;
        } else {
            def.validDefinition = bitmap.xAdvance != 0;
            _currentPageOrigX += 1;
        }
        _letterDefinitions[unit] = def;
    }
    // The rows begun on, down to the last row's line or the lowest glyph, whichever is lower.
    const int bottom = std::max(static_cast<int>(_currentPageOrigY + _commonLineHeight), dirty.bottom);
    if (anyNew) uploadRows(dirty.top, bottom - dirty.top);
    return true;
}

}  // namespace kite
