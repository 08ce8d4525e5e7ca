// Value types shared by labels and their fonts: alignments, effects, the TrueType configuration, the font definition.
#pragma once
#include <string>

#include "kite/foundation/math/Color.h"
#include "kite/foundation/math/Size.h"
#include "kite/scene/Font.h"

namespace kite {

enum class TextHAlignment { LEFT = 0, CENTER = 1, RIGHT = 2 };
enum class TextVAlignment { TOP = 0, CENTER = 1, BOTTOM = 2 };
enum class LabelEffect { NORMAL = 0, OUTLINE = 1, SHADOW = 2, GLOW = 3 };

struct TTFConfig {
    std::string fontFilePath;
    int fontSize = 12;
    GlyphCollection glyphs = GlyphCollection::DYNAMIC;
    const char* customGlyphs = nullptr;
    bool distanceFieldEnabled = false;
    int outlineSize = 0;
};

struct FontShadow {
    bool _shadowEnabled = false;
    Size _shadowOffset;
    float _shadowBlur = 0.0f;
    float _shadowOpacity = 0.0f;
};

struct FontStroke {
    bool _strokeEnabled = false;
    Color3B _strokeColor = Color3B::BLACK;
    uint8_t _strokeAlpha = 255;
    float _strokeSize = 0.0f;
};

// What the platform's text renderer draws a system-font text with.
struct FontDefinition {
    std::string _fontName;
    int _fontSize = 0;
    TextHAlignment _alignment = TextHAlignment::CENTER;
    TextVAlignment _vertAlignment = TextVAlignment::TOP;
    Size _dimensions;
    Color3B _fontFillColor = Color3B::WHITE;
    uint8_t _fontAlpha = 255;
    FontShadow _shadow;
    FontStroke _stroke;
};

// The vertex colour of text quads: the colour with the opacity, its components scaled by the opacity
// when the texture's alpha is premultiplied.
inline Color4B textQuadColor(const Color3B& color, uint8_t opacity, bool opacityModifyRGB) {
    Color4B c(color.r, color.g, color.b, opacity);
    if (opacityModifyRGB) {
        const float factor = opacity / 255.0f;
        c.r = static_cast<uint8_t>(c.r * factor);
        c.g = static_cast<uint8_t>(c.g * factor);
        c.b = static_cast<uint8_t>(c.b * factor);
    }
    return c;
}

// Nodes that show a string.
class LabelProtocol {
public:
    virtual ~LabelProtocol() = default;
    virtual void setString(const std::string& label) = 0;
    virtual const std::string& getString() const = 0;
};

}  // namespace kite
