// Draws text with the desktop's own fonts into RGBA bitmaps: font names resolve through fontconfig,
// characters the font lacks come from a CJK font, glyphs are rendered with FreeType.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct TextColor {
    float r = 1.0f, g = 1.0f, b = 1.0f, a = 1.0f;  // 0..1
};

enum class TextHorizontalAlign { Left, Center, Right };
enum class TextVerticalAlign { Top, Center, Bottom };

struct TextRequest {
    std::string text;      // UTF-8
    std::string fontName;  // a family name ("Helvetica Neue") or a font file's bare name
    int fontSize = 12;     // pixels
    int boxWidth = 0;      // pixels; 0 = as wide as the text (no wrapping)
    int boxHeight = 0;     // pixels; 0 = as high as the text
    TextHorizontalAlign horizontal = TextHorizontalAlign::Left;
    TextVerticalAlign vertical = TextVerticalAlign::Top;
    TextColor fill;
    bool stroke = false;
    TextColor strokeColor;
    float strokeSize = 0.0f;  // pixels
};

struct TextBitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // premultiplied, rows top to bottom
};

class TextRenderer {
public:
    // The shared renderer. Its calls may come from any thread; they take turns.
    static TextRenderer& instance();

    // Finds and opens the family's font and the fallback for the characters it lacks, which the first
    // text otherwise does: a start-up can have it done on another thread. False without the font.
    bool prepare(const std::string& family);

    // False with a reason when the text is empty, no font can be found, or the bitmap would be
    // larger than maxSide pixels on a side.
    bool render(const TextRequest& request, int maxSide, TextBitmap& out, std::string& error);
    // The size the text takes, pixels, without drawing it.
    bool measure(const TextRequest& request, int& width, int& height);

    // Forgets rendered glyphs (benchmarks measure a cold cache with it).
    void clearGlyphCache();
    // The file fontconfig picks for a family name; empty when there is none.
    std::string fontFileFor(const std::string& family) const;

    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

private:
    TextRenderer();
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform
