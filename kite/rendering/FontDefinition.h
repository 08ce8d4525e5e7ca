// What system-font text is drawn with: font, size, alignment, box, colours, shadow and stroke.
#pragma once
#include <cstdint>
#include <string>

#include "kite/foundation/math/Color.h"
#include "kite/foundation/math/Size.h"

namespace kite {

enum class TextHAlignment { LEFT = 0, CENTER = 1, RIGHT = 2 };
enum class TextVAlignment { TOP = 0, CENTER = 1, BOTTOM = 2 };

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

// Handed to the device's text renderer and to Texture2D's text initialisation.
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

}  // namespace kite
