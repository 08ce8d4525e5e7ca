#include "kite/scene/LabelTextFormatter.h"

#include <algorithm>
#include <string>
#include <vector>

#include "kite/foundation/Log.h"
#include "kite/foundation/StringUtils.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/scene/Label.h"

namespace kite {

namespace {

bool isSpace(char16_t unit) { return StringUtils::isUnicodeSpace(unit); }
bool isCJK(char16_t unit) { return StringUtils::isCJKUnicode(unit); }

void trimTrailingSpaces(std::u16string& text) {
    while (!text.empty() && isSpace(text.back())) text.pop_back();
}

// Where the first line's top goes and how tall the text is, in pixels.
struct VerticalPlacement {
    float totalHeight = 0.0f;
    float boxHeight = 0.0f;
    float top = 0.0f;
};

VerticalPlacement placeVertically(float lineHeight, int numLines, float labelHeight, TextVAlignment alignment,
                                  float csf) {
    VerticalPlacement v;
    v.totalHeight = lineHeight * static_cast<float>(numLines);
    v.top = v.totalHeight;
    if (labelHeight <= 0.0f) return v;
    v.boxHeight = labelHeight * csf;
    if (v.totalHeight > v.boxHeight && lineHeight > 0.0f) {
        v.totalHeight = static_cast<float>(static_cast<int>(v.boxHeight / lineHeight)) * lineHeight;
    }
    switch (alignment) {
        case TextVAlignment::TOP: v.top = v.boxHeight; break;
        case TextVAlignment::CENTER: v.top = (v.boxHeight + v.totalHeight) / 2; break;
        case TextVAlignment::BOTTOM: v.top = v.totalHeight; break;
    }
    return v;
}

// Clip margins of TrueType labels: how far the glyphs of the first and last lines stay inside their lines.
struct ClipState {
    bool active = false;
    int top = 0;
    int bottom = 0;
    bool lineStart = true;

    void track(const FontLetterDefinition& def, int yOffset, int lineIndex) {
        if (!active || def.height <= 0.0f) return;
        if (lineStart) {
            if (lineIndex == 0) top = yOffset;
            lineStart = false;
            bottom = def.clipBottom;
        } else {
            bottom = std::min(bottom, def.clipBottom);
            if (lineIndex == 0) top = std::min(top, yOffset);
        }
    }
};

}  // namespace

bool LabelTextFormatter::createStringSprites(Label* label) {
    label->_limitShowCount = 0;
    const std::u16string& text = label->_currentUTF16String;
    if (text.empty()) return false;
    const float csf = frameContentScaleFactor();
    const float lineHeight = label->_commonLineHeight;
    const int* kernings = label->_horizontalKernings.get();
    const VerticalPlacement vertical =
        placeVertically(lineHeight, label->_currNumLines, label->_labelHeight, label->_vAlignment, csf);

    float nextX = 0.0f;
    float nextY = vertical.top;
    float longestLine = 0.0f;
    float advance = 0.0f;
    int lineIndex = 0;
    ClipState clip;
    clip.active = label->_currentLabelType == Label::LabelType::TTF && label->_clipEnabled;
    FontLetterDefinition def;

    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const int index = static_cast<int>(i);
        int xOffset = -1, yOffset = -1;
        advance = -1.0f;
        if (label->_fontAtlas->getLetterDefinitionForChar(unit, def)) {
            xOffset = static_cast<int>(def.offsetX);
            yOffset = static_cast<int>(def.offsetY);
            advance = static_cast<float>(def.xAdvance);
        }
        const float kerning = kernings ? static_cast<float>(kernings[i]) : 0.0f;

        if (unit == u'\n') {
            ++lineIndex;
            nextX = 0.0f;
            nextY -= lineHeight;
            Label::LetterInfo& placeholder = label->letterAt(index);
            placeholder.def = def;
            placeholder.def.validDefinition = false;
            ++label->_limitShowCount;
            if (nextY < lineHeight) break;  // lines below the box are dropped
            clip.lineStart = true;
            continue;
        }
        clip.track(def, yOffset, lineIndex);

        Label::LetterInfo& letter = label->letterAt(index);
        letter.def = def;
        letter.position = Vec2((nextX + xOffset + kerning) / csf, (nextY - yOffset) / csf);
        letter.contentSize = Size(def.width, def.height);
        ++label->_limitShowCount;
        if (!def.validDefinition) {
            log("WARNING: can't find letter definition in font file for letter: %c", static_cast<char>(unit));
            continue;
        }
        nextX += advance + kerning;
        longestLine = std::max(longestLine, nextX);
        nextX += label->_additionalKerning;
    }

    const float lastCharWidth = def.width * csf;
    float width = advance < lastCharWidth ? longestLine - advance + lastCharWidth : longestLine;
    float height = label->_labelHeight > 0.0f ? vertical.boxHeight : vertical.totalHeight;
    if (clip.active) {
        const int clipTotal = static_cast<int>((clip.top + clip.bottom) / csf);
        height -= static_cast<float>(clipTotal) * csf;
        for (int i = 0; i < label->_limitShowCount; ++i) label->_lettersInfo[i].position.y -= clip.bottom / csf;
    }
    label->setContentSize(Size(width / csf, height / csf));
    return true;
}

bool LabelTextFormatter::multilineText(Label* label) {
    const int limit = label->_limitShowCount;
    const float scaleX = label->getScaleX();
    const float lineWidth = label->_maxLineWidth;
    const std::u16string& text = label->_currentUTF16String;
    const bool breakInsideWords = label->_lineBreakWithoutSpaces;

    std::u16string result;
    result.reserve(static_cast<std::size_t>(limit));
    std::u16string word;
    word.reserve(25);
    bool startOfWordSet = false, startOfLineSet = false;
    float startOfWord = -1.0f, startOfLine = -1.0f;

    int k = 0;
    while (k < limit) {
        for (; k < limit && !label->_lettersInfo[k].def.validDefinition; ++k) {
            if (text[k] != u'\n') continue;  // a unit without a letter is dropped
            trimTrailingSpaces(word);
            word += u'\n';
            result += word;
            word.clear();
            startOfWordSet = startOfLineSet = false;
            startOfWord = startOfLine = -1.0f;
        }
        if (k >= limit) break;
        const char16_t unit = text[k];
        const Label::LetterInfo& letter = label->_lettersInfo[k];
        if (!startOfWordSet) {
            startOfWord = letter.position.x * scaleX;
            startOfWordSet = true;
        }
        if (!startOfLineSet) {
            startOfLine = startOfWord;
            startOfLineSet = true;
        }

        if (isSpace(unit) || (!word.empty() && isCJK(word.back()) && !isCJK(unit))) {
            if (isSpace(unit)) word += unit;
            result += word;
            word.clear();
            if (!isSpace(unit)) word += unit;
            startOfWordSet = false;
            startOfWord = -1.0f;
            startOfLineSet = true;
            ++k;
            continue;
        }

        const float right = (letter.position.x + letter.contentSize.width) * scaleX;
        if (right - startOfLine <= lineWidth) {
            word += unit;
            startOfWordSet = startOfLineSet = true;
            ++k;
            continue;
        }

        if (!breakInsideWords && !isCJK(unit)) {
            // The word moves to the next line.
            word += unit;
            if (result.find_first_not_of(u' ') != std::u16string::npos) {
                trimTrailingSpaces(result);
            } else {
                result.clear();
            }
            if (!result.empty()) result += u'\n';
            startOfLineSet = false;
            startOfLine = -1.0f;
            startOfWordSet = true;
            ++k;
            continue;
        }

        // The line ends inside the word; a letter wider than the line still takes one line of its own.
        trimTrailingSpaces(word);
        if (word.empty()) {
            word += unit;
            ++k;
        }
        word += u'\n';
        result += word;
        word.clear();
        startOfWordSet = startOfLineSet = false;
        startOfWord = startOfLine = -1.0f;
    }
    result += word;

    label->_currentUTF16String = result;
    label->computeStringNumLines();
    label->computeHorizontalKernings(label->_currentUTF16String);
    return true;
}

bool LabelTextFormatter::alignText(Label* label) {
    Size size = label->Node::getContentSize();  // the label is still being laid out
    if (label->_labelWidth > size.width) {
        size.width = label->_labelWidth;
        label->setContentSize(size);
    }
    const std::u16string& text = label->_currentUTF16String;
    const int limit = label->_limitShowCount;
    int lineNumber = 0;
    int lettersBefore = 0;
    int lineLength = 0;

    for (int c = 0; c <= limit; ++c) {
        const char16_t unit = c < limit && c < static_cast<int>(text.size()) ? text[c] : u'\0';
        if (unit != u'\n' && unit != u'\0') {
            ++lineLength;
            continue;
        }
        if (lineLength == 0) {
            ++lineNumber;
            continue;
        }
        const int first = lettersBefore + lineNumber;
        // The line's right edge is that of its last letter that exists in the font.
        bool found = false;
        float lastRight = 0.0f;
        for (int i = first + lineLength - 1; i >= first && !found; --i) {
            const Label::LetterInfo& letter = label->_lettersInfo[i];
            found = letter.def.validDefinition;
            if (found) lastRight = letter.position.x + letter.def.width;
        }
        float shift = 0.0f;
        if (found) {
            if (label->_hAlignment == TextHAlignment::CENTER) shift = size.width / 2 - lastRight / 2;
            if (label->_hAlignment == TextHAlignment::RIGHT) shift = size.width - lastRight;
        }
        if (shift != 0.0f) {
            for (int j = 0; j < lineLength; ++j) label->_lettersInfo[first + j].position.x += shift;
        }
        lettersBefore += lineLength;
        ++lineNumber;
        lineLength = 0;
    }
    return true;
}

}  // namespace kite
