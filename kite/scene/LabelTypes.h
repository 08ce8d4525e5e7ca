// Value types shared by labels and their fonts: effects and the TrueType configuration (alignments and the
// font definition come from rendering, which draws system-font text).
#pragma once
#include <string>

#include "kite/foundation/math/Color.h"
#include "kite/foundation/math/Size.h"
#include "kite/rendering/FontDefinition.h"
#include "kite/scene/Font.h"

namespace kite {

enum class LabelEffect { NORMAL = 0, OUTLINE = 1, SHADOW = 2, GLOW = 3 };

struct TTFConfig {
    std::string fontFilePath;
    int fontSize = 12;
    GlyphCollection glyphs = GlyphCollection::DYNAMIC;
    const char* customGlyphs = nullptr;
    bool distanceFieldEnabled = false;
    int outlineSize = 0;
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
