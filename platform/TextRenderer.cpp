#include "platform/TextRenderer.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_STROKER_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/PrintableText.h"
#include "platform/TextLayout.h"

namespace platform {

namespace {

// The family asked for when a character is missing from the chosen font.
constexpr const char* kCjkFallbackPattern = "WenQuanYi Micro Hei:lang=zh-cn";
// Rendered glyphs kept between texts; beyond this many the cache starts afresh.
constexpr std::size_t kGlyphCacheLimit = 8192;

struct FontFile {
    std::string path;
    int index = 0;
};

FontFile matchFont(FcConfig* config, const std::string& patternText) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(patternText.c_str()));
    if (!pattern) return {};
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FontFile file;
    if (match) {
        FcChar8* path = nullptr;
        int index = 0;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) file.path = reinterpret_cast<char*>(path);
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) file.index = index;
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return file;
}

// Family names may hold characters that fontconfig reads as syntax.
std::string escapeFamily(const std::string& family) {
    std::string escaped;
    for (char c : family) {
        if (c == '-' || c == ':' || c == ',' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

void composeLayers(const std::vector<std::uint8_t>& fill, const std::vector<std::uint8_t>& stroke,
                   const TextRequest& request, TextBitmap& out) {
    const TextColor& f = request.fill;
    const TextColor& s = request.strokeColor;
    const std::size_t pixels = fill.size();
    out.rgba.assign(pixels * 4, 0);
    for (std::size_t i = 0; i < pixels; ++i) {
        const float fa = fill[i] / 255.0f * f.a;
        const float sa = stroke.empty() ? 0.0f : stroke[i] / 255.0f * s.a * (1.0f - fa);
        if (fa <= 0.0f && sa <= 0.0f) continue;
        std::uint8_t* p = &out.rgba[i * 4];
        p[0] = static_cast<std::uint8_t>(std::lround(255.0f * std::min(1.0f, f.r * fa + s.r * sa)));
        p[1] = static_cast<std::uint8_t>(std::lround(255.0f * std::min(1.0f, f.g * fa + s.g * sa)));
        p[2] = static_cast<std::uint8_t>(std::lround(255.0f * std::min(1.0f, f.b * fa + s.b * sa)));
        p[3] = static_cast<std::uint8_t>(std::lround(255.0f * std::min(1.0f, fa + sa)));
    }
}

}  // namespace

struct TextRenderer::State {
    std::mutex mutex;
    FT_Library library = nullptr;
    FcConfig* config = nullptr;
    std::map<std::pair<std::string, int>, FT_Face> facesByFile;
    std::map<std::string, FT_Face> facesByFamily;
    FT_Face fallback = nullptr;
    bool fallbackLooked = false;
    std::map<std::tuple<FT_Face, int, char32_t, int>, RenderedGlyph> glyphs;

    FT_Face openFace(const FontFile& file) {
        if (file.path.empty()) return nullptr;
        auto key = std::make_pair(file.path, file.index);
        auto it = facesByFile.find(key);
        if (it != facesByFile.end()) return it->second;
        FT_Face face = nullptr;
        if (FT_New_Face(library, file.path.c_str(), file.index, &face) != 0) face = nullptr;
        if (face && FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
            FT_Done_Face(face);
            face = nullptr;
        }
        facesByFile.emplace(key, face);
        return face;
    }

    FT_Face faceForFamily(const std::string& family) {
        auto it = facesByFamily.find(family);
        if (it != facesByFamily.end()) return it->second;
        FT_Face face = openFace(matchFont(config, escapeFamily(family)));
        facesByFamily.emplace(family, face);
        return face;
    }

    FT_Face fallbackFace() {
        if (!fallbackLooked) {
            fallbackLooked = true;
            fallback = openFace(matchFont(config, kCjkFallbackPattern));
        }
        return fallback;
    }

    // The glyph of a character at a size, from the font or its fallback; strokeRadius in 1/64 pixel
    // gives the stroked outline instead.
    const RenderedGlyph* glyph(FT_Face primary, int size, char32_t c, int strokeRadius);
    RenderedGlyph renderGlyph(FT_Face face, FT_UInt index, int strokeRadius);
    FontMetrics metrics(FT_Face face, int size);

    // Called before a layout (which holds pointers into the cache), never during one.
    void trimGlyphCache() {
        if (glyphs.size() > kGlyphCacheLimit) glyphs.clear();
    }

    // Lays the text out with one font (and the fallback for missing characters).
    TextLayout layOut(const TextRequest& request, FT_Face face) {
        const int size = std::max(1, request.fontSize);
        GlyphSource source = [&](char32_t c) { return glyph(face, size, c, 0); };
        const FontMetrics primary = metrics(face, size);
        const FontMetrics other = fallbackFace() ? metrics(fallback, size) : primary;
        return TextLayout::build(request.text, request.boxWidth, source, primary, other);
    }
};

RenderedGlyph TextRenderer::State::renderGlyph(FT_Face face, FT_UInt index, int strokeRadius) {
    RenderedGlyph out;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0) return out;
    out.advance = static_cast<int>((face->glyph->advance.x + 32) >> 6);
    FT_Glyph glyph = nullptr;
    if (FT_Get_Glyph(face->glyph, &glyph) != 0) return out;
    FT_Stroker stroker = nullptr;
    if (strokeRadius > 0 && glyph->format == FT_GLYPH_FORMAT_OUTLINE && FT_Stroker_New(library, &stroker) == 0) {
        FT_Stroker_Set(stroker, strokeRadius, FT_STROKER_LINECAP_ROUND, FT_STROKER_LINEJOIN_ROUND, 0);
        FT_Glyph_Stroke(&glyph, stroker, 1);
        FT_Stroker_Done(stroker);
    }
    if (FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1) == 0) {
        auto* bitmapGlyph = reinterpret_cast<FT_BitmapGlyph>(glyph);
        const FT_Bitmap& bitmap = bitmapGlyph->bitmap;
        out.left = bitmapGlyph->left;
        out.top = bitmapGlyph->top;
        out.width = static_cast<int>(bitmap.width);
        out.height = static_cast<int>(bitmap.rows);
        out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
        for (int r = 0; r < out.height; ++r)
            std::copy_n(bitmap.buffer + r * bitmap.pitch, out.width, out.pixels.begin() + r * out.width);
    }
    FT_Done_Glyph(glyph);
    return out;
}

const RenderedGlyph* TextRenderer::State::glyph(FT_Face primary, int size, char32_t c, int strokeRadius) {
    FT_Face face = primary;
    FT_UInt index = FT_Get_Char_Index(face, c);
    if (index == 0 && fallbackFace() && FT_Get_Char_Index(fallback, c) != 0) {
        face = fallback;
        index = FT_Get_Char_Index(face, c);
    }
    auto key = std::make_tuple(face, size, c, strokeRadius);
    auto it = glyphs.find(key);
    if (it != glyphs.end()) return &it->second;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) != 0) return nullptr;
    RenderedGlyph rendered = renderGlyph(face, index, strokeRadius);
    rendered.fromFallback = face != primary;
    return &glyphs.emplace(key, std::move(rendered)).first->second;
}

FontMetrics TextRenderer::State::metrics(FT_Face face, int size) {
    FontMetrics m;
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) != 0) return m;
    m.ascent = static_cast<int>(std::ceil(face->size->metrics.ascender / 64.0));
    m.descent = static_cast<int>(std::ceil(-face->size->metrics.descender / 64.0));
    return m;
}

TextRenderer& TextRenderer::instance() {
    static TextRenderer renderer;
    return renderer;
}

TextRenderer::TextRenderer() : state_(std::make_unique<State>()) {
    if (FT_Init_FreeType(&state_->library) != 0) state_->library = nullptr;
    state_->config = FcInitLoadConfigAndFonts();
}

TextRenderer::~TextRenderer() {
    for (auto& entry : state_->facesByFile)
        if (entry.second) FT_Done_Face(entry.second);
    if (state_->library) FT_Done_FreeType(state_->library);
    if (state_->config) FcConfigDestroy(state_->config);
}

bool TextRenderer::prepare(const std::string& family) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->library || !state_->config) return false;
    state_->fallbackFace();
    return state_->faceForFamily(family) != nullptr;
}

void TextRenderer::clearGlyphCache() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->glyphs.clear();
}

std::string TextRenderer::fontFileFor(const std::string& family) const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->config) return {};
    return matchFont(state_->config, escapeFamily(family)).path;
}

bool TextRenderer::measure(const TextRequest& request, int& width, int& height) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    width = height = 0;
    if (!state_->library || !state_->config) return false;
    FT_Face face = state_->faceForFamily(request.fontName);
    if (!face || request.fontSize > 4096) return false;
    state_->trimGlyphCache();
    const TextLayout layout = state_->layOut(request, face);
    width = layout.width;
    height = layout.height;
    return true;
}

bool TextRenderer::render(const TextRequest& request, int maxSide, TextBitmap& out, std::string& error) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    out = TextBitmap();
    if (request.text.empty()) return error = "empty text", false;
    if (!state_->library || !state_->config) return error = "no font library", false;
    FT_Face face = state_->faceForFamily(request.fontName);
    if (!face) return error = "no font for \"" + printableText(request.fontName) + "\"", false;
    if (request.fontSize > maxSide)
        return error = "a font size of " + std::to_string(request.fontSize) + " pixels is larger than " +
                       std::to_string(maxSide),
               false;
    state_->trimGlyphCache();

    const TextLayout layout = state_->layOut(request, face);
    const int padding = request.stroke ? static_cast<int>(std::ceil(request.strokeSize)) : 0;
    const long width = std::max(layout.width, request.boxWidth) + 2L * padding;
    const long height = std::max(layout.height, request.boxHeight) + 2L * padding;
    if (width <= 0 || height <= 0) return error = "the text has no size", false;
    if (width > maxSide || height > maxSide) {
        error = "a text bitmap of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels is larger than " + std::to_string(maxSide);
        return false;
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);

    LayerTarget target{out.width, out.height, padding, 0};
    if (request.boxHeight > layout.height) {
        const int spare = request.boxHeight - layout.height;
        target.top = request.vertical == TextVerticalAlign::Top      ? 0
                     : request.vertical == TextVerticalAlign::Center ? spare / 2
                                                                     : spare;
    }
    std::vector<std::uint8_t> fill(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    std::vector<std::uint8_t> stroke;
    const int size = std::max(1, request.fontSize);
    GlyphSource fillSource = [&](char32_t c) { return state_->glyph(face, size, c, 0); };
    layout.draw(fill, target, request.horizontal, fillSource);
    if (request.stroke && request.strokeSize > 0) {
        const int radius = static_cast<int>(request.strokeSize * 32);  // half the width, 26.6 pixels
        stroke.assign(fill.size(), 0);
        GlyphSource strokeSource = [&](char32_t c) { return state_->glyph(face, size, c, radius); };
        layout.draw(stroke, target, request.horizontal, strokeSource);
    }
    composeLayers(fill, stroke, request, out);
    return true;
}

}  // namespace platform
