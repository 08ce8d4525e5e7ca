// Turns a label's UTF-16 text into placed letter records: placement in lines, wrapping at a width, horizontal
// alignment.
#pragma once

namespace kite {

class Label;

class LabelTextFormatter {
public:
    // Places every letter of the text; false for an empty text.
    static bool createStringSprites(Label* label);
    // Rewrites the text with line breaks so that it fits the label's maximum line width.
    static bool multilineText(Label* label);
    // Shifts each line for centre or right alignment.
    static bool alignText(Label* label);
};

}  // namespace kite
